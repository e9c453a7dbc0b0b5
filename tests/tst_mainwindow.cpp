// The main window on the offscreen platform, against the instrument stand-in on a pty.
#include "FakePortSource.h"
#include "TestSupport.h"
#include "app/General.h"
#include "app/Prompter.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"
#include "windows/ChartSink.h"
#include "windows/HelpWindow.h"
#include "windows/Materials.h"
#include "windows/Objects.h"
#include "windows/ReportHeader.h"
#include "windows/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

namespace {

class ScriptedPrompter : public IPrompter
{
public:
    bool ask(QWidget*, const QString&, const QString& question) override
    {
        questions.append(question);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    TLang askLanguage(QWidget*) override
    {
        ++languageAsked;
        return language;
    }
    TSaveChoice askSaveChanges(QWidget*, const QString&, const QString& question) override
    {
        questions.append(question);
        return saveChoices.isEmpty() ? TSaveChoice::Cancel : saveChoices.takeFirst();
    }
    QStringList openFileNames(QWidget*, const QString&) override
    {
        ++openDialogs;
        return openNames.isEmpty() ? QStringList() : openNames.takeFirst();
    }
    QString saveFileName(QWidget*, const QString& name) override
    {
        saveDialogShown.append(name);
        return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
    }
    void error(QWidget*, const QString&, const QString& text) override { errors.append(text); }
    std::optional<TExportTarget> exportFileName(QWidget*, const QString&, TLang) override
    {
        return exportTarget;
    }

    std::optional<TExportTarget> exportTarget;
    QList<bool> answers;
    QList<TSaveChoice> saveChoices;
    QList<QStringList> openNames;
    QStringList saveNames;
    QStringList saveDialogShown; // the name each save dialog showed
    int openDialogs = 0;
    QStringList questions;
    QStringList errors;
    TLang language = enUS;
    int languageAsked = 0;
};

// One settings folder per test, never the real home.
class ConfigDir
{
public:
    ConfigDir() { qputenv("QEL_CONFIG_DIR", dir.path().toLocal8Bit()); }
    ~ConfigDir() { qunsetenv("QEL_CONFIG_DIR"); }
    void write(bool autoClock, int lang = enUS)
    {
        QSettings s(dir.filePath(QStringLiteral("QEL.ini")), QSettings::IniFormat);
        s.setValue(QStringLiteral("Settings/Language"), lang);
        s.setValue(QStringLiteral("Settings/AutoClock"), autoClock ? 1 : 0);
    }
    QString ini() const { return dir.filePath(QStringLiteral("QEL.ini")); }
    QTemporaryDir dir;
};

TPortInfo forcedPort(const QString& path)
{
    TPortInfo p;
    p.Port = path;
    p.Forced = true;
    return p;
}

TQelBase* workspace()
{
    return dynamic_cast<TQelBase*>(ActiveDevice.get());
}

QList<int> requestCodes(const TQelSim& sim)
{
    QList<int> codes;
    for (const QByteArray& r : sim.requests())
        codes.append(uint8_t(r[3]));
    return codes;
}

QString readDone(int dup, int unique, int added)
{
    return QStringLiteral("Archive readed: %1 duplicate, %2 unique, %3 new entries. ")
        .arg(dup)
        .arg(unique)
        .arg(added);
}

// A window connected to one stand-in, after its first download.
struct Connected
{
    explicit Connected(bool autoClock = true, int results = 12)
    {
        cfg.write(autoClock);
        sim.setArchive(makeArchive(results, 21, 200));
        sim.setLine(TQelSim::linePipe); // the port itself is tested elsewhere
        started = sim.start();
        ports.plug(forcedPort(sim.slavePath()));
        form = std::make_unique<TMainForm>(&ports, &prompter);
        form->show();
    }
    bool waitRead(int dup, int unique, int added)
    {
        return QTest::qWaitFor([&] { return form->statusText(0) == readDone(dup, unique, added); },
                               10000);
    }
    ConfigDir cfg;
    TQelSim sim;
    bool started = false;
    TFakePortSource ports;
    ScriptedPrompter prompter;
    std::unique_ptr<TMainForm> form;
};

void trigger(TMainForm& form, const char* action)
{
    auto* a = form.findChild<QAction*>(QString::fromLatin1(action));
    QVERIFY2(a, action);
    a->trigger();
}

// Archive files in a folder of their own; sets of other seeds share no result.
struct ArchiveFiles
{
    QString write(const QString& name, int count, quint32 seed = 7)
    {
        const QString p = dir.filePath(name);
        QDir().mkpath(QFileInfo(p).path());
        const QDate newest = QDate(2000, 1, 1).addDays(400 * qint64(seed));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(testsupport::archiveFileBytes(makeArchive(count, seed, 40, 0, newest)));
        return p;
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

// A window without an instrument, started with `fileArg`.
struct Idle
{
    explicit Idle(const QString& fileArg = {})
    {
        cfg.write(false);
        form = std::make_unique<TMainForm>(&ports, &prompter, fileArg);
    }
    ConfigDir cfg;
    TFakePortSource ports;
    ScriptedPrompter prompter;
    std::unique_ptr<TMainForm> form;
};

QString fileOpened(int dup, int unique, int added)
{
    return QStringLiteral("File opened: %1 duplicate, %2 unique, %3 new entries.")
        .arg(dup)
        .arg(unique)
        .arg(added);
}

const QString kUnreadable = QStringLiteral("The file is unreadable or corrupted:");
const QString kSaveChanges = QStringLiteral("Save changes?");

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ActiveDevice.reset(); }
    void startupSetsClockThenReadsTheArchive();
    void editMaterialsOpensOnTheReadAndWritesOnYes();
    void lostInstrumentClosesTheEditorWithoutAQuestion();
    void editorFormSizeBadCellAndEscape();
    void deleteResultsLocallyOrInTheInstrument_data();
    void deleteResultsLocallyOrInTheInstrument();
    void unitChangeRebuildsTableAndGraph();
    void selectingARowShowsItsGraphAndComment();
    void secondInstrumentIsListedAndUnplugKeepsResults();
    void commandsNeedAnInstrument();
    void silenceDuringAReadShowsWhatIsHeld();
    void progressCountsResultsAndStatusElides();
    void commentBoxTabMovesTheFocus();
    void helpShowsTheGuideInTheLanguage_data();
    void helpShowsTheGuideInTheLanguage();
    void settingsAreWrittenAndReadBack();
    void firstStartAsksLanguageAndCreatesFolders();
    void copyTableAndSelectionGiveTextAndCells_data();
    void copyTableAndSelectionGiveTextAndCells();
    void copyGraphAsTextUsesTheLocaleSeparator_data();
    void copyGraphAsTextUsesTheLocaleSeparator();
    void copyGraphAsImageIsWhatTheChartShows();
    void openChecksTheExtension_data();
    void openChecksTheExtension();
    void openWhileResultsAreShownAsksToMerge_data();
    void openWhileResultsAreShownAsksToMerge();
    void sameFileTwiceGivesOnlyDuplicates();
    void saveAsksForANameOnlyWithoutAFile();
    void saveAsOntoAnExistingFileAnsweredNoWritesNothing();
    void closeWhileConnectedEndsTheConnection();
    void failedOpenAndSaveChangeNothing();
    void fileArgumentIsOpenedAtStart_data();
    void fileArgumentIsOpenedAtStart();
    void saveChangesQuestion_data();
    void saveChangesQuestion();
    void recentFilesInTheFileMenu();
    void droppedFilesOpen();
    void reportCommandsChooseRowsAndLayout_data();
    void reportCommandsChooseRowsAndLayout();
    void nothingToPrintWithoutResults();
    void exportWritesTheWholeTable();
    void reportHeaderReachesTheReport();
};

void TstMainWindow::startupSetsClockThenReadsTheArchive()
{
    Connected c(true);
    QVERIFY(c.started);
    QVERIFY(c.waitRead(0, 12, 12));
    QCOMPARE(c.sim.clockWrites(), 1);
    // The discovery's own identification, then the workspace's.
    QCOMPARE(requestCodes(c.sim).mid(0, 4),
             (QList<int>{dcDevInfo, dcDevInfo, dcClockWrite, dcArchHead}));
    QCOMPARE(c.form->statusText(1), QStringLiteral("QEL-1.2 № A005"));
    QVERIFY(c.form->resultViewsShown());

    // Every result, newest first.
    TQelBase* dev = workspace();
    QVERIFY(dev);
    TStringGrid* grid = c.form->grid();
    QCOMPARE(grid->rowCountAll(), 13);
    QCOMPARE(grid->cell(0, 0), QStringLiteral("Date"));
    for (int i = 1; i < dev->archive().size(); ++i)
        QVERIFY(TQelBase::CompareResults(dev->archive()[i - 1], dev->archive()[i]) < 0);
    QCOMPARE(grid->cell(2, 1), QString::number(dev->archive()[0].ArchRes.Base.Num));

    // The graph and the comment are those of result 0.
    const TArchQEL& r0 = dev->archive()[0].ArchRes;
    QCOMPARE(c.form->chart()->points().size(), r0.SampleCount / r0.SampleFreq + 2);
    QCOMPARE(c.form->chart()->bottomTitle(), QStringLiteral("Time, s"));
    QCOMPARE(c.form->commentMemo()->toPlainText(), QString());
}

void TstMainWindow::deleteResultsLocallyOrInTheInstrument_data()
{
    QTest::addColumn<bool>("merged");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("rows"); // table rows afterwards, the caption row included
    QTest::newRow("in the instrument, yes") << false << true << 11;
    QTest::newRow("in the instrument, no") << false << false << 13;
    QTest::newRow("locally after a merge") << true << false << 11;
}

void TstMainWindow::deleteResultsLocallyOrInTheInstrument()
{
    QFETCH(bool, merged);
    QFETCH(bool, answer);
    QFETCH(int, rows);
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    if (merged) {
        c.prompter.answers = {true};
        c.form->sDevSelectBoxChange();
        QVERIFY(c.waitRead(12, 12, 0));
    }
    c.prompter.questions.clear();
    c.prompter.answers = {answer};
    const uint16_t second = workspace()->archive()[1].ArchRes.Base.AbsIndex;
    // Table rows 3 and 4 (the caption is row 1): results 1 and 2.
    QTableView* view = c.form->basicGrid();
    view->selectionModel()->select(
        QItemSelection(view->model()->index(1, 0), view->model()->index(2, 10)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    trigger(*c.form, "ActionRemove");
    QCOMPARE(c.form->grid()->rowCountAll(), rows);
    QCOMPARE(workspace()->archive().size(), rows - 1);
    if (merged) {
        QVERIFY(c.prompter.questions.isEmpty());
        QCOMPARE(c.sim.requestCount(dcResultDelete), 0);
        QCOMPARE(c.form->statusText(0), Msg(msgResultsRemoved, enUS));
        return;
    }
    QCOMPARE(c.prompter.questions,
             QStringList{QStringLiteral("Delete 2 results from the instrument? This cannot be "
                                        "undone.")});
    if (!answer) {
        QCOMPARE(c.sim.requestCount(dcResultDelete), 0);
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return c.form->statusText(0) == Msg(msgResultsRemoved, enUS); },
                            10000));
    const QByteArray req = c.sim.requests().last();
    QCOMPARE(uint8_t(req[3]), uint8_t(dcResultDelete));
    QCOMPARE(qelproto::le16(req.constData() + 4), second);
    QCOMPARE(qelproto::le16(req.constData() + 6), uint16_t(2));
}

void TstMainWindow::unitChangeRebuildsTableAndGraph()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    const QString kpa = c.form->grid()->cell(9, 1);
    const TArchQEL before = workspace()->archive()[0].ArchRes;
    trigger(*c.form, "smMmHg");
    QCOMPARE(c.form->config().Dimension, int(puMmRtSt));
    QCOMPARE(c.form->grid()->cell(9, 0), QStringLiteral("Patm, mmHg"));
    QVERIFY(c.form->grid()->cell(9, 1) != kpa);
    QCOMPARE(c.form->chart()->leftTitle(), QStringLiteral("Pressure, mmHg"));
    QCOMPARE(std::memcmp(&before, &workspace()->archive()[0].ArchRes, sizeof before), 0);
}

void TstMainWindow::selectingARowShowsItsGraphAndComment()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    workspace()->SetComment(3, QStringLiteral("a\r\r'b c'"));
    QTableView* view = c.form->basicGrid();
    view->setCurrentIndex(view->model()->index(3, 0));
    QCOMPARE(c.form->commentMemo()->toPlainText(), QStringLiteral("a\nb c"));
    const TArchQEL& r3 = workspace()->archive()[3].ArchRes;
    QCOMPARE(c.form->chart()->points().size(), r3.SampleCount / r3.SampleFreq + 2);

