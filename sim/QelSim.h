// The instrument side of the serial link on a pseudo-terminal: the host opens slavePath()
// like any serial port. Everything runs from the event loop of the thread the object lives
// in (call start() there); no call blocks, so the host may share that event loop.
#pragma once

#include "SimScreen.h"
#include "data/QelTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <deque>

class QSocketNotifier;
class QTimer;
class TPipePort;

class TQelSim : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMinRequestSize = 12;
    static constexpr int kMaxRequestSize = 492;
    // Samples that fit in the largest frame the host takes (that of 255 records).
    static constexpr int kMaxSamplesPerReply = 11220;
    // Entries in one screen frame: 8 header bytes and 248 entries make 1000 bytes.
    static constexpr int kScreenEntriesPerFrame = 248;

    // Starts with identity DevType 1, serial 2053, the Russian factory catalogues and an
    // archive of 20 generated results.
    explicit TQelSim(QObject* parent = nullptr);
    ~TQelSim() override;

    // The line start() plugs the instrument into: a pseudo-terminal that any serial port
    // opens, or an in-process line (for one thread: the host's event loop serves both).
    enum TLine
    {
        linePty,
        linePipe
    };
    void setLine(TLine line) { fLine = line; }

    // Opens a new line and serves it; false (see errorString) when none opens.
    // Calling it again after stop() or unplug() plugs the instrument in again, under a
    // path that may differ. The contents (archive, catalogues, clock) are kept.
    bool start();
    // Stops serving and closes the line; output not yet written is discarded.
    void stop();
    // The device went away: both ends close at once, so the host's port sees a hang-up.
    void unplug();
    bool isRunning() const { return fMaster >= 0 || fPipe; }
    QString slavePath() const { return fSlavePath; }
    QString errorString() const { return fError; }

    // Identity (reply 1).
    const TQelInfo& info() const { return fInfo; }
    void setInfo(const TQelInfo& info) { fInfo = info; }
    void setDevType(uint8_t devType) { fInfo.DevType = devType; }
    void setSerialNumber(uint16_t serial) { fInfo.SerialNumber = serial; }

    // Catalogue blocks (replies 3 and 5; requests 4 and 6 replace them). Shorter blocks are
    // padded with zeros, longer ones cut.
    QByteArray materials() const { return fMatCfg; }
    void setMaterials(const QByteArray& block480);
    QByteArray objects() const { return fObjCfg; }
    void setObjects(const QByteArray& block300);

    // The archive in the order it is sent: the head reply serves the first entry, records
    // replies the ones after it. Results are named by their AbsIndex, as the host names
    // them. A delete request removes the named result and the ones after it in this order.
    const QList<TCalcQEL>& archive() const { return fArchive; }
    void setArchive(const QList<TCalcQEL>& archive);
    // Records per records reply, 0..255 (0 answers every records request with none).
    void setRecordsPerReply(int n);
    int recordsPerReply() const { return fRecordsPerReply; }
    // Samples per samples reply, 1..kMaxSamplesPerReply.
    void setSamplesPerReply(int n);
    int samplesPerReply() const { return fSamplesPerReply; }

    // Screen (reply 12): the drawn picture, or entries set here.
    TSimScreen& screen() { return fScreen; }
    void setScreenEntries(const QByteArray& entries) { fScreen.setScreenEntries(entries); }

    // Clock (request 11): the time last written, invalid until one is or when the bytes
    // form no valid date; clockWrites() counts the requests.
    QDateTime lastClock() const { return fLastClock; }
    int clockWrites() const { return fClockWrites; }
    // The instrument's own time: the last clock written, running on; the PC's before that.
    QDateTime deviceTime() const;

    // Behaviour.
    // Busy measuring: requests 7, 8 and 9 get reply 254 instead.
    void setBusy(bool busy) { fBusy = busy; }
    // A hung instrument: requests are recorded, but nothing takes effect or is answered.
    void setSilent(bool silent) { fSilent = silent; }
    // Time the instrument takes before it starts a reply.
    void setReplyDelayMs(int ms) { fReplyDelayMs = qMax(0, ms); }
    // Paces output to an 8N1 line of this rate (0: as fast as the pty takes it).
    void setBaud(int baud) { fBaud = qMax(0, baud); }
    // Every reply goes out in random pieces with random pauses, reproducibly for a seed.
    void setSplit(bool on, quint32 seed = 1);
    // Limits of the pieces and pauses of split output (defaults 256 bytes, 20 ms).
    void setSplitLimits(int maxPieceBytes, int maxPauseMs);
    // The replies to the next n accepted requests are lost: the requests take effect, but
    // nothing is sent back.
    void setDropNext(int n) { fDropNext = qMax(0, n); }
    // Faults of a broken instrument: every reply sent twice; a head reply that announces
    // this many records whatever the archive holds (-1: what it holds); samples replies
    // that carry none.
    void setRepeatReplies(bool on) { fRepeatReplies = on; }
    void setAnnouncedCount(int n) { fAnnounced = n; }
    void setEmptySamples(bool on) { fEmptySamples = on; }
    // Records and samples replies whose count fields claim more than the replies carry.
    void setLyingCounts(bool on) { fLyingCounts = on; }
    // Writes the bytes at once, ahead of any reply still waiting for its time.
    void queueRaw(const QByteArray& bytes);

    // Every accepted request frame, whole, in order of arrival (the code is byte 3).
    const QList<QByteArray>& requests() const { return fRequests; }
    void clearRequests() { fRequests.clear(); }
    int requestCount(int code) const;
    // Received bytes thrown away: bad length or marker, failed check, stale partial frame.
    qint64 droppedBytes() const { return fDroppedBytes; }
    // Frames with a plausible length whose check failed.
    int badFrames() const { return fBadFrames; }
    // Reply bytes handed to the pty so far.
    qint64 bytesWritten() const { return fBytesWritten; }
    // Reply bytes not yet handed to the pty.
    qint64 pendingOutput() const;

