#include "QelSim.h"

#include "SimArchive.h"
#include "device/PipeTransport.h"
#include "device/Protocol.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QtDebug>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using qelproto::le16;
using qelproto::put16;

namespace {

void putText(uint8_t* field, size_t size, const char* text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text, std::min(size, std::strlen(text)));
}

QByteArray recordBytes(const TArchQEL& r)
{
    return QByteArray(reinterpret_cast<const char*>(&r), sizeof r);
}

bool makeRaw(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

TQelSim::TQelSim(QObject* parent)
    : QObject(parent), fMatCfg(defaultMaterials(ruRU)), fObjCfg(defaultObjects(ruRU))
{
    fInfo.StrictVersion = 1;
    fInfo.DevType = dev12;
    fInfo.DevVersion = 3;
    fInfo.SerialNumber = 2053; // series letter 1, number 5
    putText(fInfo.SoftVersion, sizeof fInfo.SoftVersion, "1.07");
    putText(fInfo.HardVersion, sizeof fInfo.HardVersion, "QEL-1 board rev.C, sensor 0-110 kPa");
    putText(fInfo.MakeDate, sizeof fInfo.MakeDate, "14.06.2023");
    fInfo.TypeFormula = 1;
    fInfo.TypeSensor = 1;
    setArchive(makeArchive(20, 1));

    fOutTimer = new QTimer(this);
    fOutTimer->setSingleShot(true);
    fOutTimer->setTimerType(Qt::PreciseTimer);
    connect(fOutTimer, &QTimer::timeout, this, &TQelSim::pump);
    fStaleTimer = new QTimer(this);
    fStaleTimer->setSingleShot(true);
    connect(fStaleTimer, &QTimer::timeout, this, &TQelSim::onStaleInput);
    fClock.start();
}

TQelSim::~TQelSim()
{
    closePty();
}

bool TQelSim::start()
{
    if (isRunning())
        return true;
    if (fLine == linePipe) {
        fPipe = new TPipePort(QStringLiteral("qel-sim"), this);
        connect(fPipe, &TPipePort::readyRead, this, [this] {
            const QByteArray bytes = fPipe->readAll();
            received(bytes.constData(), bytes.size());
        });
        fSlavePath = fPipe->name();
        fError.clear();
        fIn.clear();
        fOut.clear();
        fWriteBuf.clear();
        fLineFreeNs = 0;
        return true;
    }
    return startPty();
}

bool TQelSim::startPty()
{
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        fError = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    char name[256] = {};
    if (!makeRaw(slave) || !makeRaw(master) || ::ptsname_r(master, name, sizeof name) != 0 ||
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        fError = QStringLiteral("pty setup: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(master);
        ::close(slave);
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    // The slave end stays open with us: without it, reads of the master fail with EIO
    // whenever the host has its port closed.
    fMaster = master;
    fSlave = slave;
    fSlavePath = QString::fromLocal8Bit(name);
    fError.clear();
    fIn.clear();
    fOut.clear();
    fWriteBuf.clear();
    fLineFreeNs = 0;

    fReadNotifier = new QSocketNotifier(fMaster, QSocketNotifier::Read, this);
    connect(fReadNotifier, &QSocketNotifier::activated, this, &TQelSim::onReadable);
    fWriteNotifier = new QSocketNotifier(fMaster, QSocketNotifier::Write, this);
    fWriteNotifier->setEnabled(false);
    connect(fWriteNotifier, &QSocketNotifier::activated, this, &TQelSim::onWritable);
    return true;
}

void TQelSim::stop()
{
    closePty();
}

void TQelSim::unplug()
{
    closePty();
}

void TQelSim::closePty()
{
    // Called from slots of the notifiers too, so they are only disabled here and deleted
    // once control is back in the event loop.
    for (QSocketNotifier* n : {fReadNotifier, fWriteNotifier}) {
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    }
    fReadNotifier = fWriteNotifier = nullptr;
    if (fOutTimer)
        fOutTimer->stop();
    if (fStaleTimer)
        fStaleTimer->stop();
    fIn.clear();
    fOut.clear();
    fWriteBuf.clear();
    if (fPipe) {
        // Gone for the host at once; the object may be inside its own signal now.
        fPipe->disconnect(this);
        fPipe->unplug();
        fPipe->deleteLater();
        fPipe = nullptr;
    }
    if (fMaster >= 0)
        ::close(fMaster);
    if (fSlave >= 0)
        ::close(fSlave);
    fMaster = fSlave = -1;
}

void TQelSim::setMaterials(const QByteArray& block480)
{
    fMatCfg = block480.left(kMatCfgSize).leftJustified(kMatCfgSize, '\0');
}

void TQelSim::setObjects(const QByteArray& block300)
{
    fObjCfg = block300.left(kObjCfgSize).leftJustified(kObjCfgSize, '\0');
}

void TQelSim::setArchive(const QList<TCalcQEL>& archive)
{
    fArchive = archive;
    if (fArchive.isEmpty())
        fScreen.clearResult();
    else
        fScreen.setResult(fArchive.first().ArchRes); // the newest
}

void TQelSim::setRecordsPerReply(int n)
{
    fRecordsPerReply = std::clamp(n, 0, qelproto::kMaxRecordsPerReply);
}

void TQelSim::setSamplesPerReply(int n)
{
    fSamplesPerReply = std::clamp(n, 1, kMaxSamplesPerReply);
}

QDateTime TQelSim::deviceTime() const
{
    return QDateTime::currentDateTime().addMSecs(fClockOffsetMs);
}

void TQelSim::setSplit(bool on, quint32 seed)
{
    fSplit = on;
    fSplitRng.seed(seed);
}

void TQelSim::setSplitLimits(int maxPieceBytes, int maxPauseMs)
{
    fSplitMaxPiece = std::max(1, maxPieceBytes);
    fSplitMaxPauseMs = std::max(0, maxPauseMs);
}

void TQelSim::queueRaw(const QByteArray& bytes)
{
    if (!isRunning())
        return;
    fWriteBuf.append(bytes);
    flushWrite();
}

int TQelSim::requestCount(int code) const
{
    return int(std::count_if(fRequests.cbegin(), fRequests.cend(), [code](const QByteArray& f) {
        return f.size() > 3 && uint8_t(f[3]) == code;
    }));
}

qint64 TQelSim::pendingOutput() const
{
    qint64 n = fWriteBuf.size();
    for (const TPiece& p : fOut)
        n += p.bytes.size();
    return n;
}

void TQelSim::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fMaster, buf, sizeof buf);
        if (n > 0) {
            fIn.append(buf, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            qWarning("qel-sim: read: %s", std::strerror(errno));
        break;
    }
    parseInput(nowNs(), false);
}

void TQelSim::received(const char* bytes, qsizetype size)
{
    fIn.append(bytes, size);
    parseInput(nowNs(), false);
}

void TQelSim::onStaleInput()
{
    // Nothing came for a while, so what is left can never complete as it stands: look for
    // a frame further on, dropping the bytes before it.
    parseInput(nowNs(), true);
}

void TQelSim::parseInput(qint64 arrivalNs, bool flush)
{
    while (!fIn.isEmpty()) {
        const char* p = fIn.constData();
        int drop = 0;
        if (uint8_t(p[0]) != qelproto::kMarker) {
            drop = 1;
        } else if (fIn.size() < 3) {
            if (!flush)
                break;
            drop = 1;
        } else {
            const int total = int(le16(p + 1)) + 2;
            if (total < kMinRequestSize || total > kMaxRequestSize || total % 4 != 0) {
                drop = 1;
            } else if (fIn.size() < total) {
                if (!flush)
                    break;
                drop = 1;
            } else if (qelproto::le32(p + total - 4) != qelproto::CalcCRC32(p, (total - 4) / 4)) {
                // A failed check may also mean we are out of step: look again one byte on.
                ++fBadFrames;
                drop = 1;
            } else {
                const QByteArray frame = fIn.left(total);
                fIn.remove(0, total);
                handleRequest(frame, arrivalNs);
                if (!isRunning())
                    return;
                continue;
            }
        }
        fIn.remove(0, drop);
        fDroppedBytes += drop;
    }
    if (fIn.isEmpty())
        fStaleTimer->stop();
    else
        fStaleTimer->start(qelproto::kStaleFrameMs);
}

void TQelSim::handleRequest(const QByteArray& frame, qint64 arrivalNs)
{
    fRequests.append(frame);
    emit requestReceived(uint8_t(frame[3]));
    if (!isRunning())
        return;
    // A silent instrument is a hung one: it takes nothing in. A dropped reply is lost on
    // the way back, so its request has had its effect.
    if (fSilent)
        return;
    const bool drop = fDropNext > 0;
    if (drop)
        --fDropNext;
    QByteArray reply = makeReply(frame);
    if (reply.isEmpty() || drop)
        return;
    if (fRepeatReplies)
        reply += reply;
    enqueue(std::move(reply), arrivalNs, int(frame.size()));
}

QByteArray TQelSim::makeReply(const QByteArray& frame)
{
    const uint8_t code = uint8_t(frame[3]);
    const char* f = frame.constData();
    // Parameters beyond the frame's own bytes mean a malformed request: not served.
    auto fits = [&](int bodyBytes) { return frame.size() >= 4 + bodyBytes + 4; };

    if (fBusy && (code == dcArchHead || code == dcArchBlock || code == dcArchSamples))
        return qelproto::buildFrame(dcMeasIsGoing, {});

    switch (code) {
    case dcDevInfo: {
        QByteArray body(4, '\0');
        body.append(reinterpret_cast<const char*>(&fInfo), sizeof fInfo);
        return qelproto::buildFrame(dcDevInfo, body);
    }
    case dcMatRead:
        return qelproto::buildFrame(dcMatRead, fMatCfg);
    case dcMatWrite:
        if (!fits(kMatCfgSize))
            return {};
        fMatCfg = frame.mid(4, kMatCfgSize);
        return qelproto::buildFrame(dcMatWrite, {});
    case dcObjRead:
        return qelproto::buildFrame(dcObjRead, fObjCfg);
    case dcObjWrite:
        if (!fits(kObjCfgSize))
            return {};
        fObjCfg = frame.mid(4, kObjCfgSize);
        return qelproto::buildFrame(dcObjWrite, {});
    case dcArchHead: {
        QByteArray body(4, '\0');
        if (fArchive.isEmpty()) {
            // Head index 1 against a zeroed record: the host sees the mismatch and stops.
            put16(body.data(), 1);
            body.append(QByteArray(qelproto::kRecordSize, '\0'));
        } else {
            const TArchQEL& first = fArchive.first().ArchRes;
            put16(body.data(), first.Base.AbsIndex);
            put16(body.data() + 2,
                  uint16_t(fAnnounced >= 0 ? fAnnounced
                                           : std::min<qsizetype>(fArchive.size(), kMaxArchive)));
            body.append(recordBytes(first));
        }
        return qelproto::buildFrame(dcArchHead, body);
    }
    case dcArchBlock: {
        const uint16_t after = le16(f + 4);
        QByteArray body(4, '\0');
        const auto it = std::find_if(fArchive.cbegin(), fArchive.cend(), [after](const auto& r) {
            return r.ArchRes.Base.AbsIndex == after;
        });
        if (it != fArchive.cend()) {
            const qsizetype from = (it - fArchive.cbegin()) + 1;
            const qsizetype n = std::min<qsizetype>(fRecordsPerReply, fArchive.size() - from);
            body[0] = char(fLyingCounts ? std::min<qsizetype>(n + 5, 255) : n);
            for (qsizetype i = from; i < from + n; ++i)
                body.append(recordBytes(fArchive[i].ArchRes));
        }
        return qelproto::buildFrame(dcArchBlock, body);
    }
    case dcArchSamples: {
        const uint16_t abs = le16(f + 4);
        const uint16_t offset = le16(f + 6);
        QByteArray body(4, '\0');
        const auto it = std::find_if(fArchive.cbegin(), fArchive.cend(), [abs](const auto& r) {
            return r.ArchRes.Base.AbsIndex == abs;
        });
        if (it != fArchive.cend() && offset < it->Samples.size() && !fEmptySamples) {
            const qsizetype n = std::min<qsizetype>(fSamplesPerReply, it->Samples.size() - offset);
            put16(body.data() + 2, uint16_t(fLyingCounts ? n + 100 : n));
            body.append(reinterpret_cast<const char*>(it->Samples.constData() + offset),
                        n * qsizetype(sizeof(uint16_t)));
        }
        return qelproto::buildFrame(dcArchSamples, body);
    }
    case dcResultDelete: {
        // The instrument counts the results to delete in the order it sends them, not by
        // AbsIndex: the numbers need not be contiguous, nor run in that order.
        const uint16_t from = le16(f + 4);
        const uint16_t count = le16(f + 6);
        const auto it = std::find_if(fArchive.cbegin(), fArchive.cend(), [from](const auto& r) {
            return r.ArchRes.Base.AbsIndex == from;
        });
        if (it != fArchive.cend()) {
            const qsizetype at = it - fArchive.cbegin();
            fArchive.remove(at, std::min<qsizetype>(count, fArchive.size() - at));
            setArchive(fArchive);
        }
        return qelproto::buildFrame(dcResultDelete, {});
    }
    case dcClockWrite: {
        if (!fits(6))
            return {};
        ++fClockWrites;
        const QDate d(2000 + int8_t(f[4]), f[5], f[6]);
        const QTime t(f[7], f[8], f[9]);
        fLastClock = d.isValid() && t.isValid() ? QDateTime(d, t) : QDateTime();
        if (fLastClock.isValid())
            fClockOffsetMs = QDateTime::currentDateTime().msecsTo(fLastClock);
        return qelproto::buildFrame(dcClockWrite, {});
    }
    case dcScreenShot:
        return screenReply();
    default:
        return {};
    }
}

QByteArray TQelSim::screenReply()
{
    fScreen.advance(deviceTime());
    const QByteArray entries = fScreen.screenEntries();
    const qsizetype total = entries.size() / qelproto::kScreenEntrySize;
    QByteArray out;
    qsizetype done = 0;
    do {
        const qsizetype m = std::min<qsizetype>(kScreenEntriesPerFrame, total - done);
        const qsizetype size = qelproto::kHeaderSize + m * qelproto::kScreenEntrySize;
        // Screen frames carry no check: the frame ends with its last entry.
        QByteArray fr(size, '\0');
        fr[0] = char(qelproto::kMarker);
        put16(fr.data() + 1, uint16_t(size - 2));
        fr[3] = char(dcScreenShot);
        fr[4] = done + m == total ? 1 : 0;
        put16(fr.data() + 6, uint16_t(m));
        std::memcpy(fr.data() + 8, entries.constData() + done * qelproto::kScreenEntrySize,
                    size_t(m * qelproto::kScreenEntrySize));
        out.append(fr);
        done += m;
    } while (done < total);
    return out;
}

void TQelSim::enqueue(QByteArray reply, qint64 arrivalNs, int requestSize)
{
    // 8N1: ten bit times per byte.
    const double nsPerByte = fBaud > 0 ? 1e10 / fBaud : 0.0;
    qint64 t = arrivalNs + qint64(requestSize * nsPerByte) + qint64(fReplyDelayMs) * 1000000;
    t = std::max(t, fLineFreeNs);

    qsizetype pos = 0;
    while (pos < reply.size()) {
        qsizetype len = reply.size() - pos;
        if (fSplit) {
            len = std::min<qsizetype>(len, 1 + fSplitRng.bounded(fSplitMaxPiece));
            if (pos > 0)
                t += qint64(fSplitRng.bounded(fSplitMaxPauseMs + 1)) * 1000000;
        }
        if (nsPerByte > 0) {
            // Each chunk goes out when its last byte would have left the wire.
            for (qsizetype c = 0; c < len; c += 64) {
                const qsizetype clen = std::min<qsizetype>(64, len - c);
                t += qint64(clen * nsPerByte);
                fOut.push_back({reply.mid(pos + c, clen), t});
            }
        } else {
            fOut.push_back({reply.mid(pos, len), t});
        }
        pos += len;
    }
    fLineFreeNs = t;
    pump();
}

void TQelSim::pump()
{
    if (!isRunning())
        return;
    const qint64 now = nowNs();
    while (!fOut.empty() && fOut.front().dueNs <= now) {
        fWriteBuf.append(fOut.front().bytes);
        fOut.pop_front();
    }
    flushWrite();
    if (!fOut.empty()) {
        const qint64 waitNs = fOut.front().dueNs - now;
        fOutTimer->start(int((waitNs + 999999) / 1000000));
    }
}

void TQelSim::onWritable()
{
    flushWrite();
}

void TQelSim::flushWrite()
{
    if (fPipe) {
        // An in-process line takes everything at once.
        fBytesWritten += fWriteBuf.size();
        fPipe->send(fWriteBuf);
        fWriteBuf.clear();
        return;
    }
    while (!fWriteBuf.isEmpty()) {
        const ssize_t n = ::write(fMaster, fWriteBuf.constData(), size_t(fWriteBuf.size()));
        if (n > 0) {
            fBytesWritten += n;
            fWriteBuf.remove(0, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host is not reading fast enough: go on when the pty takes more.
            fWriteNotifier->setEnabled(true);
            return;
        }
        qWarning("qel-sim: write: %s", n < 0 ? std::strerror(errno) : "nothing written");
        fWriteBuf.clear();
        break;
    }
    if (fWriteNotifier)
        fWriteNotifier->setEnabled(false);
}