    // Leaving the comment box stores its lines in the stored form.
    c.form->commentMemo()->setPlainText(QStringLiteral("x y\n\nz"));
    c.form->CommentMemoExit();
    QCOMPARE(workspace()->GetComment(3), QStringLiteral("'x y'\r\rz"));
}

void TstMainWindow::secondInstrumentIsListedAndUnplugKeepsResults()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    TQelSim second;
    second.setLine(TQelSim::linePipe);
    second.setSerialNumber(2054);
    QVERIFY(second.start());
    c.ports.plug(forcedPort(second.slavePath()));
    QComboBox* box = c.form->devSelectBox();
    QVERIFY(QTest::qWaitFor([&] { return box->count() == 2; }, 5000));
    QCOMPARE(box->currentIndex(), 0); // the first stays chosen
    QCOMPARE(box->itemText(1), QStringLiteral("QEL-1.2 № A006"));
    QCOMPARE(workspace()->GetPortName(), c.sim.slavePath());

    // The instrument in use goes: the results stay, nothing is chosen any more.
    c.sim.unplug();
    c.ports.unplug(c.sim.slavePath());
    QVERIFY(QTest::qWaitFor([&] { return box->count() == 1; }, 10000));
    QCOMPARE(c.form->statusText(0), Msg(msgDevDisconnected, enUS));
    QCOMPARE(c.form->statusText(1), Msg(msgNotConnected, enUS));
    QCOMPARE(box->currentIndex(), -1);
    QVERIFY(c.form->workspace().isLoadTypeFile());
    QVERIFY(c.form->resultViewsShown());
    QCOMPARE(c.form->grid()->rowCountAll(), 13);

    // It comes back: listed, not connected.
    const TQelBase* held = workspace();
    QVERIFY(c.sim.start());
    c.ports.plug(forcedPort(c.sim.slavePath()));
    QVERIFY(QTest::qWaitFor([&] { return box->count() == 2; }, 5000));
    QCOMPARE(workspace(), held);
    QCOMPARE(box->currentIndex(), -1);
}

