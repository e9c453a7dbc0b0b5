// The main window on the offscreen platform, against the instrument stand-in on a pty.
#include "app/General.h"
#include "app/PortSource.h"
#include "app/Prompter.h"
#include "data/StringGrid.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"
#include "windows/ChartSink.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

class ScriptedPrompter : public IPrompter
{
public:
    bool ask(QWidget*, const QString&, const QString& question) override
    {
        questions.append(question);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    int askLanguage(QWidget*) override
    {
        ++languageAsked;
        return language;
    }
    QString openFileName(QWidget*, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&) override { return {}; }
    void error(QWidget*, const QString&, const QString& text) override { errors.append(text); }

    QList<bool> answers;
    QStringList questions;
    QStringList errors;
    int language = enUS;
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

// Counts how often the window reads the port list: once per comparison.
class CountingPortSource : public TFakePortSource
{
public:
    QList<TPortInfo> ports() const override
    {
        ++reads;
        return TFakePortSource::ports();
    }
    mutable int reads = 0;
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
    void startupWithoutClockReadsAtOnce();
    void choosingAgainAsksWhetherToMerge_data();
    void choosingAgainAsksWhetherToMerge();
    void deleteResultsLocallyOrInTheInstrument_data();
    void deleteResultsLocallyOrInTheInstrument();
    void unitChangeRebuildsTableAndGraph();
    void selectingARowShowsItsGraphAndComment();
    void secondInstrumentIsListedAndUnplugKeepsResults();
    void silentPortIsNotListed();
    void burstOfDeviceChangesLeadsToOneCompare();
    void commandsNeedAnInstrument();
    void measuringInstrumentKeepsTheViewsHidden();
    void silenceDuringAReadShowsWhatIsHeld();
    void failedConnectSaysPortBusy();
    void unplugOfAnotherInstrumentKeepsTheChoice();
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

void TstMainWindow::startupWithoutClockReadsAtOnce()
{
    Connected c(false);
    QVERIFY(c.started);
    QVERIFY(c.waitRead(0, 12, 12));
    QCOMPARE(c.sim.clockWrites(), 0);
    QCOMPARE(requestCodes(c.sim).mid(0, 3), (QList<int>{dcDevInfo, dcDevInfo, dcArchHead}));
}

void TstMainWindow::choosingAgainAsksWhetherToMerge_data()
{
    QTest::addColumn<bool>("merge");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TstMainWindow::choosingAgainAsksWhetherToMerge()
{
    QFETCH(bool, merge);
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    const TQelBase* before = workspace();
    c.prompter.answers = {merge};
    c.form->sDevSelectBoxChange();
    QCOMPARE(c.prompter.questions, QStringList{Msg(msgMergeResults, enUS)});
    QVERIFY(!c.form->resultViewsShown()); // waiting for the new read
    if (merge) {
        QVERIFY(c.waitRead(12, 12, 0));
        QCOMPARE(workspace(), before);
    } else {
        QVERIFY(c.waitRead(0, 12, 12));
        QVERIFY(workspace() != before);
    }
    QCOMPARE(c.form->config().isLoadTypeFile, merge);
    QCOMPARE(c.form->grid()->rowCountAll(), 13);
}

void TstMainWindow::deleteResultsLocallyOrInTheInstrument_data()
{
    QTest::addColumn<bool>("merged");
    QTest::newRow("in the instrument") << false;
    QTest::newRow("locally after a merge") << true;
}

void TstMainWindow::deleteResultsLocallyOrInTheInstrument()
{
    QFETCH(bool, merged);
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    if (merged) {
        c.prompter.answers = {true};
        c.form->sDevSelectBoxChange();
        QVERIFY(c.waitRead(12, 12, 0));
    }
    const uint16_t second = workspace()->archive()[1].ArchRes.Base.AbsIndex;
    QTableView* view = c.form->basicGrid();
    view->selectionModel()->select(
        QItemSelection(view->model()->index(1, 0), view->model()->index(2, 10)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    trigger(*c.form, "ActionRemove");
    QCOMPARE(c.form->grid()->rowCountAll(), 11);
    QCOMPARE(workspace()->archive().size(), 10);
    if (merged) {
        QCOMPARE(c.sim.requestCount(dcResultDelete), 0);
        QCOMPARE(c.form->statusText(0), Msg(msgResultsRemoved, enUS));
        QCOMPARE(c.sim.archive().size(), 12);
    } else {
        QVERIFY(QTest::qWaitFor([&] { return c.sim.archive().size() == 10; }, 5000));
        const QByteArray req = c.sim.requests().last();
        QCOMPARE(uint8_t(req[3]), uint8_t(dcResultDelete));
        QCOMPARE(qelproto::le16(req.constData() + 4), second);
        QCOMPARE(qelproto::le16(req.constData() + 6), uint16_t(2));
        QVERIFY(QTest::qWaitFor(
            [&] { return c.form->statusText(0) == Msg(msgResultsRemoved, enUS); }, 5000));
    }
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
    QVERIFY(QTest::qWaitFor([&] { return c.form->statusText(0) == Msg(msgDevDisconnected, enUS); },
                            5000));
    QCOMPARE(box->count(), 1);
    QCOMPARE(box->currentIndex(), -1);
    QVERIFY(c.form->config().isLoadTypeFile);
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

void TstMainWindow::silentPortIsNotListed()
{
    ConfigDir cfg;
    cfg.write(false);
    TQelSim sim;
    sim.setSilent(true);
    QVERIFY(sim.start());
    TFakePortSource ports;
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    form.show();
    QTest::qWait(50);
    ports.plug(forcedPort(sim.slavePath()));
    QVERIFY(QTest::qWaitFor(
        [&] { return form.statusText(0) == Msg(msgNoIdentity, enUS) + sim.slavePath(); }, 6000));
    QCOMPARE(form.devSelectBox()->count(), 0);
    QVERIFY(!ActiveDevice);
    // The window went on working while it waited.
    QVERIFY(form.silentPorts().contains(sim.slavePath()));
}

void TstMainWindow::burstOfDeviceChangesLeadsToOneCompare()
{
    ConfigDir cfg;
    cfg.write(false);
    CountingPortSource ports;
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    QVERIFY(QTest::qWaitFor([&] { return ports.reads > 0; }, 2000)); // the initial scan
    ports.reads = 0;
    // 150 ms apart: a wait that the messages did not restart would have ended by the third.
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            QTest::qWait(150);
        emit ports.deviceChange();
    }
    QCOMPARE(ports.reads, 0);
    QVERIFY(QTest::qWaitFor([&] { return ports.reads > 0; }, 2000));
    QTest::qWait(300);
    QCOMPARE(ports.reads, 1);
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

void TstMainWindow::measuringInstrumentKeepsTheViewsHidden()
{
    ConfigDir cfg;
    cfg.write(true);
    TQelSim sim;
    sim.setBusy(true);
    QVERIFY(sim.start());
    TFakePortSource ports;
    ports.plug(forcedPort(sim.slavePath()));
    ScriptedPrompter prompter;
    TMainForm form(&ports, &prompter);
    form.show();
    QVERIFY(QTest::qWaitFor([&] { return form.statusText(0) == Msg(msgMeasIsGoing, enUS); }, 5000));
    QCOMPARE(sim.clockWrites(), 1);
    QVERIFY(!form.resultViewsShown());
}

void TstMainWindow::silenceDuringAReadShowsWhatIsHeld()
{
    TQelBase::setDefaultNoAnswerTimeout(300);
    ConfigDir cfg;
    cfg.write(false);
    TQelSim sim;
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
    form.show();
    const bool said =
        QTest::qWaitFor([&] { return form.statusText(0) == Msg(msgNoAnswer, enUS); }, 5000);
    TQelBase::setDefaultNoAnswerTimeout(kNoAnswerMs);
    QVERIFY(said);
    QVERIFY(form.resultViewsShown());
    QCOMPARE(form.grid()->rowCountAll(), 2); // nothing held: the empty table
}

void TstMainWindow::failedConnectSaysPortBusy()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    const QString name = c.form->statusText(1);
    QProcess holder;
    ActiveDevice->Disconnect(); // lets the other program take the port
    holder.start(QStringLiteral(PORT_HOLDER), {c.sim.slavePath()});
    QVERIFY(holder.waitForReadyRead(5000));
    c.prompter.answers = {false};
    c.form->sDevSelectBoxChange();
    QCOMPARE(c.form->statusText(0), Msg(msgPortBusy, enUS));
    QCOMPARE(c.form->statusText(1), name);
    QVERIFY(!c.form->resultViewsShown());
    holder.closeWriteChannel();
    holder.waitForFinished(3000);
}

void TstMainWindow::unplugOfAnotherInstrumentKeepsTheChoice()
{
    Connected c(false);
    QVERIFY(c.waitRead(0, 12, 12));
    TQelSim second;
    second.setSerialNumber(2054);
    QVERIFY(second.start());
    c.ports.plug(forcedPort(second.slavePath()));
    QComboBox* box = c.form->devSelectBox();
    QVERIFY(QTest::qWaitFor([&] { return box->count() == 2; }, 5000));
    const QString status = c.form->statusText(0);
    second.unplug();
    c.ports.unplug(second.slavePath());
    QVERIFY(QTest::qWaitFor([&] { return box->count() == 1; }, 5000));
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(box->currentText(), QStringLiteral("QEL-1.2 № A005"));
    QCOMPARE(c.form->statusText(0), status);
    QVERIFY(!c.form->config().isLoadTypeFile);
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
