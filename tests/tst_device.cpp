// The device object over a real serial port, against the instrument stand-in on a pty.
#include "TestSupport.h"
#include "device/QelBase.h"
#include "sim/QelSim.h"
#include "sim/SimArchive.h"

#include <QDateTime>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using testsupport::EventRecorder;
using testsupport::identify;

namespace {

// What names a result to the instrument and to the user, one text per result, sorted so that
// two holdings compare as sets and a difference reads plainly.
QStringList resultKeys(const QList<TCalcQEL>& results)
{
    QStringList keys;
    for (const TCalcQEL& r : results) {
        const TArchBase& b = r.ArchRes.Base;
        keys.append(QStringLiteral("abs %1 num %2 %3-%4-%5 %6:%7")
                        .arg(b.AbsIndex)
                        .arg(b.Num)
                        .arg(2000 + b.DateTime.Year)
                        .arg(b.DateTime.Month)
                        .arg(b.DateTime.Day)
                        .arg(b.DateTime.Hour)
                        .arg(b.DateTime.Minute, 2, 10, QChar(u'0')));
    }
    keys.sort();
    return keys;
}

// Deletions made one after another, each (first table row - 1, number of rows).
using Deletions = QList<QPair<int, int>>;

} // namespace

class TstDevice : public QObject
{
    Q_OBJECT
private slots:
    void displayNames_data();
    void displayNames();
    void connectIdentifiesInstrumentOverThePort_data();
    void connectIdentifiesInstrumentOverThePort();
    void portNameIsKnownOnlyWhileOpen();
    void connectToSamePortReopensAndKeepsModel();
    void bytesLeftFromBeforeTheOpenAreDropped();
    void connectToPortHeldByAnotherProgramFails();
    void connectToMissingPortFails();
    void clockIsSetFromThisComputer();
    void cataloguesAreReadIntoTheirBlocks();
    void requestOnClosedPortReportsDisconnect();
    void screenRequestIsSkippedWhileClosed();
    void unpluggedInstrumentClosesThePort();
    void silenceWhileAnAnswerIsDueIsReported_data();
    void silenceWhileAnAnswerIsDueIsReported();
    void slowButSteadyInstrumentIsNotCutOff();
    void deletedTableRowsLeaveTheOthersInBoth_data();
    void deletedTableRowsLeaveTheOthersInBoth();
};

void TstDevice::displayNames_data()
{
    QTest::addColumn<int>("devType");
    QTest::addColumn<int>("serial");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("name");
    QTest::newRow("A005 en") << 1 << 2053 << int(enUS) << QStringLiteral("QEL-1.2 № A005");
    QTest::newRow("A005 ru") << 1 << 2053 << int(ruRU) << QStringLiteral("КЕЛ-1.2 № A005");
    QTest::newRow("four digits not cut")
        << 2 << 1234 << int(enUS) << QStringLiteral("QEL-1.3 №  1234");
    QTest::newRow("letter Y") << 1 << 2048 * 23 + 7 << int(enUS)
                              << QStringLiteral("QEL-1.2 № Y007");
    QTest::newRow("model 3 ru") << 2 << 2048 * 10 + 2047 << int(ruRU)
                                << QStringLiteral("КЕЛ-1.3 № K2047");
    QTest::newRow("no model") << 0 << 2053 << int(enUS) << QString();
    QTest::newRow("letter beyond the table")
        << 1 << 49152 << int(enUS) << QStringLiteral("QEL-1.2 № ?000");
    QTest::newRow("unknown model") << 7 << 5 << int(enUS) << QStringLiteral("QEL-1.? №  005");
}

void TstDevice::displayNames()
{
    QFETCH(int, devType);
    QFETCH(int, serial);
    QFETCH(int, lang);
    QFETCH(QString, name);
    TQelInfo info{};
    info.DevType = uint8_t(devType);
    info.SerialNumber = uint16_t(serial);
    QCOMPARE(DeviceDisplayName(info, TLang(lang)), name);
}

void TstDevice::connectIdentifiesInstrumentOverThePort_data()
{
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("whole replies") << false << 0;
    QTest::newRow("replies in pieces") << true << 0;
    QTest::newRow("slow instrument") << false << 300;
}