void TstMainWindow::commandsNeedAnInstrument()
{
    ConfigDir cfg;
    cfg.write(false);
    TFakePortSource ports;
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    for (const char* action :
         {"ActionRead", "ActionClock", "ActionMaterials", "ActionObjects", "ActionScreenshot"}) {
        trigger(form, action);
        QCOMPARE(form.statusText(0), Msg(msgDevNotSelected, enUS));
    }
    trigger(form, "smMmHg"); // no workspace: only the choice changes
    QCOMPARE(form.config().Dimension, int(puMmRtSt));
    QVERIFY(!ActiveDevice);
}

void TstMainWindow::silenceDuringAReadShowsWhatIsHeld()
{
    ConfigDir cfg;
    cfg.write(false);
    TQelSim sim;
    sim.setLine(TQelSim::linePipe);
    // The instrument stops answering once the archive is asked for.
    QObject::connect(&sim, &TQelSim::requestReceived, &sim, [&sim](int code) {
        if (code == dcArchHead)
            sim.setSilent(true);
    });
    QVERIFY(sim.start());
    TFakePortSource ports;
    ports.plug(forcedPort(sim.slavePath()));
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    form.workspace().setNoAnswerTimeout(300); // before the scan, which runs from the loop
    form.show();
    QVERIFY(QTest::qWaitFor([&] { return form.statusText(0) == Msg(msgNoAnswer, enUS); }, 5000));
    QVERIFY(form.resultViewsShown());
    QVERIFY(!form.progressBar()->isVisibleTo(&form));
    QCOMPARE(form.statusText(1), Msg(msgNotConnected, enUS));
    QCOMPARE(form.grid()->rowCountAll(), 2); // nothing held: the empty table
}

void TstMainWindow::progressCountsResultsAndStatusElides()
{
    Connected c(false);
    QProgressBar* bar = c.form->progressBar();
    QVERIFY(bar->isTextVisible());
    QCOMPARE(bar->format(), QStringLiteral("%v / %m"));
    QStringList texts;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&] { texts.append(bar->text()); });
    QVERIFY(c.waitRead(0, 12, 12));
    QVERIFY(!texts.isEmpty());
    QCOMPARE(texts.last(), QStringLiteral("12 / 12"));

    auto* panel = c.form->findChild<QLabel*>(QStringLiteral("StatusPanel0"));
    QVERIFY(panel);
    const QString status = c.form->statusText(0);
    panel->setFixedWidth(60);
    QVERIFY(panel->text().endsWith(QChar(0x2026)));
    QCOMPARE(panel->toolTip(), status);
    QCOMPARE(c.form->statusText(0), status);
    panel->setFixedWidth(2000);
    QCOMPARE(panel->text(), status);
}

void TstMainWindow::commentBoxTabMovesTheFocus()
{
    ConfigDir cfg;
    cfg.write(false);
    TFakePortSource ports;
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    QVERIFY(form.commentMemo()->tabChangesFocus());
}

void TstMainWindow::helpShowsTheGuideInTheLanguage_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("file");
    QTest::newRow("ru") << int(ruRU) << QStringLiteral("Qel1Help.html");
    QTest::newRow("en") << int(enUS) << QStringLiteral("Qel1EngHelp.html");
}

void TstMainWindow::helpShowsTheGuideInTheLanguage()
{
    QFETCH(int, lang);
    QFETCH(QString, file);
    ConfigDir cfg;
    cfg.write(false, lang);
    TFakePortSource ports;
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    trigger(form, "ActionHelp");
    THelpWindow* help = form.helpWindow();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->browser()->source().fileName(), file);
    QVERIFY(!help->browser()->toPlainText().isEmpty());
}

void TstMainWindow::settingsAreWrittenAndReadBack()
{
    ConfigDir cfg;
    cfg.write(true);
    TFakePortSource ports;
    ScriptedPrompter prompter;
    {
        TMainForm form(&ports, &prompter);
        form.show();
        trigger(form, "smAtm");
        form.findChild<QAction*>(QStringLiteral("smClockAuto"))->setChecked(false);
        form.findChild<QAction*>(QStringLiteral("smPrintComments"))->setChecked(true);
        form.resize(1000, 700);
        form.close();
    }
    QSettings s(cfg.ini(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("Settings/Dimension")).toInt(), 1);
    QCOMPARE(s.value(QStringLiteral("Settings/AutoClock")).toInt(), 0);
    QCOMPARE(s.value(QStringLiteral("Settings/PrintComments")).toInt(), 1);
    QCOMPARE(s.value(QStringLiteral("Settings/Language")).toInt(), 1);
    QVERIFY(!s.value(QStringLiteral("GUI/Placement")).toString().isEmpty());

    TMainForm again(&ports, &prompter);
    QCOMPARE(again.config().Dimension, 1);
    QVERIFY(again.findChild<QAction*>(QStringLiteral("smAtm"))->isChecked());
    QVERIFY(!again.findChild<QAction*>(QStringLiteral("smClockAuto"))->isChecked());
    QVERIFY(again.findChild<QAction*>(QStringLiteral("smPrintComments"))->isChecked());
    QCOMPARE(again.size(), QSize(1000, 700));
    QCOMPARE(prompter.languageAsked, 0);

    // Out-of-range values read as the defaults.
    s.setValue(QStringLiteral("Settings/Language"), 5);
    s.setValue(QStringLiteral("Settings/Dimension"), 9);
    s.sync();
    TMainForm third(&ports, &prompter);
    QCOMPARE(third.config().Lang, 0);
    QCOMPARE(third.config().Dimension, 0);
    QCOMPARE(third.statusText(0), Msg(msgReady, ruRU));
}

