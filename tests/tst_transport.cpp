// The byte links of the device object, one contract for both: the serial port on a pty and
// the in-process line. Then the events of a device object over them: a callback may run a
// nested event loop or release the object, and the link goes on working.
#include "TestSupport.h"
#include "device/PipeTransport.h"
#include "device/Protocol.h"
#include "device/QelBase.h"
#include "device/SerialTransport.h"
#include "sim/QelSim.h"

#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using testsupport::EventRecorder;

namespace {

// Runs the event loop until cond() holds or the bound passes (a failure then).
template <typename Cond> bool spin(Cond cond, int boundMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < boundMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return cond();
}

std::unique_ptr<ITransport> makeLink(const QString& kind)
{
    if (kind == QLatin1String("pipe"))
        return std::make_unique<TPipeTransport>();
    return std::make_unique<TSerialTransport>();
}

void addLines()
{
    QTest::addColumn<int>("line");
    QTest::newRow("pty") << int(TQelSim::linePty);
    QTest::newRow("pipe") << int(TQelSim::linePipe);
}

} // namespace

class TstTransport : public QObject
{
    Q_OBJECT
private slots:
    void replyArrivesWholeFromPieces_data() { addLines(); }
    void replyArrivesWholeFromPieces();
    void heldPortCannotBeOpenedTwice_data() { addLines(); }
    void heldPortCannotBeOpenedTwice();
    void missingPortCannotBeOpened_data();
    void missingPortCannotBeOpened();
    void unpluggedDeviceIsGone_data() { addLines(); }
    void unpluggedDeviceIsGone();
    void portNameChoosesTheLine();

    void nestedLoopInCallbackKeepsReceiving_data() { addLines(); }
    void nestedLoopInCallbackKeepsReceiving();
    void callbackMayReleaseTheObject_data();
    void callbackMayReleaseTheObject();
    void disconnectComesAfterTheFramesBeforeIt();
};

void TstTransport::replyArrivesWholeFromPieces()
{
    QFETCH(int, line);
    TQelSim sim;
    sim.setLine(TQelSim::TLine(line));
    sim.setSplit(true, 3);
    sim.setSplitLimits(5, 3);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));

    std::unique_ptr<ITransport> link = MakeTransport(sim.slavePath());
    QVERIFY(link->open(sim.slavePath()));
    QByteArray got;
    int arrivals = 0;
    connect(link.get(), &ITransport::bytesArrived, this, [&] {
        ++arrivals;
        got += link->readAll();
    });
    link->write(qelproto::devInfoReq());
    QByteArray body(4, '\0');
    body.append(reinterpret_cast<const char*>(&sim.info()), sizeof(TQelInfo));
    const QByteArray expected = qelproto::buildFrame(dcDevInfo, body);
    QVERIFY(spin([&] { return got.size() >= expected.size(); }));
    QCOMPARE(got, expected);
    QVERIFY(arrivals > 1); // pieces of five bytes at most
    QCOMPARE(sim.requestCount(dcDevInfo), 1);
}

void TstTransport::heldPortCannotBeOpenedTwice()
{
    QFETCH(int, line);
    TQelSim sim;
    sim.setLine(TQelSim::TLine(line));
    QVERIFY(sim.start());
    std::unique_ptr<ITransport> first = MakeTransport(sim.slavePath());
    std::unique_ptr<ITransport> second = MakeTransport(sim.slavePath());
    QVERIFY(first->open(sim.slavePath()));
    QVERIFY(!second->open(sim.slavePath()));
    QVERIFY(!second->isOpen());
    first->close();
    QVERIFY(second->open(sim.slavePath()));
}

void TstTransport::missingPortCannotBeOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::newRow("pty") << QStringLiteral("serial") << QStringLiteral("/dev/qel-test-none");
    QTest::newRow("pipe") << QStringLiteral("pipe") << QStringLiteral("pipe:qel-test-none");
}

void TstTransport::missingPortCannotBeOpened()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    std::unique_ptr<ITransport> link = makeLink(kind);
    QVERIFY(!link->open(name));
    QVERIFY(!link->isOpen());
    QVERIFY(!link->errorString().isEmpty());
}

void TstTransport::unpluggedDeviceIsGone()
{
    QFETCH(int, line);
    TQelSim sim;
    sim.setLine(TQelSim::TLine(line));
    QVERIFY(sim.start());
    std::unique_ptr<ITransport> link = MakeTransport(sim.slavePath());
    QVERIFY(link->open(sim.slavePath()));
    QSignalSpy gone(link.get(), &ITransport::gone);
    sim.unplug();
    QVERIFY(gone.wait());
    QCOMPARE(gone.count(), 1);
    QVERIFY(!link->isOpen());
    link->write(qelproto::devInfoReq()); // nowhere to go, and no fault
}