void TstDevice::connectIdentifiesInstrumentOverThePort()
{
    QFETCH(bool, split);
    QFETCH(int, delayMs);
    TQelSim sim;
    sim.setSerialNumber(47111);
    sim.setDevType(2);
    sim.setSplit(split, 7);
    sim.setReplyDelayMs(delayMs);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));

    TQelBase dev;
    dev.SetLang(enUS);
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    QCOMPARE(dev.GetDevType(), uint8_t(0)); // until the identity arrives
    QVERIFY(rec.waitFor(otDevConnect));
    QCOMPARE(rec.ops, QList<TOperationType>{otDevConnect});
    QCOMPARE(dev.GetDeviceName(), QStringLiteral("QEL-1.3 № Y007"));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&dev.devInfo()), sizeof(TQelInfo)),
             QByteArray(reinterpret_cast<const char*>(&sim.info()), sizeof(TQelInfo)));
    QCOMPARE(sim.requestCount(dcDevInfo), 1);
}

void TstDevice::portNameIsKnownOnlyWhileOpen()
{
    TQelSim sim;
    QVERIFY(sim.start());
    TQelBase dev;
    QCOMPARE(dev.GetPortName(), QStringLiteral("COM?"));
    QCOMPARE(dev.GetDeviceName(), QString());
    QVERIFY(dev.Connect(sim.slavePath()));
    QCOMPARE(dev.GetPortName(), sim.slavePath());
    EventRecorder rec(dev);
    QVERIFY(rec.waitFor(otDevConnect));
    dev.Disconnect();
    QCOMPARE(dev.GetPortName(), QStringLiteral("COM?"));
    QCOMPARE(dev.GetDevType(), uint8_t(1)); // the identity stays
}

void TstDevice::connectToSamePortReopensAndKeepsModel()
{
    TQelSim sim;
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    rec.ops.clear();

    QVERIFY(dev.Connect(sim.slavePath()));
    QCOMPARE(dev.GetDevType(), uint8_t(1)); // kept: no trial open this time
    QVERIFY(rec.waitFor(otDevConnect));
    QCOMPARE(sim.requestCount(dcDevInfo), 2);
    QCOMPARE(dev.GetPortName(), sim.slavePath());
}

void TstDevice::bytesLeftFromBeforeTheOpenAreDropped()
{
    TQelSim sim;
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    dev.Disconnect();
    // A late answer arrives while the port is closed; it must not pass for a reply later.
    sim.queueRaw(qelproto::buildFrame(dcClockWrite, {}));
    QTest::qWait(50);
    rec.ops.clear();
    QVERIFY(identify(dev, rec, sim.slavePath()));
    QTest::qWait(50);
    QCOMPARE(rec.ops, QList<TOperationType>{otDevConnect});
}

void TstDevice::connectToPortHeldByAnotherProgramFails()
{
    TQelSim first, held;
    QVERIFY(first.start());
    QVERIFY(held.start());
    QProcess holder;
    holder.start(QStringLiteral(PORT_HOLDER), {held.slavePath()});
    QVERIFY(holder.waitForStarted());
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, first.slavePath()));
    QVERIFY(!dev.Connect(held.slavePath()));
    QCOMPARE(dev.GetDevType(), uint8_t(0));
    QCOMPARE(held.requestCount(dcDevInfo), 0);

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    // Released: now it opens.
    QVERIFY(identify(dev, rec, held.slavePath()));
}

void TstDevice::connectToMissingPortFails()
{
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(!dev.Connect(QStringLiteral("/dev/no-such-port-qel")));
    QVERIFY(!dev.Connect(QString()));
    QCOMPARE(dev.GetPortName(), QStringLiteral("COM?"));
}

void TstDevice::clockIsSetFromThisComputer()
{
    TQelSim sim;
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    dev.SynchronyzeClock();
    QVERIFY(rec.waitFor(otClockWrite));
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QCOMPARE(sim.clockWrites(), 1);
    QVERIFY2(sim.lastClock() >= before && sim.lastClock() <= after,
             qPrintable(sim.lastClock().toString(Qt::ISODate)));
}

void TstDevice::cataloguesAreReadIntoTheirBlocks()
{
    TQelSim sim;
    QByteArray mat(kMatCfgSize, '\0'), obj(kObjCfgSize, '\0');
    for (int i = 0; i < mat.size(); ++i)
        mat[i] = char(i * 13 + 5);
    for (int i = 0; i < obj.size(); ++i)
        obj[i] = char(i * 3 + 1);
    sim.setMaterials(mat);
    sim.setObjects(obj);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadMaterials();
    dev.ReadObjects();
    QVERIFY(rec.waitFor(otMatRead));
    QVERIFY(rec.waitFor(otObjRead));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(dev.matCfg().data()), kMatCfgSize), mat);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(dev.objCfg().data()), kObjCfgSize), obj);
}