void TstMainWindow::firstStartAsksLanguageAndCreatesFolders()
{
    ConfigDir cfg;
    TFakePortSource ports;
    ScriptedPrompter prompter;
    prompter.language = enUS;
    TMainForm form(&ports, &prompter);
    QCOMPARE(prompter.languageAsked, 1);
    QVERIFY(QFileInfo(cfg.dir.filePath(QStringLiteral("ScreenShots"))).isDir());
    QCOMPARE(form.config().Lang, int(enUS));
    QVERIFY(form.findChild<QAction*>(QStringLiteral("smClockAuto"))->isChecked());
    for (const char* unit : {"smKPa", "smAtm", "smKgs", "smMmHg"})
        QVERIFY(!form.findChild<QAction*>(QString::fromLatin1(unit))->isChecked());
    QCOMPARE(form.config().Dimension, 0);
    QCOMPARE(form.statusText(0), QStringLiteral("Ready."));
    QCOMPARE(form.statusText(1), QStringLiteral("Not connected"));
}

void TstMainWindow::copyTableAndSelectionGiveTextAndCells_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("first"); // table rows, the caption being row 0
    QTest::addColumn<int>("last");
    QTest::newRow("table") << QStringLiteral("ActionCopyTable") << 1 << 12;
    QTest::newRow("rows 2 to 4 selected") << QStringLiteral("ActionCopySelected") << 2 << 4;
}

void TstMainWindow::copyTableAndSelectionGiveTextAndCells()
{
    QFETCH(QString, action);
    QFETCH(int, first);
    QFETCH(int, last);
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    TQelBase* dev = workspace();
    dev->SetComment(1, QStringLiteral("two'\rlines"));
    QTableView* view = c.form->basicGrid();
    view->selectionModel()->select(
        QItemSelection(view->model()->index(first - 1, 0), view->model()->index(last - 1, 10)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QGuiApplication::clipboard()->clear();
    trigger(*c.form, action.toLatin1().constData());
    QCOMPARE(c.form->statusText(0), QStringLiteral("Results copied"));

    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime && mime->hasText() && mime->hasHtml());
    const QStringList lines = mime->text().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), last - first + 3); // header, the rows, and nothing after the last
    QVERIFY(lines.last().isEmpty());
    QVERIFY(lines[0].startsWith(QStringLiteral("Date\tTime\t")));
    QVERIFY(lines[0].endsWith(QStringLiteral("\tComment\t")));
    const TStringGrid* grid = c.form->grid();
    for (int row = first; row <= last; ++row) {
        const QStringList fields = lines[row - first + 1].split(u'\t');
        QCOMPARE(fields.size(), 12);
        for (int col = 0; col < 11; ++col)
            QCOMPARE(fields[col], grid->cell(col, row));
        // Result row - 1's comment, its carriage return a space, its apostrophe kept.
        QCOMPARE(fields[11], row == 2 ? QStringLiteral("two' lines") : QString());
    }
    // The same cells as an HTML table.
    const QString html = mime->html();
    QCOMPARE(html.count(QStringLiteral("<tr>")), last - first + 2);
    QVERIFY(html.contains(QStringLiteral("<td>") + grid->cell(0, first).toHtmlEscaped() +
                          QStringLiteral("</td>")));
    if (first <= 2)
        QVERIFY(html.contains(QStringLiteral("<td>two'<br>lines</td>")));
}

void TstMainWindow::copyGraphAsTextUsesTheLocaleSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QChar>("sep");
    QTest::newRow("decimal point") << QLocale::c() << QChar(u'.');
    QTest::newRow("decimal comma") << QLocale(QLocale::Russian, QLocale::Russia) << QChar(u',');
}

void TstMainWindow::copyGraphAsTextUsesTheLocaleSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QChar, sep);
    const QLocale before;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    trigger(*c.form, "ActionCopyDetails");
    QCOMPARE(c.form->statusText(0), QStringLiteral("Results copied"));
    const QStringList lines = QGuiApplication::clipboard()->text().split(QStringLiteral("\r\n"));
    const QList<QPointF> points = c.form->chart()->points();
    QVERIFY(points.size() > 2);
    QCOMPARE(lines.size(), points.size() + 2);
    QCOMPARE(lines[0], QStringLiteral("Time, s\tPressure, kPa"));
    for (int i = 0; i < points.size(); ++i) {
        const QStringList f = lines[i + 1].split(u'\t');
        QCOMPARE(f.size(), 2);
        QCOMPARE(f[0], QString::number(i));
        QVERIFY2(!f[1].contains(sep == u'.' ? u',' : u'.'), qPrintable(f[1]));
        QString value = f[1];
        QCOMPARE(value.replace(sep, u'.').toDouble(), points[i].y());
    }
}

void TstMainWindow::copyGraphAsImageIsWhatTheChartShows()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    TPressChartView* chart = c.form->chart()->view();
    QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
    trigger(*c.form, "ActionCopyGraph");
    QCOMPARE(c.form->statusText(0), QStringLiteral("Results copied"));
    const QImage whole = QGuiApplication::clipboard()->image();
    QCOMPARE(whole.size(), chart->grab().size());
    QCOMPARE(whole.convertToFormat(QImage::Format_RGB32),
             chart->grab().toImage().convertToFormat(QImage::Format_RGB32));
    // Zoomed in, the copy is the zoomed picture.
    chart->chart()->zoomIn();
    trigger(*c.form, "ActionCopyGraph");
    const QImage zoomed = QGuiApplication::clipboard()->image();
    QCOMPARE(zoomed.size(), whole.size());
    QVERIFY(zoomed.convertToFormat(QImage::Format_RGB32) !=
            whole.convertToFormat(QImage::Format_RGB32));
}

void TstMainWindow::openChecksTheExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("accepted") << "site.qel1x" << true;
    QTest::newRow("capitals") << "site.QEL1X" << false;
    QTest::newRow("folder with a full stop") << "v1.2/site" << false;
}

void TstMainWindow::openChecksTheExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    ArchiveFiles files;
    const QString path = files.write(name, 6);
    Idle w;
    w.prompter.openNames = {{path}};
    trigger(*w.form, "ActionOpen");
    QCOMPARE(w.prompter.openDialogs, 1);
    if (!accepted) {
        QCOMPARE(w.prompter.errors, QStringList{kUnreadable + path});
        QVERIFY(!ActiveDevice);
        QVERIFY(!w.form->resultViewsShown());
        QCOMPARE(w.form->statusText(0), QStringLiteral("Ready."));
        return;
    }
    QVERIFY(w.prompter.errors.isEmpty());
    QVERIFY(w.prompter.questions.isEmpty());
    QCOMPARE(w.form->statusText(0), fileOpened(0, 6, 6));
    QCOMPARE(w.form->statusText(1),
             ActiveDevice->GetDeviceName() + QStringLiteral(" — site.qel1x"));
    QCOMPARE(w.form->windowTitle(), QStringLiteral("QEL-1.Connect"));
    QVERIFY(w.form->resultViewsShown());
    QCOMPARE(w.form->grid()->rowCountAll(), 7);
    QVERIFY(w.form->workspace().isLoadTypeFile());
    QCOMPARE(w.form->fileCommands().currentFileName(), path);
}

