// The instrument list without a window: the scan, plugging and unplugging one port per
// device change, silent ports, the debounce, against stand-ins on ptys.
#include "FakePortSource.h"
#include "app/DeviceList.h"
#include "app/Workspace.h"
#include "data/Merge.h"
#include "i18n/Messages.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

TPortInfo forcedPort(const QString& path)
{
    TPortInfo p;
    p.Port = path;
    p.Forced = true;
    return p;
}

// Counts how often the list reads the port list: once per comparison without a change;
// and when the first read came, after `since` was started.
class CountingPortSource : public TFakePortSource
{
public:
    QList<TPortInfo> ports() const override
    {
        if (++reads == 1 && since.isValid())
            firstReadMs = since.elapsed();
        return TFakePortSource::ports();
    }
    mutable int reads = 0;
    mutable qint64 firstReadMs = -1;
    QElapsedTimer since;
};

QString readDone(int dup, int unique, int added)
{
    return ArchReadText({dup, unique, added}, enUS);
}

struct Rig
{
    Rig()
    {
        ws.setLang(enUS);
        ws.setAutoClock(false);
        QObject::connect(&list, &TDeviceList::choiceWanted, &list, [this] { ++choiceWanted; });
    }
    // Plugs the stand-in's port and waits until the list has taken the change.
    bool plug(TQelSim& sim)
    {
        const qsizetype before = list.entries().size();
        ports.plug(forcedPort(sim.slavePath()));
        return QTest::qWaitFor([&] { return list.entries().size() == before + 1; }, 10000);
    }
    bool unplug(TQelSim& sim)
    {
        const QString path = sim.slavePath();
        const qsizetype before = list.entries().size();
        sim.unplug();
        ports.unplug(path);
        return QTest::qWaitFor([&] { return list.entries().size() == before - 1; }, 10000);
    }
    QStringList names() const
    {
        QStringList n;
        for (const TQelPortAssoc& a : list.entries())
            n.append(a.Name);
        return n;
    }
    TWorkspace ws;
    TFakePortSource ports;
    TDeviceList list{&ports, ws};
    int choiceWanted = 0;
};

} // namespace

class TstDeviceList : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ActiveDevice.reset(); }
    void scanListsEveryInstrumentAndChoosesTheFirst();
    void pluggingChoosesTheFirstAndListsTheSecond();
    void unplugInUseKeepsResultsAndListsItBackUnchosen();
    void unplugOfAnotherInstrumentKeepsTheChoice();
    void silentPortIsNotListed();
    void burstOfDeviceChangesLeadsToOneCompare();
};

void TstDeviceList::scanListsEveryInstrumentAndChoosesTheFirst()
{
    TQelSim a, b;
    a.setLine(TQelSim::linePipe);
    b.setLine(TQelSim::linePipe);
    b.setSerialNumber(2054);
    QVERIFY(a.start() && b.start());
    Rig r;
    r.ports.plug(forcedPort(a.slavePath()));
    r.ports.plug(forcedPort(b.slavePath()));
    r.list.ScanDevices();
    QCOMPARE(r.names(), (QStringList{"QEL-1.2 № A005", "QEL-1.2 № A006"}));
    QCOMPARE(r.list.currentIndex(), 0);
    QCOMPARE(r.ws.connectedPort(), a.slavePath());
    QCOMPARE(r.choiceWanted, 1);
    QVERIFY(QTest::qWaitFor([&] { return r.ws.statusText() == readDone(0, 20, 20); }, 10000));
}

void TstDeviceList::pluggingChoosesTheFirstAndListsTheSecond()
{
    Rig r;
    r.list.ScanDevices();
    QVERIFY(r.list.entries().isEmpty());
    TQelSim first, second;
    first.setLine(TQelSim::linePipe);
    second.setLine(TQelSim::linePipe);
    second.setSerialNumber(2054);
    QVERIFY(first.start() && second.start());
    QVERIFY(r.plug(first));
    QCOMPARE(r.list.currentIndex(), 0);
    QCOMPARE(r.ws.connectedPort(), first.slavePath());
    QCOMPARE(r.choiceWanted, 0);
    QVERIFY(r.plug(second));
    QCOMPARE(r.names(), (QStringList{"QEL-1.2 № A005", "QEL-1.2 № A006"}));
    QCOMPARE(r.list.currentIndex(), 0);
    QCOMPARE(r.ws.connectedPort(), first.slavePath());
    QCOMPARE(r.choiceWanted, 1);
}

