// The archive file commands without a window: the extension test, which name Save writes
// to and when it asks, the overwrite and save-changes questions, what a failed open or
// save leaves, and the recent files.
#include "TestSupport.h"
#include "app/FileCommands.h"
#include "app/Settings.h"
#include "app/Workspace.h"
#include "data/Merge.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A workspace with its file commands, in English, in a folder of its own. Questions are
// answered from the lists (No, no name and Cancel when they run out) and recorded.
struct Files
{
    Files()
    {
        ws.setLang(enUS);
        ws.setAsk([this](TWorkspace::TQuestion, const QString& text) {
            questions.append(text);
            return merge.isEmpty() ? false : merge.takeFirst();
        });
        TFileCommands::TDialogs d;
        d.saveName = [this](const QString& shown) {
            dialogShown.append(shown);
            return names.isEmpty() ? QString() : names.takeFirst();
        };
        d.confirm = [this](const QString& text) {
            questions.append(text);
            return overwrite.isEmpty() ? false : overwrite.takeFirst();
        };
        d.saveChanges = [this](const QString& text) {
            questions.append(text);
            return choices.isEmpty() ? TSaveChoice::Cancel : choices.takeFirst();
        };
        fc.setDialogs(d);
        QObject::connect(&fc, &TFileCommands::failed, &fc,
                         [this](const QString& text) { errors.append(text); });
        QObject::connect(&fc, &TFileCommands::statusChanged, &fc,
                         [this](const QString& text) { status = text; });
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    // An archive file of `count` results; sets of other seeds share no result.
    QString archive(const QString& name, int count, quint32 seed = 7)
    {
        const QString p = path(name);
        const QDate newest = QDate(2000, 1, 1).addDays(400 * qint64(seed));
        const QList<TCalcQEL> results = makeArchive(count, seed, 40, 0, newest);
        return writeBytes(p, testsupport::archiveFileBytes(results)) ? p : QString();
    }
    int held() const { return ws.device() ? int(ws.device()->archive().size()) : -1; }

    QTemporaryDir dir;
    TWorkspace ws;
    TFileCommands fc{ws};
    QList<bool> merge, overwrite;
    QStringList names;
    QList<TSaveChoice> choices;
    QStringList questions, errors, dialogShown;
    QString status;
};

const QString kSaveChanges = QStringLiteral("Save changes?");
const QString kOverwrite = QStringLiteral("The selected file exists. Overwrite?");
const QString kMerge = QStringLiteral("Merge results from files/devices?");

} // namespace

class TstFileCommands : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ActiveDevice.reset(); }
    void filterPatternOfEachEntry_data();
    void filterPatternOfEachEntry();
    void extensionTestIsExactAndOnTheLastFullStop_data();
    void extensionTestIsExactAndOnTheLastFullStop();
    void saveWritesSilentlyOnlyToAFileOpenedOrSaved();
    void savingAfterConnectingAsksForAName();
    void namingSteps_data();
    void namingSteps();
    void failedSaveChangesNothing();
    void failedOpenKeepsResultsAndName_data();
    void failedOpenKeepsResultsAndName();
    void sameFileTwiceIsAllDuplicates();
    void severalFilesMergeIntoTheFirstWithOneQuestion();
    void changesAreThoseNotInAFile();
    void saveChangesQuestionBeforeAWorkspaceGoes_data();
    void saveChangesQuestionBeforeAWorkspaceGoes();
    void recentFilesNewestFirstAndMissingOnesLeave();
    void recentFilesAreKeptInTheSettingsFile();
};

void TstFileCommands::filterPatternOfEachEntry_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("pattern");
    for (int n : {1, 2, 3})
        QTest::addRow("archive filter, %d", n) << TFileCommands::kFilter << n << ".qel1x";
    QTest::newRow("second of two") << "A|*.a|B|*.b" << 2 << ".b";
    QTest::newRow("no asterisk") << "All files|x" << 1 << "All files";
    QTest::newRow("none asked") << "QEL-1.x File|*.qel1x" << 0 << "QEL-1.x File";
}

void TstFileCommands::filterPatternOfEachEntry()
{
    QFETCH(QString, filter);
    QFETCH(int, n);
    QFETCH(QString, pattern);
    QCOMPARE(TFileCommands::GetFilterExt(filter, n), pattern);
}