void TstMainWindow::openWhileResultsAreShownAsksToMerge_data()
{
    QTest::addColumn<bool>("merge");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
}

void TstMainWindow::openWhileResultsAreShownAsksToMerge()
{
    QFETCH(bool, merge);
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    ArchiveFiles files;
    c.prompter.openNames = {{files.write(QStringLiteral("a.qel1x"), 5)}};
    c.prompter.answers = {merge};
    c.prompter.saveChoices = {TSaveChoice::Discard}; // the downloaded results are in no file
    trigger(*c.form, "ActionOpen");
    QCOMPARE(c.prompter.questions.first(), Msg(msgMergeResults, enUS));
    QCOMPARE(c.prompter.questions.size(), merge ? 1 : 2);
    QCOMPARE(c.form->grid()->rowCountAll(), merge ? 18 : 6);
    QCOMPARE(c.form->statusText(0), fileOpened(0, merge ? 17 : 5, 5));
    // The instrument box shows no choice: device commands need one again.
    QCOMPARE(c.form->devSelectBox()->currentIndex(), -1);
    trigger(*c.form, "ActionRead");
    QCOMPARE(c.form->statusText(0), Msg(msgDevNotSelected, enUS));
    // Yes keeps the connection; No released it with its workspace.
    QCOMPARE(c.form->workspace().connectedPort().isEmpty(), !merge);
}

void TstMainWindow::sameFileTwiceGivesOnlyDuplicates()
{
    ArchiveFiles files;
    const QString a = files.write(QStringLiteral("a.qel1x"), 6);
    Idle w;
    w.prompter.openNames = {{a}, {a}};
    w.prompter.answers = {true};
    trigger(*w.form, "ActionOpen");
    trigger(*w.form, "ActionOpen");
    QCOMPARE(w.prompter.questions, QStringList{Msg(msgMergeResults, enUS)});
    QCOMPARE(w.form->statusText(0), fileOpened(6, 6, 0));
    QCOMPARE(w.form->grid()->rowCountAll(), 7);
}

void TstMainWindow::saveAsksForANameOnlyWithoutAFile()
{
    ArchiveFiles files;
    const QString a = files.write(QStringLiteral("a.qel1x"), 4);
    {
        Idle w;
        trigger(*w.form, "ActionSave");
        QCOMPARE(w.form->statusText(0), QStringLiteral("Nothing to save"));
        w.prompter.openNames = {{a}};
        trigger(*w.form, "ActionOpen");
        // A comment typed and not yet stored goes into the file.
        w.form->commentMemo()->setPlainText(QStringLiteral("typed"));
        trigger(*w.form, "ActionSave");
        QVERIFY(w.prompter.saveDialogShown.isEmpty());
        QCOMPARE(w.form->statusText(0), QStringLiteral("File saved"));
        TQelBase back;
        QVERIFY(back.LoadFromFile(a));
        QCOMPARE(back.GetComment(0), QStringLiteral("typed"));
    }
    ActiveDevice.reset();
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    c.prompter.saveNames = {files.path(QStringLiteral("site"))};
    trigger(*c.form, "ActionSave");
    QCOMPARE(c.prompter.saveDialogShown.size(), 1);
    QCOMPARE(c.form->statusText(0), QStringLiteral("File saved"));
    const QString site = files.path(QStringLiteral("site.qel1x"));
    QCOMPARE(ArchiveFiles::bytes(site).size(), 71 + 12 * (96 + 400));
    QCOMPARE(c.form->statusText(1), QStringLiteral("QEL-1.2 № A005 — site.qel1x"));
    // Now it writes there without asking.
    trigger(*c.form, "ActionSave");
    QCOMPARE(c.prompter.saveDialogShown.size(), 1);
}

void TstMainWindow::saveAsOntoAnExistingFileAnsweredNoWritesNothing()
{
    ArchiveFiles files;
    const QString a = files.write(QStringLiteral("a.qel1x"), 4);
    const QString b = files.write(QStringLiteral("b.qel1x"), 2, 9);
    const QByteArray before = ArchiveFiles::bytes(b);
    Idle w;
    w.prompter.openNames = {{a}};
    trigger(*w.form, "ActionOpen");
    const QString status = w.form->statusText(0);
    w.prompter.saveNames = {b};
    w.prompter.answers = {false};
    trigger(*w.form, "ActionSaveAs");
    QCOMPARE(w.prompter.questions, QStringList{Msg(msgOverwrite, enUS)});
    QCOMPARE(ArchiveFiles::bytes(b), before);
    QCOMPARE(w.form->statusText(0), status);
    QCOMPARE(w.form->fileCommands().currentFileName(), a);
}

void TstMainWindow::closeWhileConnectedEndsTheConnection()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    c.prompter.saveChoices = {TSaveChoice::Discard};
    trigger(*c.form, "ActionCloseFile");
    QCOMPARE(c.prompter.questions, QStringList{kSaveChanges});
    QVERIFY(!ActiveDevice);
    QVERIFY(!c.form->resultViewsShown());
    QCOMPARE(c.form->statusText(0), QStringLiteral("Ready."));
    QCOMPARE(c.form->statusText(1), QStringLiteral("Not connected"));
    QCOMPARE(c.form->devSelectBox()->currentIndex(), -1);
    trigger(*c.form, "ActionRead");
    QCOMPARE(c.form->statusText(0), Msg(msgDevNotSelected, enUS));
    // The port is free again: the stand-in is reached by a new connection at once.
    TQelBase probe;
    QVERIFY(probe.Connect(c.sim.slavePath()));
}

void TstMainWindow::failedOpenAndSaveChangeNothing()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    const TQelBase* held = workspace();
    const QString status = c.form->statusText(0);
    ArchiveFiles files;
    const QString bad = files.write(QStringLiteral("bad.qel1x"), 5);
    QFile::resize(bad, 71 + 300);
    for (bool merge : {true, false}) {
        c.prompter.openNames = {{bad}};
        c.prompter.answers = {merge};
        c.prompter.saveChoices = {TSaveChoice::Discard};
        c.prompter.errors.clear();
        trigger(*c.form, "ActionOpen");
        QCOMPARE(c.prompter.errors.size(), 1);
        QVERIFY(c.prompter.errors[0].startsWith(kUnreadable + bad + u'\n'));
        QCOMPARE(workspace(), held);
        QCOMPARE(workspace()->archive().size(), 12);
        QCOMPARE(c.form->grid()->rowCountAll(), 13);
        QVERIFY(c.form->resultViewsShown());
        QCOMPARE(c.form->statusText(0), status);
        QCOMPARE(c.form->devSelectBox()->currentIndex(), 0);
    }
    // A save into a folder that does not exist: the error box, and nothing else.
    c.prompter.errors.clear();
    c.prompter.saveNames = {files.path(QStringLiteral("none/x.qel1x"))};
    trigger(*c.form, "ActionSaveAs");
    QCOMPARE(c.prompter.errors.size(), 1);
    QCOMPARE(c.form->statusText(0), status);
    QVERIFY(c.form->fileCommands().currentFileName().isEmpty());
}

