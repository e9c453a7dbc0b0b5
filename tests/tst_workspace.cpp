// The workspace without a window: the connection chain, merging, deleting, reads that
// overlap, and the instrument that stops answering or goes away, against the stand-in on
// a pty.
#include "TestSupport.h"
#include "app/Workspace.h"
#include "data/Merge.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

namespace {

QList<int> requestCodes(const TQelSim& sim)
{
    QList<int> codes;
    for (const QByteArray& r : sim.requests())
        codes.append(uint8_t(r[3]));
    return codes;
}

QString readDone(int dup, int unique, int added)
{
    return ArchReadText({dup, unique, added}, enUS);
}

bool newestFirst(const TQelBase& dev)
{
    for (int i = 1; i < dev.archive().size(); ++i)
        if (TQelBase::CompareResults(dev.archive()[i - 1], dev.archive()[i]) >= 0)
            return false;
    return true;
}

// A workspace and one stand-in; questions are answered from `answers` (No when empty).
struct Rig
{
    explicit Rig(bool autoClock = false, int results = 12)
    {
        sim.setArchive(makeArchive(results, 21, 200));
        sim.setLine(TQelSim::linePipe); // the port itself is tested elsewhere
        started = sim.start();
        ws.setLang(enUS);
        ws.setAutoClock(autoClock);
        ws.setAsk([this](TWorkspace::TQuestion, const QString& text) {
            questions.append(text);
            return answers.isEmpty() ? false : answers.takeFirst();
        });
        QObject::connect(&ws, &TWorkspace::showResults, &ws, [this] { shown = true; });
        QObject::connect(&ws, &TWorkspace::hideResults, &ws, [this] { shown = false; });
        QObject::connect(&ws, &TWorkspace::progressChanged, &ws, [this](int done, int total) {
            progress.append({done, total});
        });
    }
    bool connect() { return ws.connectTo(sim.slavePath(), dev12); }
    bool waitStatus(const QString& text)
    {
        return QTest::qWaitFor([&] { return ws.statusText() == text; }, 10000);
    }
    TQelBase& dev() { return *ws.device(); }

    TQelSim sim;
    bool started = false;
    TWorkspace ws;
    QList<bool> answers;
    QStringList questions;
    bool shown = false;
    QList<QPair<int, int>> progress;
};

} // namespace

class TstWorkspace : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ActiveDevice.reset(); }
    void connectionChainReadsTheArchive_data();
    void connectionChainReadsTheArchive();
    void choosingAgainAsksWhetherToMerge_data();
    void choosingAgainAsksWhetherToMerge();
    void deleteAsksOnlyWhenItReachesTheInstrument_data();
    void deleteAsksOnlyWhenItReachesTheInstrument();
    void readDuringAReadIsIgnored();
    void measuringInstrumentKeepsTheViewsHidden();
    void silenceShowsWhatIsHeldNewestFirst();
    void unplugMidReadShowsWhatIsHeldNewestFirst();
    void failedConnectSaysPortBusy();
    void openFileMergesAndCounts();
};

void TstWorkspace::connectionChainReadsTheArchive_data()
{
    QTest::addColumn<bool>("autoClock");
    QTest::addColumn<QList<int>>("codes");
    QTest::newRow("clock, then read") << true << QList<int>{dcDevInfo, dcClockWrite, dcArchHead};
    QTest::newRow("read at once") << false << QList<int>{dcDevInfo, dcArchHead};
}

void TstWorkspace::connectionChainReadsTheArchive()
{
    QFETCH(bool, autoClock);
    QFETCH(QList<int>, codes);
    Rig r(autoClock);
    QVERIFY(r.started);
    QVERIFY(r.connect());
    QVERIFY(!r.shown);
    QVERIFY(r.waitStatus(readDone(0, 12, 12)));
    QCOMPARE(requestCodes(r.sim).mid(0, codes.size()), codes);
    QCOMPARE(r.sim.clockWrites(), autoClock ? 1 : 0);
    QCOMPARE(r.ws.status1Text(), QStringLiteral("QEL-1.2 № A005"));
    QVERIFY(r.shown);
    QVERIFY(newestFirst(r.dev()));
    QVERIFY(!r.ws.isReading());
    QVERIFY(!r.ws.readAfterClockWrite());
    // The progress counts results, up to all of those announced.
    QVERIFY(!r.progress.isEmpty());
    QCOMPARE(r.progress.last(), (QPair<int, int>{12, 12}));
    for (int i = 1; i < r.progress.size(); ++i)
        QVERIFY(r.progress[i].first >= r.progress[i - 1].first);
}