void TstFileCommands::extensionTestIsExactAndOnTheLastFullStop_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("small letters") << "site.qel1x" << true;
    QTest::newRow("capitals") << "site.QEL1X" << false;
    QTest::newRow("full stop only in the folder") << "data.2024/site" << false;
    QTest::newRow("another extension after it") << "site.qel1x.bak" << false;
    QTest::newRow("no full stop") << "site" << false;
}

// The refusal comes before any question or read, and names the file.
void TstFileCommands::extensionTestIsExactAndOnTheLastFullStop()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QCOMPARE(TFileCommands::archiveModel(name), accepted ? 1 : 0);
    Files f;
    QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("data.2024")));
    QVERIFY(writeBytes(f.path(name), testsupport::archiveFileBytes(makeArchive(3, 1, 20))));
    QCOMPARE(f.fc.OpenArchiveFile(f.path(name)), accepted);
    if (accepted) {
        QCOMPARE(f.held(), 3);
        QCOMPARE(f.fc.currentFileName(), f.path(name));
        return;
    }
    QCOMPARE(f.errors,
             QStringList{QStringLiteral("The file is unreadable or corrupted:") + f.path(name)});
    QVERIFY(!f.ws.device());
    QVERIFY(f.fc.currentFileName().isEmpty());
}

void TstFileCommands::saveWritesSilentlyOnlyToAFileOpenedOrSaved()
{
    Files f;
    QCOMPARE(f.fc.save(), TFileCommands::Stopped);
    QCOMPARE(f.status, QStringLiteral("Nothing to save"));
    QCOMPARE(f.fc.saveAs(), TFileCommands::Stopped);
    QVERIFY(f.dialogShown.isEmpty());

    const QString a = f.archive(QStringLiteral("a.qel1x"), 4);
    QVERIFY(f.fc.open({a}));
    f.ws.device()->SetComment(0, QStringLiteral("kept"));
    QCOMPARE(f.fc.save(), TFileCommands::Done);
    QVERIFY(f.dialogShown.isEmpty());
    QCOMPARE(f.status, QStringLiteral("File saved"));
    TQelBase check;
    QVERIFY(check.LoadFromFile(a));
    QCOMPARE(check.archive().size(), 4);
    QCOMPARE(check.GetComment(0), QStringLiteral("kept"));
}

void TstFileCommands::savingAfterConnectingAsksForAName()
{
    TQelSim sim;
    sim.setArchive(makeArchive(5, 21, 50));
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    Files f;
    f.merge = {true};
    QVERIFY(f.fc.OpenArchiveFile(f.archive(QStringLiteral("a.qel1x"), 3)));
    // Choosing the instrument clears both names, even though the file is merged in.
    f.ws.setAutoClock(false);
    QVERIFY(f.ws.connectTo(sim.slavePath(), dev12));
    f.fc.instrumentChosen();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return f.ws.statusText() == ArchReadText({0, 8, 5}, enUS);
        },
        10000));
    QVERIFY(f.fc.currentFileName().isEmpty());
    f.names = {f.path(QStringLiteral("b"))};
    QCOMPARE(f.fc.save(), TFileCommands::Done);
    QCOMPARE(f.dialogShown, QStringList{QString()});
    QCOMPARE(f.fc.currentFileName(), f.path(QStringLiteral("b.qel1x")));
    QVERIFY(!f.ws.isModified());
}

void TstFileCommands::namingSteps_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QList<bool>>("overwrite");
    QTest::addColumn<QString>("written"); // empty: nothing written
    QTest::newRow("extension added") << "new" << false << QList<bool>{} << "new.qel1x";
    QTest::newRow("full stop in the folder: taken as it is")
        << "dir.d/new" << false << QList<bool>{} << "dir.d/new";
    QTest::newRow("other extension kept") << "new.bin" << false << QList<bool>{} << "new.bin";
    QTest::newRow("existing, No") << "old.qel1x" << true << QList<bool>{false} << "";
    QTest::newRow("existing, Yes") << "old.qel1x" << true << QList<bool>{true} << "old.qel1x";
    QTest::newRow("dialog cancelled") << "" << false << QList<bool>{} << "";
}