void TstMainWindow::fileArgumentIsOpenedAtStart_data()
{
    QTest::addColumn<bool>("good");
    QTest::newRow("readable") << true;
    QTest::newRow("unreadable") << false;
}

void TstMainWindow::fileArgumentIsOpenedAtStart()
{
    QFETCH(bool, good);
    ArchiveFiles files;
    const QString arg = good ? files.write(QStringLiteral("start.qel1x"), 3)
                             : files.path(QStringLiteral("missing.qel1x"));
    ConfigDir cfg;
    cfg.write(true);
    TQelSim sim;
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TFakePortSource ports;
    ports.plug(forcedPort(sim.slavePath()));
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter, arg);
    form.show();
    if (!good) {
        QCOMPARE(prompter.errors.size(), 1);
        QVERIFY(prompter.errors[0].startsWith(kUnreadable + arg));
        QCOMPARE(form.statusText(0), QStringLiteral("Ready."));
        // The start ended there: no scan, so the instrument is not even listed.
        QCoreApplication::processEvents();
        QCOMPARE(form.devSelectBox()->count(), 0);
        QVERIFY(sim.requests().isEmpty());
        return;
    }
    QVERIFY(prompter.errors.isEmpty());
    QVERIFY(form.resultViewsShown());
    QCOMPARE(form.grid()->rowCountAll(), 4);
    QCOMPARE(form.fileCommands().currentFileName(), arg);
    // The scan lists the instrument but does not connect to it over the file's results.
    QVERIFY(QTest::qWaitFor([&] { return form.devSelectBox()->count() == 1; }, 5000));
    QCOMPARE(form.devSelectBox()->currentIndex(), -1);
    QCOMPARE(form.statusText(0), fileOpened(0, 3, 3));
    QCOMPARE(sim.clockWrites(), 0);
}

void TstMainWindow::saveChangesQuestion_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("choice");
    for (const char* command : {"close", "exit", "new workspace"})
        for (const auto& [name, choice] :
             {std::pair{"Save", TSaveChoice::Save}, std::pair{"Discard", TSaveChoice::Discard},
              std::pair{"Cancel", TSaveChoice::Cancel}})
            QTest::addRow("%s, %s", command, name) << command << int(choice);
}

void TstMainWindow::saveChangesQuestion()
{
    QFETCH(QString, command);
    QFETCH(int, choice);
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    ArchiveFiles files;
    const QString target = files.path(QStringLiteral("kept.qel1x"));
    c.prompter.saveChoices = {TSaveChoice(choice)};
    c.prompter.saveNames = {target};
    const TQelBase* held = workspace();
    const QString status = c.form->statusText(0);
    const bool gone = TSaveChoice(choice) != TSaveChoice::Cancel;

    if (command == QLatin1String("close")) {
        trigger(*c.form, "ActionCloseFile");
        QCOMPARE(ActiveDevice == nullptr, gone);
    } else if (command == QLatin1String("exit")) {
        trigger(*c.form, "ActionExit");
        QCOMPARE(c.form->isVisible(), !gone);
    } else {
        c.prompter.answers = {false}; // not merged: the results held would go
        c.form->sDevSelectBoxChange();
        QCOMPARE(workspace() != held, gone);
        QCOMPARE(c.form->devSelectBox()->currentIndex(), 0);
        if (gone)
            QVERIFY(QTest::qWaitFor([&] { return c.sim.requestCount(dcArchHead) == 2; }, 10000));
    }
    QVERIFY(c.prompter.questions.contains(kSaveChanges));
    QCOMPARE(QFileInfo::exists(target), TSaveChoice(choice) == TSaveChoice::Save);
    if (!gone) {
        QCOMPARE(c.form->statusText(0), status);
        QVERIFY(c.form->resultViewsShown());
        QCOMPARE(c.form->grid()->rowCountAll(), 13);
    }
}

void TstMainWindow::recentFilesInTheFileMenu()
{
    ArchiveFiles files;
    const QString a = files.write(QStringLiteral("a.qel1x"), 3, 1);
    const QString b = files.write(QStringLiteral("b.qel1x"), 2, 2);
    ConfigDir cfg;
    cfg.write(false);
    TFakePortSource ports;
    ScriptedPrompter prompter;
    {
        TMainForm form(&ports, &prompter);
        prompter.openNames = {{a}, {b}};
        prompter.answers = {true};
        trigger(form, "ActionOpen");
        trigger(form, "ActionOpen");
        auto* menu = form.findChild<QMenu*>(QStringLiteral("smRecent"));
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("&1 ") + QDir::toNativeSeparators(b));
        prompter.saveChoices = {TSaveChoice::Discard}; // merged results are in no file
        QVERIFY(form.close());
    }
    ActiveDevice.reset();
    // The list outlives the run; a file gone since leaves it when chosen.
    QVERIFY(QFile::remove(b));
    TMainForm again(&ports, &prompter);
    auto* menu = again.findChild<QMenu*>(QStringLiteral("smRecent"));
    QCOMPARE(menu->actions().size(), 2);
    trigger(again, "RecentFile1");
    QCOMPARE(again.statusText(0), Msg(msgRecentMissing, enUS) + QDir::toNativeSeparators(b));
    QCOMPARE(menu->actions().size(), 1);
    QVERIFY(!ActiveDevice);
    trigger(again, "RecentFile1");
    QCOMPARE(again.statusText(0), fileOpened(0, 3, 3));
    QCOMPARE(again.fileCommands().currentFileName(), a);
}

void TstMainWindow::droppedFilesOpen()
{
    ArchiveFiles files;
    const QString a = files.write(QStringLiteral("a.qel1x"), 3, 1);
    const QString b = files.write(QStringLiteral("b.qel1x"), 2, 2);
    Idle w;
    w.form->show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &drop);
    QVERIFY(w.prompter.questions.isEmpty());
    QCOMPARE(w.form->grid()->rowCountAll(), 6);
    QCOMPARE(w.form->fileCommands().currentFileName(), a);

    // On the comment box they open too, and are not typed in.
    const QString comment = w.form->commentMemo()->toPlainText();
    w.prompter.answers = {true};
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(files.write(QStringLiteral("c.qel1x"), 4, 3))});
    QWidget* memo = w.form->commentMemo()->viewport();
    QDragEnterEvent enterMemo(QPoint(5, 5), Qt::CopyAction, &one, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(memo, &enterMemo);
    QVERIFY(enterMemo.isAccepted());
    QDropEvent onMemo(QPointF(5, 5), Qt::CopyAction, &one, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(memo, &onMemo);
    QCOMPARE(w.form->grid()->rowCountAll(), 10);
    QCOMPARE(w.form->commentMemo()->toPlainText(), comment);
}

// Acts on the modal editor once it is up: the test waits for the window itself.
template <typename F> void whenEditorShown(QObject* owner, F act)
{
    auto* poll = new QTimer(owner);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, act] {
        if (auto* form = qobject_cast<TCatalogueForm*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            act(form);
        }
    });
    poll->start();
}