void TstDevice::requestOnClosedPortReportsDisconnect()
{
    TQelBase dev;
    EventRecorder rec(dev);
    dev.SynchronyzeClock();
    dev.ReadMaterials();
    QCOMPARE(rec.ops, (QList<TOperationType>{otDevDisconnected, otDevDisconnected}));
}

void TstDevice::screenRequestIsSkippedWhileClosed()
{
    TQelBase dev;
    EventRecorder rec(dev);
    QByteArray part(12, '\0');
    part[0] = char(0x80);
    part[1] = 10;
    part[3] = char(dcScreenShot);
    part[6] = 1;
    dev.ComPortRxBuf(part, 0);
    QCOMPARE(dev.screenEntries(), 1);
    dev.GetScreenShot();
    QCOMPARE(dev.screenEntries(), 0);
    QVERIFY(rec.ops.isEmpty());
}

void TstDevice::unpluggedInstrumentClosesThePort()
{
    TQelSim sim;
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    sim.unplug();
    QVERIFY(rec.waitFor(otDevDisconnected));
    QCOMPARE(dev.GetPortName(), QStringLiteral("COM?"));
}

void TstDevice::silenceWhileAnAnswerIsDueIsReported_data()
{
    QTest::addColumn<int>("request"); // 0 archive, 1 materials, 2 objects, 3 clock
    QTest::newRow("archive read") << 0;
    QTest::newRow("materials read") << 1;
    QTest::newRow("objects read") << 2;
    QTest::newRow("clock write") << 3;
}

void TstDevice::silenceWhileAnAnswerIsDueIsReported()
{
    QFETCH(int, request);
    TQelSim sim;
    QVERIFY(sim.start());
    TQelBase dev;
    dev.setNoAnswerTimeout(300);
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    sim.setSilent(true);
    switch (request) {
    case 0:
        dev.ReadArchive();
        break;
    case 1:
        dev.ReadMaterials();
        break;
    case 2:
        dev.ReadObjects();
        break;
    default:
        dev.SynchronyzeClock();
        break;
    }
    QVERIFY(rec.waitFor(otNoAnswer, 3000));
    QCOMPARE(rec.ops.count(otNoAnswer), 1);
    // Answered requests leave nothing due: no report follows them.
    sim.setSilent(false);
    rec.ops.clear();
    dev.SynchronyzeClock();
    QVERIFY(rec.waitFor(otClockWrite));
    QTest::qWait(600);
    QVERIFY(!rec.ops.contains(otNoAnswer));
}

void TstDevice::slowButSteadyInstrumentIsNotCutOff()
{
    TQelSim sim;
    sim.setArchive(makeArchive(6, 4, 50));
    sim.setRecordsPerReply(1);
    sim.setReplyDelayMs(150);
    QVERIFY(sim.start());
    TQelBase dev;
    dev.setNoAnswerTimeout(400);
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    dev.ReadArchive(); // 12 replies, 150 ms each: far longer than the bound in all
    QVERIFY(rec.waitFor(otArchReadComplete, 10000));
    QVERIFY(!rec.ops.contains(otNoAnswer));
    QCOMPARE(dev.archive().size(), 6);
}

void TstDevice::deletedTableRowsLeaveTheOthersInBoth_data()
{
    QTest::addColumn<Deletions>("deletions");
    QTest::newRow("rows 2-4") << Deletions{{1, 3}};
    QTest::newRow("newest row") << Deletions{{0, 1}};
    QTest::newRow("last rows") << Deletions{{9, 3}};
    // The second deletion names results whose numbers are no longer contiguous.
    QTest::newRow("again over the gap") << Deletions{{1, 3}, {0, 3}};
}

void TstDevice::deletedTableRowsLeaveTheOthersInBoth()
{
    QFETCH(Deletions, deletions);
    TQelSim sim;
    sim.setArchive(makeArchive(12, 5, 20));
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(identify(dev, rec, sim.slavePath()));
    dev.ReadArchive();
    QVERIFY(rec.waitFor(otArchReadComplete));
    dev.RemoveDuplicates(); // the table's order: newest first
    QCOMPARE(resultKeys(dev.archive()), resultKeys(sim.archive()));

    QList<TCalcQEL> table = dev.archive();
    for (const auto& [start, count] : deletions) {
        table.remove(start, count);
        rec.ops.clear();
        dev.RemoveResults(start, count, true);
        QVERIFY(rec.waitFor(otResultDelete));
        QCOMPARE(resultKeys(sim.archive()), resultKeys(table));
        QCOMPARE(resultKeys(dev.archive()), resultKeys(table));
    }
}

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