void TstDeviceList::unplugInUseKeepsResultsAndListsItBackUnchosen()
{
    TQelSim sim, other;
    sim.setLine(TQelSim::linePipe);
    other.setLine(TQelSim::linePipe);
    other.setSerialNumber(2054);
    QVERIFY(sim.start() && other.start());
    Rig r;
    r.ports.plug(forcedPort(sim.slavePath()));
    r.ports.plug(forcedPort(other.slavePath()));
    r.list.ScanDevices();
    QVERIFY(QTest::qWaitFor([&] { return r.ws.statusText() == readDone(0, 20, 20); }, 10000));
    const TQelBase* held = r.ws.device();
    r.choiceWanted = 0;

    QVERIFY(r.unplug(sim));
    QCOMPARE(r.ws.statusText(), Msg(msgDevDisconnected, enUS));
    QCOMPARE(r.ws.status1Text(), Msg(msgNotConnected, enUS));
    QCOMPARE(r.list.currentIndex(), -1);
    QVERIFY(!r.list.hasChoice());
    QCOMPARE(r.choiceWanted, 1);
    QVERIFY(r.ws.isLoadTypeFile());
    QCOMPARE(r.ws.device(), held);
    QCOMPARE(r.ws.device()->archive().size(), 20);

    // It comes back: listed, not chosen, not connected.
    QVERIFY(sim.start());
    QVERIFY(r.plug(sim));
    QCOMPARE(r.list.currentIndex(), -1);
    QCOMPARE(r.ws.device(), held);
    QVERIFY(r.ws.connectedPort().isEmpty());
}

void TstDeviceList::unplugOfAnotherInstrumentKeepsTheChoice()
{
    TQelSim first, second, third;
    first.setLine(TQelSim::linePipe);
    second.setLine(TQelSim::linePipe);
    third.setLine(TQelSim::linePipe);
    second.setSerialNumber(2054);
    third.setSerialNumber(2055);
    QVERIFY(first.start() && second.start() && third.start());
    Rig r;
    r.list.ScanDevices();
    QVERIFY(r.plug(first));
    QVERIFY(r.plug(second));
    QVERIFY(r.plug(third));
    r.list.sDevSelectBoxChange(1);
    QCOMPARE(r.ws.connectedPort(), second.slavePath());
    // An entry before the chosen one goes: the same instrument stays chosen.
    QVERIFY(r.unplug(first));
    QCOMPARE(r.list.currentIndex(), 0);
    QCOMPARE(r.names().value(0), QStringLiteral("QEL-1.2 № A006"));
    // One after it goes: nothing moves.
    QVERIFY(r.unplug(third));
    QCOMPARE(r.list.currentIndex(), 0);
    QCOMPARE(r.ws.connectedPort(), second.slavePath());
    QVERIFY(!r.ws.isLoadTypeFile());
    QVERIFY(r.ws.statusText() != Msg(msgDevDisconnected, enUS));
}

void TstDeviceList::silentPortIsNotListed()
{
    TQelSim sim;
    sim.setLine(TQelSim::linePipe);
    sim.setSilent(true);
    QVERIFY(sim.start());
    Rig r;
    r.list.ScanDevices();
    QSignalSpy status(&r.list, &TDeviceList::statusChanged);
    r.ports.plug(forcedPort(sim.slavePath()));
    // The identification waits for its own bound; the test waits for its outcome.
    QVERIFY(status.wait(30000));
    QCOMPARE(status.first().first().toString(), Msg(msgNoIdentity, enUS) + sim.slavePath());
    QVERIFY(r.list.entries().isEmpty());
    QVERIFY(r.list.silentPorts().contains(sim.slavePath()));
    QVERIFY(!ActiveDevice);

    // Its going is no change of the list, and a new identification of it is not tried.
    const QString path = sim.slavePath();
    sim.unplug();
    r.ports.unplug(path);
    QTRY_VERIFY_WITH_TIMEOUT(r.list.silentPorts().isEmpty(), 10000);
    QCOMPARE(status.count(), 1);
}

void TstDeviceList::burstOfDeviceChangesLeadsToOneCompare()
{
    TWorkspace ws;
    CountingPortSource ports;
    TDeviceList list(&ports, ws);
    list.ScanDevices();
    ports.reads = 0;
    // No events run between the messages, so no tick can come between them. 100 ms
    // apart, a wait that the messages did not restart is over by the third: its tick
    // would come at once, not a whole interval after the last message.
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            QThread::msleep(100);
        emit ports.deviceChange();
    }
    ports.since.start();
    QCOMPARE(ports.reads, 0);
    QTRY_COMPARE_WITH_TIMEOUT(ports.reads, 1, 10000);
    // A timer never runs out early (a coarse one by 5 % at most); load only delays it.
    QVERIFY2(ports.firstReadMs >= 180, qPrintable(QString::number(ports.firstReadMs)));
    // Nothing changed, so nothing more is due.
    QVERIFY(!list.devChangeTimer().isActive());
    QCOMPARE(ports.reads, 1);
}

QTEST_GUILESS_MAIN(TstDeviceList)
#include "tst_devicelist.moc"