void TstWorkspace::choosingAgainAsksWhetherToMerge_data()
{
    QTest::addColumn<bool>("merge");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TstWorkspace::choosingAgainAsksWhetherToMerge()
{
    QFETCH(bool, merge);
    Rig r;
    QVERIFY(r.connect());
    QVERIFY(r.waitStatus(readDone(0, 12, 12)));
    QVERIFY(r.questions.isEmpty()); // nothing to merge into the first time
    const TQelBase* before = r.ws.device();
    r.answers = {merge};
    QSignalSpy shown(&r.ws, &TWorkspace::showResults);
    QVERIFY(r.connect());
    QCOMPARE(r.questions, QStringList{Msg(msgMergeResults, enUS)});
    QVERIFY(!r.shown);
    QVERIFY(shown.wait(10000));
    QCOMPARE(r.ws.statusText(), merge ? readDone(12, 12, 0) : readDone(0, 12, 12));
    QCOMPARE(r.ws.device() == before, merge);
    QCOMPARE(r.ws.isLoadTypeFile(), merge);
    QCOMPARE(r.dev().archive().size(), 12);
}

void TstWorkspace::deleteAsksOnlyWhenItReachesTheInstrument_data()
{
    QTest::addColumn<bool>("merged");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("left"); // results in the workspace afterwards
    QTest::newRow("instrument, yes") << false << true << 9;
    QTest::newRow("instrument, no") << false << false << 12;
    QTest::newRow("local after a merge") << true << false << 9;
}

void TstWorkspace::deleteAsksOnlyWhenItReachesTheInstrument()
{
    QFETCH(bool, merged);
    QFETCH(bool, answer);
    QFETCH(int, left);
    Rig r;
    QVERIFY(r.connect());
    QVERIFY(r.waitStatus(readDone(0, 12, 12)));
    if (merged) {
        r.answers = {true};
        QVERIFY(r.connect());
        QVERIFY(r.waitStatus(readDone(12, 12, 0)));
    }
    r.questions.clear();
    r.answers = {answer};
    const uint16_t second = r.dev().archive()[1].ArchRes.Base.AbsIndex;
    QCOMPARE(r.ws.removeResults(1, 3), left != 12);
    QCOMPARE(r.dev().archive().size(), left);
    if (merged) {
        QVERIFY(r.questions.isEmpty());
        QCOMPARE(r.ws.statusText(), Msg(msgResultsRemoved, enUS));
        QCOMPARE(r.sim.requestCount(dcResultDelete), 0);
        return;
    }
    QCOMPARE(r.questions, QStringList{QStringLiteral(
                              "Delete 3 results from the instrument? This cannot be undone.")});
    if (!answer) {
        QCOMPARE(r.sim.requestCount(dcResultDelete), 0);
        return;
    }
    QVERIFY(r.waitStatus(Msg(msgResultsRemoved, enUS)));
    const QByteArray req = r.sim.requests().last();
    QCOMPARE(uint8_t(req[3]), uint8_t(dcResultDelete));
    QCOMPARE(qelproto::le16(req.constData() + 4), second);
    QCOMPARE(qelproto::le16(req.constData() + 6), uint16_t(3));
}

void TstWorkspace::readDuringAReadIsIgnored()
{
    Rig r(false, 60);
    r.sim.setReplyDelayMs(5); // slow enough that the presses fall inside the download
    QVERIFY(r.connect());
    QVERIFY(QTest::qWaitFor([&] { return !r.progress.isEmpty(); }, 10000));
    QVERIFY(r.ws.isReading());
    for (int i = 0; i < 2; ++i) {
        r.ws.readArchive();
        QCOMPARE(r.ws.statusText(), Msg(msgArchReading, enUS));
    }
    QVERIFY(r.waitStatus(readDone(0, 60, 60)));
    QCOMPARE(r.sim.requestCount(dcArchHead), 1);
    QCOMPARE(r.dev().archive().size(), 60);

    // Once it has ended, a read starts again.
    r.ws.readArchive();
    QVERIFY(r.waitStatus(readDone(60, 60, 0)));
    QCOMPARE(r.sim.requestCount(dcArchHead), 2);
}

void TstWorkspace::measuringInstrumentKeepsTheViewsHidden()
{
    Rig r(true);
    r.sim.setBusy(true);
    QVERIFY(r.connect());
    QVERIFY(r.waitStatus(Msg(msgMeasIsGoing, enUS)));
    QCOMPARE(r.sim.clockWrites(), 1);
    QVERIFY(!r.shown);
    QVERIFY(!r.ws.isReading());
    r.sim.setBusy(false);
    r.ws.readArchive();
    QVERIFY(r.waitStatus(readDone(0, 12, 12)));
}

void TstWorkspace::silenceShowsWhatIsHeldNewestFirst()
{
    Rig r(false, 12);
    r.ws.setNoAnswerTimeout(300);
    // The instrument stops answering once the records have come, before any series.
    QObject::connect(&r.sim, &TQelSim::requestReceived, &r.sim, [&r](int code) {
        if (code == dcArchSamples)
            r.sim.setSilent(true);
    });
    QSignalSpy lost(&r.ws, &TWorkspace::instrumentLost);
    QVERIFY(r.connect());
    QVERIFY(r.waitStatus(Msg(msgNoAnswer, enUS)));
    QVERIFY(r.shown);
    QCOMPARE(r.ws.status1Text(), Msg(msgNotConnected, enUS));
    QCOMPARE(r.dev().archive().size(), 12);
    QVERIFY(newestFirst(r.dev()));
    QVERIFY(!r.ws.isReading());
    QCOMPARE(lost.count(), 1);
    QVERIFY(r.ws.connectedPort().isEmpty());
}

void TstWorkspace::unplugMidReadShowsWhatIsHeldNewestFirst()
{
    Rig r(false, 12);
    QObject::connect(&r.sim, &TQelSim::requestReceived, &r.sim, [&r](int code) {
        if (code == dcArchSamples)
            r.sim.unplug();
    });
    QSignalSpy lost(&r.ws, &TWorkspace::instrumentLost);
    QVERIFY(r.connect());
    QVERIFY(lost.wait(10000));
    QCOMPARE(r.ws.statusText(), Msg(msgDevDisconnected, enUS));
    QCOMPARE(r.ws.status1Text(), Msg(msgNotConnected, enUS));
    QVERIFY(r.shown);
    QVERIFY(r.ws.isLoadTypeFile());
    QCOMPARE(r.dev().archive().size(), 12);
    QVERIFY(newestFirst(r.dev()));
    // The list reporting the port gone afterwards changes nothing more.
    r.ws.instrumentGone();
    QCOMPARE(lost.count(), 1);
}

void TstWorkspace::failedConnectSaysPortBusy()
{
    Rig r;
    std::unique_ptr<ITransport> holder = MakeTransport(r.sim.slavePath());
    QVERIFY(holder->open(r.sim.slavePath()));
    QVERIFY(!r.connect());
    QCOMPARE(r.ws.statusText(), Msg(msgPortBusy, enUS));
    QCOMPARE(r.ws.status1Text(), QString()); // not changed
    QVERIFY(!r.shown);
    QVERIFY(r.ws.connectedPort().isEmpty());
}

void TstWorkspace::openFileMergesAndCounts()
{
    const QList<TCalcQEL> results = makeArchive(5, 3, 50);
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(testsupport::archiveFileBytes(results));
    file.flush();
    TWorkspace ws;
    ws.setLang(enUS);
    ws.setAsk(
        [](TWorkspace::TQuestion q, const QString&) { return q == TWorkspace::qMergeResults; });
    QVERIFY(ws.openFile(file.fileName()));
    QVERIFY(ws.isLoadTypeFile());
    QVERIFY(ws.openFile(file.fileName()));
    QCOMPARE(ws.statusText(), QStringLiteral("File opened: 5 duplicate, 5 unique, 0 new entries."));
    QCOMPARE(ws.device()->archive().size(), 5);
    QVERIFY(newestFirst(*ws.device()));
    QVERIFY(!ws.openFile(QStringLiteral("/nonexistent/x.qel1x")));
}

QTEST_GUILESS_MAIN(TstWorkspace)
#include "tst_workspace.moc"