signals:
    // An accepted request, before its reply is made: a slot may still change how it is
    // answered (busy, drop, unplug).
    void requestReceived(int code);

private:
    struct TPiece
    {
        QByteArray bytes;
        qint64 dueNs;
    };

    bool startPty();
    void closePty();
    void onReadable();
    void received(const char* bytes, qsizetype size);
    void onWritable();
    // Cuts whole frames off the input; with flush, bytes that wait for more are dropped.
    void parseInput(qint64 arrivalNs, bool flush);
    void onStaleInput();
    void handleRequest(const QByteArray& frame, qint64 arrivalNs);
    QByteArray makeReply(const QByteArray& frame);
    QByteArray screenReply();
    void enqueue(QByteArray reply, qint64 arrivalNs, int requestSize);
    void pump();
    void flushWrite();
    qint64 nowNs() const { return fClock.nsecsElapsed(); }

    TLine fLine = linePty;
    TPipePort* fPipe = nullptr;
    int fMaster = -1;
    qint64 fBytesWritten = 0;
    int fSlave = -1;
    QString fSlavePath;
    QString fError;
    QSocketNotifier* fReadNotifier = nullptr;
    QSocketNotifier* fWriteNotifier = nullptr;
    QTimer* fOutTimer = nullptr;
    QTimer* fStaleTimer = nullptr;
    QElapsedTimer fClock;

    QByteArray fIn;
    std::deque<TPiece> fOut;
    QByteArray fWriteBuf;
    qint64 fLineFreeNs = 0;

    TQelInfo fInfo{};
    QByteArray fMatCfg;
    QByteArray fObjCfg;
    QList<TCalcQEL> fArchive;
    int fRecordsPerReply = 16;
    int fSamplesPerReply = 500;
    TSimScreen fScreen;
    QDateTime fLastClock;
    int fClockWrites = 0;
    qint64 fClockOffsetMs = 0;

    bool fBusy = false;
    bool fSilent = false;
    int fReplyDelayMs = 0;
    int fBaud = 0;
    bool fSplit = false;
    QRandomGenerator fSplitRng;
    int fSplitMaxPiece = 256;
    int fSplitMaxPauseMs = 20;
    int fDropNext = 0;
    bool fRepeatReplies = false;
    int fAnnounced = -1;
    bool fEmptySamples = false;
    bool fLyingCounts = false;

    QList<QByteArray> fRequests;
    qint64 fDroppedBytes = 0;
    int fBadFrames = 0;
};