void TstTransport::portNameChoosesTheLine()
{
    TPipePort port;
    QVERIFY(port.name().startsWith(QLatin1String("pipe:")));
    QVERIFY(qobject_cast<TPipeTransport*>(MakeTransport(port.name()).get()));
    QVERIFY(qobject_cast<TSerialTransport*>(MakeTransport(QStringLiteral("/dev/ttyACM0")).get()));
    const QString name = port.name();
    port.unplug();
    QVERIFY(qobject_cast<TSerialTransport*>(MakeTransport(name).get()));
}

void TstTransport::nestedLoopInCallbackKeepsReceiving()
{
    // A modal window opened from the callback runs its own event loop: the next reply must
    // reach the object inside it, not after the window closes.
    QFETCH(int, line);
    TQelSim sim;
    sim.setLine(TQelSim::TLine(line));
    QVERIFY(sim.start());
    TQelBase dev;
    QList<TOperationType> insideLoop;
    bool nested = false;
    QEventLoop* loop = nullptr;
    dev.SetComCallback([&](TOperationType op) {
        if (nested) {
            insideLoop.append(op);
            if (op == otClockWrite)
                loop->quit();
            return;
        }
        if (op != otDevConnect)
            return;
        dev.SynchronyzeClock();
        QEventLoop modal;
        loop = &modal;
        nested = true;
        QTimer::singleShot(10000, &modal, &QEventLoop::quit); // the bound of a failure only
        modal.exec();
        nested = false;
    });
    QVERIFY(dev.Connect(sim.slavePath()));
    QVERIFY(spin([&] { return !insideLoop.isEmpty() && !nested; }));
    QCOMPARE(insideLoop, QList<TOperationType>{otClockWrite});
    QCOMPARE(sim.clockWrites(), 1);
}

void TstTransport::callbackMayReleaseTheObject_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("outright");
    QTest::newRow("pty, the workspace dropped") << int(TQelSim::linePty) << false;
    QTest::newRow("pty, deleted outright") << int(TQelSim::linePty) << true;
    QTest::newRow("pipe, the workspace dropped") << int(TQelSim::linePipe) << false;
    QTest::newRow("pipe, deleted outright") << int(TQelSim::linePipe) << true;
}

void TstTransport::callbackMayReleaseTheObject()
{
    // The window replaces its workspace on the identity; the released object's port was
    // the one that brought it. Run under a sanitizer, a use after free shows here.
    QFETCH(int, line);
    QFETCH(bool, outright);
    TQelSim sim;
    sim.setLine(TQelSim::TLine(line));
    QVERIFY(sim.start());
    // Two replies in one delivery: the second must not be handled by the freed object.
    connect(&sim, &TQelSim::requestReceived, this, [&](int code) {
        if (code == dcDevInfo)
            sim.queueRaw(qelproto::buildFrame(dcClockWrite, {}));
    });

    QPointer<TQelBase> dev;
    if (outright) {
        dev = new TQelBase;
    } else {
        std::shared_ptr<TQelBase> owned = NewQelBase();
        dev = owned.get();
        ActiveDevice = std::move(owned);
    }
    int calls = 0;
    dev->SetComCallback([&](TOperationType) {
        ++calls;
        if (outright)
            delete dev.data();
        else
            ActiveDevice.reset();
    });
    QVERIFY(dev->Connect(sim.slavePath()));
    QVERIFY(spin([&] { return dev.isNull(); }));
    QCOMPARE(calls, 1);
    // The port of the released object goes on to its next events without it.
    sim.queueRaw(qelproto::buildFrame(dcMatWrite, {}));
    sim.unplug();
    QTest::qWait(50);
    QCOMPARE(calls, 1);
}

void TstTransport::disconnectComesAfterTheFramesBeforeIt()
{
    // On a pty a hang-up may overtake the last bytes; the in-process line keeps the order.
    TQelSim sim;
    sim.setLine(TQelSim::linePipe);
    QVERIFY(sim.start());
    TQelBase dev;
    EventRecorder rec(dev);
    QVERIFY(dev.Connect(sim.slavePath()));
    QVERIFY(rec.waitFor(otDevConnect));
    connect(&sim, &TQelSim::requestReceived, this, [&](int) {
        sim.queueRaw(qelproto::buildFrame(dcClockWrite, {}));
        sim.setSilent(true);
        QTimer::singleShot(0, &sim, &TQelSim::unplug);
    });
    dev.ReadMaterials();
    QVERIFY(rec.waitFor(otDevDisconnected));
    QCOMPARE(rec.ops, (QList<TOperationType>{otDevConnect, otClockWrite, otDevDisconnected}));
    QCOMPARE(dev.GetPortName(), QStringLiteral("COM?"));
}

QTEST_GUILESS_MAIN(TstTransport)
#include "tst_transport.moc"
