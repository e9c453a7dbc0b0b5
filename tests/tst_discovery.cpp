// Finding instruments: the port filter, the change compare, identification over a pty and
// the port sources that report plugging.
#include "FakePortSource.h"
#include "PtyLink.h"
#include "app/PortSource.h"
#include "device/Discovery.h"
#include "sim/QelSim.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

namespace {

TPortInfo usbPort(const QString& name, quint16 vid, quint16 pid)
{
    TPortInfo p;
    p.Port = name;
    p.HasIds = true;
    p.Vid = vid;
    p.Pid = pid;
    return p;
}

TPortInfo forcedPort(const QString& name)
{
    TPortInfo p;
    p.Port = name;
    p.Forced = true;
    return p;
}

QStringList portNames(const QList<TPortInfo>& ports)
{
    QStringList names;
    for (const TPortInfo& p : ports)
        names.append(p.Port);
    return names;
}

} // namespace

class TstDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void changeIsFoundAtFirstDifferenceOfSortedLists_data();
    void changeIsFoundAtFirstDifferenceOfSortedLists();
    void onlyInstrumentPortsAreEnumeratedInOrder();
    void identifyNamesTheInstrumentInTheLanguage_data();
    void identifyNamesTheInstrumentInTheLanguage();
    void silentInstrumentGivesPortWithoutNameWithinTheBound();
    void identifyOfMissingPortGivesUnknownPort();
    void nestedIdentificationsEachGetTheirOwnInstrument();
    void fakeSourceSignalsPlugAndUnplug();
    void extraPortIsForcedWhileItExists();
};

void TstDiscovery::changeIsFoundAtFirstDifferenceOfSortedLists_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("port");

    // Sorted as text, COM12 comes before COM3: the difference is at position 0.
    QTest::newRow("COM12 gone") << QStringList{"COM3"} << QStringList{"COM3", "COM12"} << -1
                                << "COM12";
    QTest::newRow("COM3 gone") << QStringList{"COM12"} << QStringList{"COM12", "COM3"} << -1
                               << "COM3";
    QTest::newRow("same count, other names")
        << QStringList{"COM4", "COM5"} << QStringList{"COM3", "COM5"} << 0 << "";
    QTest::newRow("both empty") << QStringList{} << QStringList{} << 0 << "";
    QTest::newRow("one came in the middle")
        << QStringList{"COM7", "COM5", "COM6"} << QStringList{"COM5", "COM7"} << +1 << "COM6";
    QTest::newRow("one came at the end")
        << QStringList{"COM5", "COM9"} << QStringList{"COM5"} << +1 << "COM9";
    QTest::newRow("first came") << QStringList{"/dev/ttyACM0"} << QStringList{} << +1
                                << "/dev/ttyACM0";
    QTest::newRow("all gone") << QStringList{} << QStringList{"COM8", "COM2"} << -1 << "COM2";
    // Sorting ignores case, the compare does not.
    QTest::newRow("case-insensitive sort")
        << QStringList{"COM2", "com1"} << QStringList{"COM9"} << +1 << "com1";
    QTest::newRow("exact compare")
        << QStringList{"com5", "COM6"} << QStringList{"COM5"} << +1 << "com5";
}

void TstDiscovery::changeIsFoundAtFirstDifferenceOfSortedLists()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, listed);
    QFETCH(int, change);
    QFETCH(QString, port);

    const TDeviceChange c = FindDeviceChange(present, listed);
    QCOMPARE(c.Change, change);
    QCOMPARE(c.Port, port);
}

void TstDiscovery::onlyInstrumentPortsAreEnumeratedInOrder()
{
    TPortInfo noIds;
    noIds.Port = QStringLiteral("COM1");
    const QList<TPortInfo> ports{
        usbPort(QStringLiteral("COM9"), kQelVendorId, kQelProductId),
        usbPort(QStringLiteral("COM2"), kQelVendorId, 0x5740), // other product of the maker
        noIds,
        usbPort(QStringLiteral("COM3"), 0x1a86, kQelProductId),
        forcedPort(QStringLiteral("/dev/pts/4")),
        usbPort(QStringLiteral("COM5"), kQelVendorId, kQelProductId),
    };
    QCOMPARE(EnumDevicePorts(ports), (QStringList{"COM9", "/dev/pts/4", "COM5"}));
    QCOMPARE(EnumDevicePorts({}), QStringList{});
}

void TstDiscovery::identifyNamesTheInstrumentInTheLanguage_data()
{
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("name");
    QTest::newRow("enUS") << int(enUS) << QStringLiteral("QEL-1.2 № A005");
    QTest::newRow("ruRU") << int(ruRU) << QStringLiteral("КЕЛ-1.2 № A005");
}