void TstMainWindow::editMaterialsOpensOnTheReadAndWritesOnYes()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    QByteArray mats = defaultMaterials(ruRU);
    const float b1 = 1.23456f;
    std::memcpy(mats.data() + 24 * 2 + 20, &b1, 4);
    c.sim.setMaterials(mats);
    c.prompter.questions.clear();
    c.prompter.answers = {true};
    QString title, statusWhileOpen, cell;
    bool modal = false;
    whenEditorShown(this, [&](TCatalogueForm* form) {
        title = form->windowTitle();
        modal = form->isModal() && form->parentWidget() == c.form.get();
        statusWhileOpen = c.form->statusText(0);
        cell = form->editor().grid().cell(2, 3);
        QTableView* view = form->grid();
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Down); // a key: the close asks
        QVERIFY(form->editor().grid().setData(form->editor().grid().index(4, 0),
                                              QStringLiteral("Газобетон"), Qt::EditRole));
        form->close();
    });
    trigger(*c.form, "ActionMaterials");
    QVERIFY(
        QTest::qWaitFor([&] { return c.form->statusText(0) == Msg(msgMatWritten, enUS); }, 10000));
    QCOMPARE(title, QStringLiteral("Materials"));
    QVERIFY(modal);
    QCOMPARE(statusWhileOpen, Msg(msgMatRead, enUS));
    QCOMPARE(cell, QStringLiteral("1.235E+00"));
    QCOMPARE(c.prompter.questions, QStringList{Msg(msgWriteToDevice, enUS)});
    QCOMPARE(c.sim.materials().mid(24 * 4, 10),
             QByteArray("\xc3\xe0\xe7\xee\xe1\xe5\xf2\xee\xed\0", 10));
    QCOMPARE(c.sim.materials().mid(24 * 2 + 20, 4), mats.mid(24 * 2 + 20, 4));
    QCOMPARE(QDir(c.cfg.dir.path() + QStringLiteral("/Catalogues")).entryList(QDir::Files).size(),
             1);
    QVERIFY(!c.form->matForm()->isVisible());
}

void TstMainWindow::lostInstrumentClosesTheEditorWithoutAQuestion()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    c.prompter.questions.clear();
    c.prompter.answers = {true};
    bool shown = false;
    whenEditorShown(this, [&](TCatalogueForm* form) {
        shown = true;
        form->editor().restoreFactory(); // changes that must not reach anything now
        c.sim.unplug();
        c.ports.unplug(c.sim.slavePath());
    });
    trigger(*c.form, "ActionObjects");
    QVERIFY(QTest::qWaitFor([&] { return shown && !c.form->objForm()->isVisible(); }, 10000));
    QCOMPARE(c.form->statusText(0), Msg(msgDevDisconnected, enUS));
    QVERIFY(c.prompter.questions.isEmpty());
    QCOMPARE(c.sim.requestCount(dcObjWrite), 0);
    QVERIFY(!c.form->objForm()->editor().isOpen());
}

void TstMainWindow::editorFormSizeBadCellAndEscape()
{
    ScriptedPrompter prompter;
    QWidget main;
    main.resize(900, 700);
    auto dev = std::make_shared<TQelBase>();
    dev->SetLang(enUS);
    dev->ResetMaterials();
    TMatForm mat(&prompter, &main);
    TObjForm obj(&prompter, &main);
    mat.ApplyLanguage(enUS);
    mat.showFor(dev);
    obj.showFor(dev);
    // The designed widths, widened only where the font needs it.
    QTableView* mv = mat.grid();
    QVERIFY(mv->columnWidth(0) >= 260 && mv->columnWidth(1) >= 68 && mv->columnWidth(2) >= 68);
    QCOMPARE(mat.width(), mv->columnWidth(0) + mv->columnWidth(1) + mv->columnWidth(2) + 7);
    QCOMPARE(obj.width(), obj.grid()->columnWidth(0) + 5);
    QCOMPARE(obj.grid()->columnWidth(0), 260);
    QCOMPARE(obj.windowTitle(), QStringLiteral("Объекты"));
    auto* save = mat.findChild<QAction*>(QStringLiteral("ActionSave"));
    QCOMPARE(save->toolTip(), QStringLiteral("Write to device"));
    obj.ActionCancelExecute();

    // A bad cell: an error box names it, the cell is selected, the window stays.
    TStringGrid& g = mat.editor().grid();
    QVERIFY(g.setData(g.index(6, 2), QStringLiteral("one"), Qt::EditRole));
    const QByteArray before(reinterpret_cast<const char*>(dev->MatCfg.data()), kMatCfgSize);
    save->trigger();
    QVERIFY(mat.isVisible());
    QCOMPARE(prompter.errors.size(), 1);
    QCOMPARE(prompter.errors.first(), Msg(msgBadCoef, enUS).arg(7).arg(QStringLiteral("b1")));
    QCOMPARE(mat.grid()->currentIndex(), g.index(6, 2));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(dev->MatCfg.data()), kMatCfgSize), before);

    // Escape closes by the same road as the close box: the question, and No writes nothing.
    prompter.answers = {false};
    QTest::keyClick(mat.grid(), Qt::Key_Escape);
    QVERIFY(!mat.isVisible());
    QCOMPARE(prompter.questions, QStringList{Msg(msgWriteToDevice, enUS)});
    QVERIFY(!mat.editor().ExecResult);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"

