// The receive path: a reply stream cut into pieces of chosen sizes and times, fed to a device
// object whose line never answers. The callback either acts as the main window does or makes
// calls chosen by the input, so that the results change while a download runs.
//
// Input: a mode byte (bit 0: arbitrary calls), a script length and that many script bytes
// (the calls the callback makes, used in turn), then pieces: a control byte, a 16-bit length
// and that many bytes. Control: bits 0-3 the time since the last piece in steps of 50 ms,
// bit 4 run the event loop after the piece, bit 5 silence (the no-answer time passes), bit 6
// a read is asked for before the piece, bit 7 one script call before the piece.
#include "FuzzInput.h"
#include "data/ArchiveFile.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "device/PipeTransport.h"
#include "device/QelBase.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdlib>
#include <unistd.h>

namespace {

QCoreApplication* gApp = nullptr;
TPipePort* gPort = nullptr;
QString gValidFile; // three results, for LoadFromFile

TCalcQEL makeResult(uint16_t absIndex, uint16_t samples)
{
    TCalcQEL r;
    r.ArchRes.Base.AbsIndex = absIndex;
    r.ArchRes.Base.Num = uint16_t(absIndex + 1);
    r.ArchRes.Base.DateTime = {24, 3, 9, 12, int8_t(absIndex % 60)};
    r.ArchRes.SampleCount = samples;
    r.ArchRes.SampleFreq = 10;
    r.ArchRes.M = 0.25f;
    for (uint16_t i = 0; i < samples; ++i)
        r.Samples.append(uint16_t(100 + i));
    r.UserComment = QStringLiteral("c%1").arg(absIndex);
    return r;
}

void writeValidFile()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/qel-fuzz-receive-%1").arg(getpid());
    QDir().mkpath(dir);
    gValidFile = dir + QStringLiteral("/valid.qel1x");
    TQelInfo info{};
    info.DevType = dev12;
    info.SerialNumber = 5;
    // Two of them match what the seed streams download, so duplicate removal has work.
    SaveArchiveFile(gValidFile, info, {makeResult(2, 3), makeResult(1, 4), makeResult(9, 0)}, enUS);
}

class TSession
{
public:
    TSession(TQelBase& dev, bool arbitrary, QByteArrayView script)
        : fDev(dev), fArbitrary(arbitrary), fScript(script)
    {}

    void onEvent(TOperationType op)
    {
        if (fDepth > 3)
            return; // a call that raises an event at once must not recurse without end
        ++fDepth;
        if (fArbitrary)
            scriptCall();
        else
            asWindow(op);
        --fDepth;
    }

    // One call of the script; the script is used in turn, for a bounded number of calls.
    void scriptCall()
    {
        if (fScript.isEmpty() || fCalls >= 200)
            return;
        ++fCalls;
        const uint8_t op = next();
        switch (op % 9) {
        case 0:
            break;
        case 1:
            fDev.ReadArchive();
            break;
        case 2: {
            const int start = int8_t(next());
            const int count = int8_t(next());
            fDev.RemoveResults(start, count, op & 0x10);
            break;
        }
        case 3:
            fDev.LoadFromFile(gValidFile);
            break;
        case 4:
            fDev.RemoveDuplicates();
            break;
        case 5:
            fDev.SetComment(int8_t(next()), QStringLiteral("note"));
            break;
        case 6:
            showViews();
            break;
        case 7:
            fDev.SynchronyzeClock();
            break;
        case 8:
            fDev.LoadFromFile(QStringLiteral("/nonexistent/qel.qel1x"));
            break;
        }
    }

private:
    uint8_t next() { return uint8_t(fScript[fScriptPos++ % fScript.size()]); }

    void asWindow(TOperationType op)
    {
        switch (op) {
        case otDevConnect:
            fDev.SynchronyzeClock();
            break;
        case otClockWrite:
            fDev.ReadArchive();
            break;
        case otArchReadComplete:
            fDev.RemoveDuplicates();
            showViews();
            break;
        default:
            break;
        }
    }

    void showViews()
    {
        TStringGrid grid;
        fDev.UpdateBasicGrid(grid);
        const int n = int(fDev.archive().size());
        for (int i = 0; i < n && i < 8; ++i) {
            TRecordingSeries graph;
            fDev.UpdateGraph(graph, i);
        }
        TRecordingSeries outside;
        fDev.UpdateGraph(outside, n);
    }

    TQelBase& fDev;
    bool fArbitrary;
    QByteArrayView fScript;
    qsizetype fScriptPos = 0;
    int fDepth = 0;
    int fCalls = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char arg0[] = "fuzz_receive";
    static char* argv[] = {arg0, nullptr};
    gApp = new QCoreApplication(argc, argv);
    gPort = new TPipePort(QStringLiteral("fuzz"));
    writeValidFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TFuzzInput in{data, size};
    const bool arbitrary = in.byte() & 1;
    const QByteArrayView script = in.take(in.byte());

    {
        TQelBase dev;
        TSession session(dev, arbitrary, script);
        dev.SetComCallback([&session](TOperationType op) { session.onEvent(op); });
        if (!dev.Connect(gPort->name()))
            abort(); // the line is free between inputs: a failure here is a leak of the last
        dev.ReadArchive();

        qint64 now = 0;
        while (!in.atEnd()) {
            const uint8_t ctl = in.byte();
            const QByteArrayView piece = in.take(in.word());
            now += (ctl & 0x0F) * 50;
            if (ctl & 0x40)
                dev.ReadArchive();
            if (ctl & 0x80)
                session.scriptCall();
            dev.ComPortRxBuf(piece, now);
            if (ctl & 0x20) {
                dev.setNoAnswerTimeout(0);
                QCoreApplication::processEvents();
                dev.setNoAnswerTimeout(kNoAnswerMs);
            }
            if (ctl & 0x10)
                QCoreApplication::processEvents();
            gPort->readAll(); // the requests go nowhere
        }
        QCoreApplication::processEvents();
        dev.SetComCallback({});
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    gPort->readAll();
    return 0;
}