void TstDiscovery::identifyNamesTheInstrumentInTheLanguage()
{
    QFETCH(int, lang);
    QFETCH(QString, name);
    TQelSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));

    const TQelPortAssoc a = IdentifyPort(sim.slavePath(), TLang(lang));
    QCOMPARE(a.Port, sim.slavePath());
    QCOMPARE(a.Name, name);
    QCOMPARE(a.DevType, uint8_t(1));
    // The port was released: another program can open it now.
    QSerialPort again(sim.slavePath());
    QVERIFY(again.open(QIODevice::ReadWrite));
}

void TstDiscovery::silentInstrumentGivesPortWithoutNameWithinTheBound()
{
    TQelSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    sim.setSilent(true);

    QElapsedTimer t;
    t.start();
    const TQelPortAssoc a = IdentifyPort(sim.slavePath(), enUS, 300);
    const qint64 took = t.elapsed();
    QCOMPARE(a.Port, sim.slavePath());
    QCOMPARE(a.Name, QString());
    QCOMPARE(a.DevType, uint8_t(0));
    QVERIFY2(took >= 250 && took < 2500, qPrintable(QString::number(took)));
    QCOMPARE(sim.requestCount(1), 1); // it was asked, once
}

void TstDiscovery::identifyOfMissingPortGivesUnknownPort()
{
    const TQelPortAssoc a = IdentifyPort(QStringLiteral("/dev/qel-no-such-port"), enUS, 300);
    QCOMPARE(a.Port, QStringLiteral("COM?"));
    QCOMPARE(a.Name, QString());
    QCOMPARE(a.DevType, uint8_t(0));
}

void TstDiscovery::nestedIdentificationsEachGetTheirOwnInstrument()
{
    // A second identification starts inside the wait of the first, as a device-change tick
    // can during a scan; the outer one must still end with its own instrument.
    TQelSim outerSim, innerSim;
    QVERIFY(outerSim.start());
    QVERIFY(innerSim.start());
    innerSim.setSerialNumber(2054);
    outerSim.setReplyDelayMs(150); // the inner call starts while the outer one waits

    TQelPortAssoc inner;
    QTimer::singleShot(20, this, [&] { inner = IdentifyPort(innerSim.slavePath(), enUS); });
    const TQelPortAssoc outer = IdentifyPort(outerSim.slavePath(), enUS);

    QCOMPARE(inner.Port, innerSim.slavePath());
    QCOMPARE(inner.Name, QStringLiteral("QEL-1.2 № A006"));
    QCOMPARE(outer.Port, outerSim.slavePath());
    QCOMPARE(outer.Name, QStringLiteral("QEL-1.2 № A005"));
}

void TstDiscovery::fakeSourceSignalsPlugAndUnplug()
{
    TFakePortSource src;
    QSignalSpy spy(&src, &IPortSource::deviceChange);

    src.plug(usbPort(QStringLiteral("COM5"), kQelVendorId, kQelProductId));
    src.plug(forcedPort(QStringLiteral("COM7")));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(portNames(src.ports()), (QStringList{"COM5", "COM7"}));

    src.plug(forcedPort(QStringLiteral("COM5"))); // plugged again: still one entry
    QCOMPARE(spy.count(), 3);
    QCOMPARE(portNames(src.ports()), (QStringList{"COM5", "COM7"}));
    QVERIFY(src.ports().first().Forced);

    src.unplug(QStringLiteral("COM5"));
    QCOMPARE(spy.count(), 4);
    QCOMPARE(portNames(src.ports()), QStringList{"COM7"});
    src.unplug(QStringLiteral("COM5")); // not there: nothing changed
    QCOMPARE(spy.count(), 4);
}

void TstDiscovery::extraPortIsForcedWhileItExists()
{
    TQelSim sim;
    QVERIFY(sim.start());
    testsupport::PtyLink link;
    QVERIFY(link.point(sim.slavePath()));
    const QString path = link.path();
    TSystemPortSource src;
    src.setPollInterval(100);
    src.setExtraPorts({path, QStringLiteral("/dev/qel-no-such-port")});

    const QList<TPortInfo> ports = src.ports();
    const auto it = std::find_if(ports.begin(), ports.end(),
                                 [&](const TPortInfo& p) { return p.Port == path; });
    QVERIFY(it != ports.end());
    QVERIFY(it->Forced);
    QVERIFY(!portNames(ports).contains(QStringLiteral("/dev/qel-no-such-port")));
    QCOMPARE(EnumDevicePorts(ports).count(path), 1);

    QSignalSpy spy(&src, &IPortSource::deviceChange);
    sim.unplug();
    link.remove();
    QVERIFY(spy.wait(3000));
    QVERIFY(!portNames(src.ports()).contains(path));
}

QTEST_GUILESS_MAIN(TstDiscovery)
#include "tst_discovery.moc"