namespace {
// Selects table rows `top` to `bottom` (grid rows, from 1) as the mouse does: the first
// becomes the current row, whose graph is shown.
void selectRows(TMainForm& form, int top, int bottom)
{
    QTableView* view = form.basicGrid();
    view->selectRow(top - 1);
    const QAbstractItemModel* m = view->model();
    view->selectionModel()->select(
        QItemSelection(m->index(top - 1, 0), m->index(bottom - 1, m->columnCount() - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int pdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(f.readAll()).count(page));
}
} // namespace

void TstMainWindow::reportCommandsChooseRowsAndLayout_data()
{
    QTest::addColumn<int>("results");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("comments");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("layout");

    const QString print = QStringLiteral("ActionReport");
    const QString selected = QStringLiteral("ActionReportSel");
    QTest::newRow("one row, Print: the whole table")
        << 12 << 4 << 4 << print << true << false << false << 1 << 12 << u"frxReportOS"_qs;
    QTest::newRow("one result, Print: the single layout")
        << 1 << 1 << 1 << print << true << false << false << 1 << 1 << u"frxReportSingle"_qs;
    QTest::newRow("rows 3 to 7, Print, Yes")
        << 12 << 3 << 7 << print << true << false << true << 3 << 5 << u"frxReportOS"_qs;
    QTest::newRow("rows 3 to 7, Print, No")
        << 12 << 3 << 7 << print << false << false << true << 1 << 12 << u"frxReportOS"_qs;
    QTest::newRow("one row, Selected report")
        << 12 << 4 << 4 << selected << true << false << false << 4 << 1 << u"frxReportSingle"_qs;
    QTest::newRow("print comments, several rows")
        << 12 << 3 << 7 << selected << true << true << false << 3 << 5 << u"frxReportOS_comment"_qs;
    QTest::newRow("print comments, one result")
        << 1 << 1 << 1 << print << true << true << false << 1 << 1 << u"frxReportSingle"_qs;
}

void TstMainWindow::reportCommandsChooseRowsAndLayout()
{
    QFETCH(int, results);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(QString, command);
    QFETCH(bool, answer);
    QFETCH(bool, comments);
    QFETCH(bool, asked);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, layout);
    ArchiveFiles files;
    Idle idle(files.write(QStringLiteral("a.qel1x"), results));
    TMainForm& form = *idle.form;
    form.show();
    QVERIFY(form.resultViewsShown());
    form.findChild<QAction*>(u"smPrintComments"_qs)->setChecked(comments);
    selectRows(form, top, bottom);
    idle.prompter.answers = {answer};
    trigger(form, command.toLatin1().constData());

    QCOMPARE(idle.prompter.questions.size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(idle.prompter.questions.first(), Msg(msgReportSelection, enUS));
    TReportPreviewForm* preview = form.reportPreview();
    QVERIFY(preview && preview->isVisible());
    TPreparedReport* report = preview->report();
    QCOMPARE(report->First(), first);
    QCOMPARE(report->Count(), count);
    TReportLayout& l = report->engine().layout();
    QCOMPARE(l.name, layout);
    QCOMPARE(l.orientation, comments && count > 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
    // The first reported row is the table's row `first`, as shown.
    // Under the title (19 mm) and the header (15 mm), from the top margin.
    const QString number = form.grid()->cell(2, first);
    QStringList firstRow;
    for (const TReportCell& c : report->engine().pageCells(0))
        if (qAbs(c.rect.top() - (l.margins.top() + 19 + 15)) < 0.01)
            firstRow << c.text;
    QCOMPARE(firstRow.value(2), number);
    if (layout == u"frxReportSingle"_qs) {
        // The graph of that very row, with its on-screen pixels.
        TRecordingSeries expected;
        ActiveDevice->UpdateGraph(expected, first - 1);
        QCOMPARE(form.chart()->points(), expected.points);
        const QImage pic = l.findObject(u"Picture1"_qs)->image;
        QCOMPARE(pic.size(), form.chart()->view()->grab().toImage().size());
        QCOMPARE(pic, form.chart()->view()->grab().toImage());
    }
}

void TstMainWindow::nothingToPrintWithoutResults()
{
    Idle idle;
    TMainForm& form = *idle.form;
    for (const char* command : {"ActionReport", "ActionReportSel", "ActionExport"}) {
        form.findChild<QAction*>(u"ActionOpen"_qs)->trigger(); // status back to another text
        trigger(form, command);
        QCOMPARE(form.statusText(0), u"Nothing to print"_qs);
    }
    // A device object that holds no results.
    QVERIFY(form.workspace().BeginWorkspace(1));
    QVERIFY(ActiveDevice && ActiveDevice->GetArchCount() == 0);
    idle.prompter.exportTarget =
        TExportTarget{idle.cfg.dir.filePath(u"x.pdf"_qs), TExportFormat::Pdf};
    for (const char* command : {"ActionReport", "ActionReportSel", "ActionExport"}) {
        form.findChild<QAction*>(u"ActionOpen"_qs)->trigger();
        trigger(form, command);
        QCOMPARE(form.statusText(0), u"Nothing to print"_qs);
    }
    QVERIFY(!form.reportPreview());
    QVERIFY(!QFile::exists(idle.cfg.dir.filePath(u"x.pdf"_qs)));
    QVERIFY(idle.prompter.questions.isEmpty());
}

void TstMainWindow::reportHeaderReachesTheReport()
{
    ArchiveFiles files;
    Idle idle(files.write(QStringLiteral("a.qel1x"), 60));
    TMainForm& form = *idle.form;
    form.show();
    const auto edit = [&](const QString& line, bool accept) {
        QTimer::singleShot(0, &form, [&, line, accept] {
            auto* dlg = qobject_cast<TReportHeaderForm*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            dlg->lineEdit(0)->setText(line);
            accept ? dlg->accept() : dlg->reject();
        });
        trigger(form, "ActionReportHeader");
    };
    edit(u"Lab [Page] of concrete"_qs, true);
    QCOMPARE(form.config().ReportHeaderLines, QStringList{u"Lab [Page] of concrete"_qs});
    edit(u"Cancelled"_qs, false);
    QCOMPARE(form.config().ReportHeaderLines, QStringList{u"Lab [Page] of concrete"_qs});

    trigger(form, "ActionReport");
    TReportEngine& e = form.reportPreview()->report()->engine();
    QStringList page1, page2;
    for (const TReportCell& c : e.pageCells(0))
        page1 << c.text;
    for (const TReportCell& c : e.pageCells(1))
        page2 << c.text;
    // On the first page only, above the title, as typed.
    QCOMPARE(page1.value(0), u"Lab [Page] of concrete"_qs);
    QCOMPARE(page1.value(1), Msg(msgReportTitle, enUS));
    QVERIFY(!page2.contains(u"Lab [Page] of concrete"_qs));
}

void TstMainWindow::exportWritesTheWholeTable()
{
    ArchiveFiles files;
    Idle idle(files.write(QStringLiteral("a.qel1x"), 60));
    TMainForm& form = *idle.form;
    form.show();
    selectRows(form, 3, 7); // no question: the whole table goes
    const QString out = files.path(QStringLiteral("report.pdf"));
    idle.prompter.exportTarget = TExportTarget{out, TExportFormat::Pdf};
    trigger(form, "ActionExport");
    QCOMPARE(pdfPages(out), 2); // 47 rows on page 1, 13 on page 2
    QCOMPARE(form.statusText(0), u"Report exported: "_qs + QDir::toNativeSeparators(out));
    QVERIFY(idle.prompter.questions.isEmpty());
    QVERIFY(!form.reportPreview());

    // A file that cannot be written: an error box and the reason in the status.
    const QString bad = files.path(QStringLiteral("missing/report.pdf"));
    idle.prompter.exportTarget = TExportTarget{bad, TExportFormat::Pdf};
    trigger(form, "ActionExport");
    QCOMPARE(idle.prompter.errors.size(), 1);
    QVERIFY(form.statusText(0).startsWith(u"The report was not exported: "_qs));
    QVERIFY(!QFile::exists(bad));
}
