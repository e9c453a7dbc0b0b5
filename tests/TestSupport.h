// Fixtures shared by the test suites: archive files written independently of the code
// under test, and a recorder of completion events.
#pragma once

#include "data/QelTypes.h"
#include "device/PipeTransport.h"
#include "device/QelBase.h"

#include <QEventLoop>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <functional>

Q_DECLARE_METATYPE(TArchDupStat)
Q_DECLARE_METATYPE(TArchReadOutcome)

// So that QCOMPARE shows the counts whole.
inline char* toString(const TArchDupStat& s)
{
    return qstrdup(QByteArray::number(s.Duplicates) + '/' + QByteArray::number(s.Uniquie) + '/' +
                   QByteArray::number(s.New));
}
inline char* toString(const TArchReadOutcome& o)
{
    return qstrdup(QByteArray::number(o.Received) + " of " + QByteArray::number(o.Announced) +
                   ", incomplete " + QByteArray::number(o.Incomplete) +
                   (o.Finished ? ", finished" : ", cut off"));
}

namespace testsupport {

template <typename T> void putLe(QByteArray& out, T v)
{
    v = qToLittleEndian(v);
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// The archive file: identity, count, then per result the record, the samples and the
// comment, each array after its signed 32-bit length.
inline QByteArray archiveFileBytes(const QList<TCalcQEL>& results)
{
    TQelInfo info{};
    info.DevType = dev12;
    info.SerialNumber = 5;
    QByteArray out(reinterpret_cast<const char*>(&info), sizeof info);
    putLe<int32_t>(out, int32_t(results.size()));
    for (const TCalcQEL& r : results) {
        out.append(reinterpret_cast<const char*>(&r.ArchRes), sizeof r.ArchRes);
        putLe<int32_t>(out, int32_t(r.Samples.size()));
        for (const uint16_t s : r.Samples)
            putLe<uint16_t>(out, s);
        putLe<int32_t>(out, int32_t(r.UserComment.size()));
        for (const QChar c : r.UserComment)
            putLe<uint16_t>(out, c.unicode());
    }
    return out;
}

// Appends `results` to the device's archive through a file load.
inline bool loadResults(TQelBase& dev, const QList<TCalcQEL>& results)
{
    QTemporaryFile file;
    if (!file.open() || file.write(archiveFileBytes(results)) < 0 || !file.flush())
        return false;
    return dev.LoadFromFile(file.fileName());
}

// Records the events of a device object; `also` sees each event as it comes.
class EventRecorder
{
public:
    explicit EventRecorder(IQel& dev, std::function<void(TOperationType)> also = {})
    {
        dev.SetComCallback([this, also](TOperationType op) {
            ops.append(op);
            if (also)
                also(op);
            if (fLoop && op == fAwaited)
                fLoop->quit();
        });
    }
    // Runs the event loop (no polling sleeps, so a stop-and-wait exchange is not slowed)
    // until the event has come or the bound passes.
    bool waitFor(TOperationType op, int timeoutMs = 10000)
    {
        if (ops.contains(op))
            return true;
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        fLoop = &loop;
        fAwaited = op;
        loop.exec();
        fLoop = nullptr;
        return ops.contains(op);
    }
    int count(TOperationType op) const { return int(ops.count(op)); }
    QList<TOperationType> ops;

private:
    QEventLoop* fLoop = nullptr;
    TOperationType fAwaited = otDevConnect;
};

// A port that takes every request and never answers: tests hand the replies to the
// receive handler themselves.
class QuietPort
{
public:
    explicit QuietPort(TQelBase& dev) { fOk = dev.Connect(fPort.name()); }
    bool ok() const { return fOk; }
    QByteArray requests() { return fPort.readAll(); }

private:
    TPipePort fPort;
    bool fOk = false;
};

// Connects to the port and waits for the identity.
inline bool identify(TQelBase& dev, EventRecorder& rec, const QString& port)
{
    return dev.Connect(port) && rec.waitFor(otDevConnect);
}

} // namespace testsupport
