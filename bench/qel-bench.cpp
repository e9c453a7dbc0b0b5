// Speed and memory figures of the download, the archive file, merging and the table.
// Not a test: it prints measurements for BENCHMARKS.md.
#include "data/ArchiveFile.h"
#include "data/StringGrid.h"
#include "device/PipeTransport.h"
#include "device/QelBase.h"
#include "sim/SimArchive.h"
#include "sim/SimThread.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace qelproto;

namespace {

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// All replies of a download of `arch`, in the order the walk asks for them.
QList<QByteArray> replyStream(const QList<TCalcQEL>& arch, int recordsPerReply, int samplesPerReply)
{
    QList<QByteArray> out;
    QByteArray body(4, '\0');
    put16(body.data(), arch[0].ArchRes.Base.AbsIndex);
    put16(body.data() + 2, uint16_t(arch.size()));
    body.append(reinterpret_cast<const char*>(&arch[0].ArchRes), kRecordSize);
    out.append(buildFrame(dcArchHead, body));
    for (int i = 1; i < arch.size(); i += recordsPerReply) {
        const int n = qMin(recordsPerReply, int(arch.size()) - i);
        QByteArray b(4, '\0');
        b[0] = char(n);
        for (int k = 0; k < n; ++k)
            b.append(reinterpret_cast<const char*>(&arch[i + k].ArchRes), kRecordSize);
        out.append(buildFrame(dcArchBlock, b));
    }
    for (const TCalcQEL& r : arch) {
        int off = 0;
        do {
            const int n = qMin(samplesPerReply, int(r.Samples.size()) - off);
            QByteArray b(4, '\0');
            put16(b.data() + 2, uint16_t(n));
            b.append(reinterpret_cast<const char*>(r.Samples.constData() + off), n * 2);
            out.append(buildFrame(dcArchSamples, b));
            off += n;
        } while (off < r.Samples.size());
    }
    return out;
}

qint64 streamBytes(const QList<QByteArray>& replies)
{
    qint64 n = 0;
    for (const QByteArray& r : replies)
        n += r.size();
    return n;
}

// Feeds the replies in chunks as a serial port would hand them over: each reply after the
// request it answers, so no chunk holds the end of one reply and the next. The requests go
// to an in-process line that never answers.
double receiveSeconds(TQelBase& dev, const QList<QByteArray>& replies, int chunk)
{
    TPipePort line;
    dev.Connect(line.name());
    QElapsedTimer t;
    t.start();
    dev.ReadArchive();
    for (const QByteArray& reply : replies)
        for (qsizetype pos = 0; pos < reply.size(); pos += chunk)
            dev.ComPortRxBuf(
                QByteArrayView(reply).sliced(pos, qMin<qsizetype>(chunk, reply.size() - pos)), 0);
    const double s = seconds(t);
    dev.Disconnect();
    return s;
}

void benchDownload(int results, int samples, int samplesPerReply)
{
    // The stand-in runs on a thread of its own, so that its line pacing does not wait for
    // the host's work, as a real instrument would not.
    TSimThread thread;
    TQelSim& setup = thread.sim();
    setup.setArchive(makeArchive(results, 1, samples));
    setup.setBaud(115200);
    setup.setSamplesPerReply(samplesPerReply);
    setup.setRecordsPerReply(255);
    if (!thread.start()) {
        std::printf("download: no pty\n");
        return;
    }
    TQelBase dev;
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    bool connected = false;
    dev.SetComCallback([&](TOperationType op) {
        if (op == otDevConnect) {
            connected = true;
            loop.quit();
        }
        if (op == otArchReadComplete || op == otMeasIsGoing)
            loop.quit();
    });
    dev.Connect(thread.slavePath());
    bound.start(5000);
    loop.exec();
    bound.stop();
    if (!connected) {
        std::printf("download: no identity\n");
        return;
    }
    qint64 reqBefore = 0, repBefore = 0;
    thread.run([&](TQelSim& sim) {
        for (const QByteArray& r : sim.requests())
            reqBefore += r.size();
        repBefore = sim.bytesWritten();
    });
    QElapsedTimer t;
    t.start();
    dev.ReadArchive();
    loop.exec();
    const double secs = seconds(t);
    qint64 reqBytes = 0, repBytes = 0;
    thread.run([&](TQelSim& sim) {
        for (const QByteArray& r : sim.requests())
            reqBytes += r.size();
        repBytes = sim.bytesWritten();
        sim.stop();
    });
    reqBytes -= reqBefore;
    repBytes -= repBefore;
    const double limit = double(reqBytes + repBytes) * 10.0 / 115200.0;
    std::printf("download %d x %d samples at 115200: %d results, %lld request + %lld reply "
                "bytes, %.2f s; stop-and-wait bound %.2f s: %.1f %%\n",
                results, samples, int(dev.archive().size()), qlonglong(reqBytes),
                qlonglong(repBytes), secs, limit, 100.0 * limit / secs);
}

double rawWrite(const QString& path, const QByteArray& bytes, bool sync)
{
    // A new file each time, as the atomic save writes one; truncating a big file costs more
    // than writing it.
    QFile::remove(path);
    QElapsedTimer t;
    t.start();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return -1;
    // In 1 MiB pieces: the fastest plain write here, faster than one huge write().
    for (qsizetype pos = 0; pos < bytes.size(); pos += 1 << 20)
        if (f.write(bytes.constData() + pos, qMin<qsizetype>(1 << 20, bytes.size() - pos)) < 0)
            return -1;
    if (sync)
        ::fdatasync(f.handle());
    f.close();
    return seconds(t);
}

double rawRead(const QString& path, qint64& size)
{
    QElapsedTimer t;
    t.start();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray all = f.readAll();
    size = all.size();
    return seconds(t);
}

void benchInProcess(int results, int samples, const QString& dir)
{
    std::printf("building %d results x %d samples...\n", results, samples);
    std::fflush(stdout);
    const QList<TCalcQEL> arch = makeArchive(results, 2, samples);
    const QList<QByteArray> stream = replyStream(arch, 255, 11220);

    TQelBase dev;
    const double rx = receiveSeconds(dev, stream, 4096);
    const double mb = double(streamBytes(stream)) / 1e6;
    std::printf("receive handling: %.1f MB in %.3f s: %.0f MB/s (%d results)\n", mb, rx, mb / rx,
                int(dev.archive().size()));

    // Each figure is the best of three runs, so that page-cache luck favours neither side.
    const QString file = dir + QStringLiteral("/bench.qel1x");
    QElapsedTimer t;
    double save = 1e9, wr = 1e9, wrSync = 1e9, rd = 1e9, load = 1e9;
    QByteArray bytes;
    for (int run = 0; run < 3; ++run) {
        QFile::remove(file);
        t.start();
        dev.SaveToFile(file);
        save = qMin(save, seconds(t));
        if (bytes.isEmpty()) {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            bytes = f.readAll();
        }
        wr = qMin(wr, rawWrite(dir + QStringLiteral("/raw.bin"), bytes, false));
        wrSync = qMin(wrSync, rawWrite(dir + QStringLiteral("/raw.bin"), bytes, true));
    }
    // The save is atomic and durable (it syncs before it replaces the file), so the fair
    // raw figure syncs too; the page-cache-only write is shown beside it.
    std::printf("save %.1f MB: %.3f s; raw write + fdatasync %.3f s: %.2fx "
                "(raw write without sync %.3f s: %.2fx)\n",
                double(bytes.size()) / 1e6, save, wrSync, save / wrSync, wr, save / wr);

    qint64 size = 0;
    for (int run = 0; run < 3; ++run) {
        rd = qMin(rd, rawRead(file, size));
        TQelBase probe;
        t.start();
        probe.LoadFromFile(file);
        load = qMin(load, seconds(t));
    }
    const qint64 rssBefore = residentBytes();
    TQelBase loaded;
    const bool ok = loaded.LoadFromFile(file);
    const qint64 rssAfter = residentBytes();
    std::printf("load: %s %.3f s, raw read %.3f s: %.2fx\n", ok ? "ok" : "FAILED", load, rd,
                load / rd);
    std::printf("memory: %.1f MB resident for a %.1f MB file: %.2fx\n",
                double(rssAfter - rssBefore) / 1e6, double(size) / 1e6,
                double(rssAfter - rssBefore) / double(size));

    TStringGrid grid;
    t.start();
    loaded.UpdateBasicGrid(grid);
    std::printf("UpdateBasicGrid of %d rows: %.3f s\n", grid.rowCountAll() - 1, seconds(t));
}

void benchDuplicates(int copies, const QString& dir)
{
    // Two copies of every result, as merging a file into the archive it came from gives.
    const QList<TCalcQEL> arch = makeArchive(copies, 3, 10);
    const QString file = dir + QStringLiteral("/dup.qel1x");
    SaveArchiveFile(file, TQelInfo{}, arch, enUS);
    TQelBase dev;
    dev.LoadFromFile(file);
    dev.LoadFromFile(file);
    QElapsedTimer t;
    t.start();
    const TArchDupStat st = dev.RemoveDuplicates();
    std::printf("RemoveDuplicates of 2 x %d results: %.3f s (%d duplicates, %d unique)\n", copies,
                seconds(t), st.Duplicates, st.Uniquie);
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("QEL-1.Connect benchmarks"));
    p.addHelpOption();
    const QCommandLineOption dl(QStringLiteral("download"),
                                QStringLiteral("Results x samples of the paced download."),
                                QStringLiteral("RxS"), QStringLiteral("1000x1000"));
    const QCommandLineOption spr(QStringLiteral("samples-per-reply"),
                                 QStringLiteral("Samples per reply of the paced download."),
                                 QStringLiteral("N"), QStringLiteral("500"));
    const QCommandLineOption skip(QStringLiteral("no-download"),
                                  QStringLiteral("Skip the paced download (it takes minutes)."));
    p.addOptions({dl, spr, skip});
    p.process(app);

    QTemporaryDir dir;
    benchInProcess(kMaxArchive, 1000, dir.path());
    benchDuplicates(kMaxArchive / 2, dir.path());
    if (!p.isSet(skip)) {
        const QStringList rs = p.value(dl).split(u'x');
        benchDownload(rs.value(0).toInt(), rs.value(1).toInt(), p.value(spr).toInt());
    }
    return 0;
}