void TstFileCommands::namingSteps()
{
    QFETCH(QString, typed);
    QFETCH(bool, exists);
    QFETCH(QList<bool>, overwrite);
    QFETCH(QString, written);
    Files f;
    QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("dir.d")));
    const QString a = f.archive(QStringLiteral("a.qel1x"), 4);
    QVERIFY(f.fc.open({a}));
    const QString before = f.status;
    const QByteArray old = "an older file";
    if (exists)
        QVERIFY(writeBytes(f.path(typed), old));
    f.names = {typed.isEmpty() ? QString() : f.path(typed)};
    f.overwrite = overwrite;
    f.questions.clear();

    QCOMPARE(f.fc.saveAs(), written.isEmpty() ? TFileCommands::Stopped : TFileCommands::Done);
    QCOMPARE(f.questions, exists ? QStringList{kOverwrite} : QStringList{});
    if (written.isEmpty()) {
        QCOMPARE(f.status, before);
        QCOMPARE(f.fc.currentFileName(), a);
        if (exists)
            QCOMPARE(fileBytes(f.path(typed)), old);
        return;
    }
    QCOMPARE(f.status, QStringLiteral("File saved"));
    QCOMPARE(f.fc.currentFileName(), f.path(written));
    QCOMPARE(fileBytes(f.path(written)), fileBytes(a));
    // The save dialog shows the chosen name next time, as completed; Save as starts empty.
    QCOMPARE(f.fc.saveDialogName(), f.path(written));
    QCOMPARE(f.dialogShown, QStringList{QString()});
}

void TstFileCommands::failedSaveChangesNothing()
{
    Files f;
    const QString a = f.archive(QStringLiteral("a.qel1x"), 4);
    QVERIFY(f.fc.open({a}));
    f.ws.device()->SetComment(1, QStringLiteral("new"));
    // The file has become a folder: it cannot be replaced.
    QVERIFY(QFile::remove(a));
    QVERIFY(QDir().mkpath(a));
    const QString before = f.status;
    QCOMPARE(f.fc.save(), TFileCommands::Failed);
    QCOMPARE(f.errors.size(), 1);
    QVERIFY(!f.errors[0].isEmpty());
    QCOMPARE(f.status, before);
    QCOMPARE(f.fc.currentFileName(), a);
    QVERIFY(f.ws.isModified());

    // Into a folder that does not exist: the same, and the name is not taken.
    f.names = {f.path(QStringLiteral("missing/b.qel1x"))};
    QCOMPARE(f.fc.saveAs(), TFileCommands::Failed);
    QCOMPARE(f.fc.currentFileName(), a);
    QCOMPARE(f.status, before);
}

void TstFileCommands::failedOpenKeepsResultsAndName_data()
{
    QTest::addColumn<bool>("merge");
    QTest::newRow("into the results (Yes)") << true;
    QTest::newRow("as a new workspace (No)") << false;
}

void TstFileCommands::failedOpenKeepsResultsAndName()
{
    QFETCH(bool, merge);
    Files f;
    const QString a = f.archive(QStringLiteral("a.qel1x"), 4);
    QVERIFY(f.fc.open({a}));
    const TQelBase* held = f.ws.device();
    const QString before = f.status;
    // Cut in the middle of its third result.
    const QString bad = f.path(QStringLiteral("bad.qel1x"));
    QVERIFY(writeBytes(bad, testsupport::archiveFileBytes(makeArchive(5, 9, 40)).left(71 + 400)));
    f.merge = {merge};
    QVERIFY(!f.fc.OpenArchiveFile(bad));
    QCOMPARE(f.errors.size(), 1);
    QVERIFY(f.errors[0].startsWith(QStringLiteral("The file is unreadable or corrupted:") + bad +
                                   u'\n'));
    QVERIFY(!f.errors[0].section(u'\n', 1).isEmpty()); // the reason follows
    QCOMPARE(f.ws.device(), held);
    QCOMPARE(f.held(), 4);
    QCOMPARE(f.status, before);
    QVERIFY(!f.ws.isModified());
    // Save writes to the file that opened, not to the one that failed.
    f.ws.device()->SetComment(0, QStringLiteral("x"));
    QCOMPARE(f.fc.save(), TFileCommands::Done);
    QCOMPARE(f.fc.currentFileName(), a);
    QCOMPARE(fileBytes(bad).size(), 71 + 400);
}

