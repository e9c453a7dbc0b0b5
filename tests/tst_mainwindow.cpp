// The main window on the offscreen platform, against the instrument stand-in on a pty.
#include "FakePortSource.h"
#include "app/General.h"
#include "app/Prompter.h"
#include "data/StringGrid.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"
#include "windows/ChartSink.h"
#include "windows/HelpWindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

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

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ActiveDevice.reset(); }
    void startupSetsClockThenReadsTheArchive();
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

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