void TstFileCommands::sameFileTwiceIsAllDuplicates()
{
    Files f;
    const QString a = f.archive(QStringLiteral("a.qel1x"), 6);
    QVERIFY(f.fc.open({a}));
    QCOMPARE(f.ws.statusText(),
             QStringLiteral("File opened: 0 duplicate, 6 unique, 6 new entries."));
    f.merge = {true};
    QVERIFY(f.fc.open({a}));
    QCOMPARE(f.questions, QStringList{kMerge});
    QCOMPARE(f.ws.statusText(),
             QStringLiteral("File opened: 6 duplicate, 6 unique, 0 new entries."));
    QCOMPARE(f.held(), 6);
    QVERIFY(!f.ws.isModified());
}

void TstFileCommands::severalFilesMergeIntoTheFirstWithOneQuestion()
{
    Files f;
    QVERIFY(f.fc.open({f.archive(QStringLiteral("old.qel1x"), 2, 99)}));
    const QString a = f.archive(QStringLiteral("a.qel1x"), 3, 1);
    const QString b = f.archive(QStringLiteral("b.qel1x"), 4, 2);
    const QString c = f.archive(QStringLiteral("c.qel1x"), 5, 3);
    f.merge = {false}; // a new workspace for the first; the others join it unasked
    QVERIFY(f.fc.open({a, b, c}));
    QCOMPARE(f.questions, QStringList{kMerge});
    QCOMPARE(f.held(), 12);
    QCOMPARE(f.fc.currentFileName(), a);
    QVERIFY(f.ws.isModified()); // b and c are not in a
    QCOMPARE(f.fc.recentFiles().mid(0, 3), (QStringList{c, b, a}));

    // One that fails stops the rest; what came before stays.
    f.questions.clear();
    f.merge = {true};
    QVERIFY(!f.fc.open({a, f.path(QStringLiteral("none.qel1x")), c}));
    QCOMPARE(f.questions, QStringList{kMerge});
    QCOMPARE(f.errors.size(), 1);
    QCOMPARE(f.held(), 12);
}

// Downloaded, merged, commented or deleted since the last open or save.
void TstFileCommands::changesAreThoseNotInAFile()
{
    Files f;
    QVERIFY(!f.ws.isModified());
    const QString a = f.archive(QStringLiteral("a.qel1x"), 4);
    QVERIFY(f.fc.open({a}));
    QVERIFY(!f.ws.isModified());
    const QString comment = f.ws.device()->GetComment(2);
    f.ws.device()->SetComment(2, comment); // stored again unchanged
    QVERIFY(!f.ws.isModified());
    f.ws.device()->SetComment(2, QStringLiteral("edited"));
    QVERIFY(f.ws.isModified());
    QCOMPARE(f.fc.save(), TFileCommands::Done);
    QVERIFY(!f.ws.isModified());
    QVERIFY(f.ws.removeResults(0, 1)); // local: the workspace came from a file
    QVERIFY(f.ws.isModified());
    QCOMPARE(f.fc.save(), TFileCommands::Done);
    f.merge = {true};
    QVERIFY(f.fc.open({f.archive(QStringLiteral("b.qel1x"), 2, 50)}));
    QVERIFY(f.ws.isModified());
}

void TstFileCommands::saveChangesQuestionBeforeAWorkspaceGoes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("gone");
    for (const char* command : {"close", "new workspace"}) {
        QTest::addRow("%s, Save", command) << command << int(TSaveChoice::Save) << true;
        QTest::addRow("%s, Discard", command) << command << int(TSaveChoice::Discard) << true;
        QTest::addRow("%s, Cancel", command) << command << int(TSaveChoice::Cancel) << false;
    }
}

void TstFileCommands::saveChangesQuestionBeforeAWorkspaceGoes()
{
    QFETCH(QString, command);
    QFETCH(int, choice);
    QFETCH(bool, gone);
    Files f;
    const QString a = f.archive(QStringLiteral("a.qel1x"), 4);
    const QString b = f.archive(QStringLiteral("b.qel1x"), 2, 50);
    QVERIFY(f.fc.open({a}));
    const TQelBase* held = f.ws.device();

    // Without changes nothing is asked.
    if (command == QLatin1String("close")) {
        QVERIFY(f.fc.close());
        QVERIFY(!f.ws.device());
        QVERIFY(f.fc.open({a}));
        held = f.ws.device();
    }
    QVERIFY(f.questions.isEmpty());

    f.ws.device()->SetComment(0, QStringLiteral("only here"));
    f.choices = {TSaveChoice(choice)};
    f.questions.clear();
    bool done = false;
    if (command == QLatin1String("close")) {
        done = f.fc.close();
        QCOMPARE(f.questions, QStringList{kSaveChanges});
    } else {
        f.merge = {false};
        done = f.fc.open({b});
        QCOMPARE(f.questions, (QStringList{kMerge, kSaveChanges}));
    }
    QCOMPARE(done, gone);
    QCOMPARE(f.ws.device() == held, !gone);
    TQelBase onDisk;
    QVERIFY(onDisk.LoadFromFile(a));
    QCOMPARE(onDisk.GetComment(0) == QStringLiteral("only here"), choice == int(TSaveChoice::Save));
    if (!gone) {
        QVERIFY(f.ws.isModified());
        QCOMPARE(f.fc.currentFileName(), a);
    }
}

void TstFileCommands::recentFilesNewestFirstAndMissingOnesLeave()
{
    Files f;
    QStringList opened;
    f.merge = QList<bool>(12, true);
    for (int i = 0; i < 10; ++i) {
        opened.prepend(f.archive(QStringLiteral("r%1.qel1x").arg(i), 1, quint32(i)));
        QVERIFY(f.fc.OpenArchiveFile(opened.first()));
    }
    QCOMPARE(f.fc.recentFiles(), opened.mid(0, TFileCommands::kMaxRecent));
    // Opened again, a file moves to the front and is listed once.
    QVERIFY(f.fc.openRecent(opened[5]));
    QCOMPARE(f.fc.recentFiles().first(), opened[5]);
    QCOMPARE(f.fc.recentFiles().count(opened[5]), 1);
    QCOMPARE(f.fc.recentFiles().size(), TFileCommands::kMaxRecent);
    // Saving lists the file too, by its absolute path.
    f.names = {f.path(QStringLiteral("saved.qel1x"))};
    QCOMPARE(f.fc.saveAs(), TFileCommands::Done);
    QCOMPARE(f.fc.recentFiles().first(), f.path(QStringLiteral("saved.qel1x")));

    const int held = f.held();
    QVERIFY(QFile::remove(opened[1]));
    QVERIFY(!f.fc.openRecent(opened[1]));
    QVERIFY(!f.fc.recentFiles().contains(opened[1]));
    QCOMPARE(f.status, QStringLiteral("File not found, removed from the list: ") +
                           QDir::toNativeSeparators(opened[1]));
    QVERIFY(f.errors.isEmpty());
    QCOMPARE(f.held(), held);
}

void TstFileCommands::recentFilesAreKeptInTheSettingsFile()
{
    QTemporaryDir dir;
    qputenv("QEL_CONFIG_DIR", dir.path().toLocal8Bit());
    TGuiConfig cfg;
    cfg.Recent = {QStringLiteral("/a/one.qel1x"), QStringLiteral("/b/two, three.qel1x")};
    QVERIFY(SaveConfig(cfg).isEmpty());
    TGuiConfig back;
    LoadConfig(back);
    QCOMPARE(back.Recent, cfg.Recent);
    // A shorter list leaves no names of the longer one behind.
    cfg.Recent = {QStringLiteral("/c/only.qel1x")};
    QVERIFY(SaveConfig(cfg).isEmpty());
    LoadConfig(back);
    QCOMPARE(back.Recent, cfg.Recent);
    QSettings ini(GetConfigFileName(), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Recent/File1")).toString(), cfg.Recent[0]);
    qunsetenv("QEL_CONFIG_DIR");
}

QTEST_GUILESS_MAIN(TstFileCommands)
#include "tst_filecommands.moc"
