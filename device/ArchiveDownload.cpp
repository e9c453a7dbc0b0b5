// Archive download: a stop-and-wait walk driven by the replies. The head reply brings the
// first record and the count, records replies the rest, then every new record's series
// comes in parts. Each reply writes the next request itself. The walk is an explicit state:
// a reply is taken only in the state that asked for it and only when it answers the request
// sent; anything else is ignored and changes nothing.
#include "QelBase.h"

#include <cstring>

using namespace qelproto;

namespace {

// The check that ends a reply frame: its data ends before it.
constexpr int kCheckSize = 4;

bool sameResult(const TArchBase& a, const TArchBase& b)
{
    return a.AbsIndex == b.AbsIndex && a.Num == b.Num &&
           std::memcmp(&a.DateTime, &b.DateTime, sizeof a.DateTime) == 0;
}

} // namespace

void TQelBase::ReadArchive()
{
    // One download at a time: a second one would append the same records again and share
    // the first one's cursor.
    if (fArchState != asIdle)
        return;
    // The results held now; downloaded ones go after them.
    fArchStart = uint16_t(fArchive.size());
    fArchTotal = fArchStart;
    fArchOutcome = {};
    fArchLoadProg = {};
    fArchSeen.assign(0x10000, false);
    fArchState = asHead;
    ++fArchRun;
    SendArchHeadReq();
}

bool TQelBase::answersLastRequest() const
{
    return fReader.consumed() > fArchAskedAt;
}

void TQelBase::endDownload(bool finished)
{
    if (fArchState == asIdle)
        return;
    fArchState = asIdle;
    ++fArchRun;
    fArchOutcome.Finished = finished;
    fArchSeen = {};
    settle(dueArchive);
}

bool TQelBase::breakDownload()
{
    if (fArchState == asIdle)
        return true;
    endDownload(false);
    return raise(otArchReadComplete);
}

bool TQelBase::raiseInDownload(TOperationType op)
{
    const unsigned run = fArchRun;
    if (!raise(op))
        return false;
    return fArchRun == run;
}

bool TQelBase::onArchHead(const QByteArray& frame)
{
    if (fArchState != asHead || !answersLastRequest())
        return true; // no head is due: a stray or repeated reply
    if (frame.size() < kHeaderSize + kRecordSize)
        return true; // too short to carry its record: not a head reply
    const char* f = frame.constData();
    const uint16_t head = le16(f + 4);
    const int count = le16(f + 6);
    TArchQEL rec;
    std::memcpy(&rec, f + kHeaderSize, sizeof rec);

    if (int(fArchive.size()) + count > kMaxArchive) {
        // The 16-bit counters would wrap: refuse the whole download, keep what is held.
        fArchStart = 0;
        fArchTotal = uint16_t(fArchive.size());
        endDownload(false);
        return raise(otArchTooLarge);
    }
    fArchHead = head;
    fArchTotal = uint16_t(fArchStart + count);
    fArchOutcome.Announced = count;
    fArchLoadProg.Total = 2 * count;
    fArchLoadProg.Current = 0;

    if (count == 0 || rec.Base.AbsIndex != head) {
        // An empty archive: nothing was announced that could be missing.
        fArchOutcome.Announced = 0;
        endDownload(true);
        return raise(otArchReadComplete);
    }
    fArchive.reserve(fArchTotal);
    TCalcQEL result;
    result.ArchRes = rec;
    fArchive.append(std::move(result));
    fArchSeen[rec.Base.AbsIndex] = true;
    fArchOutcome.Received = 1;
    fArchLoadProg.Current += 1;

    // More records are due only while the list is short of the total. (Comparing the
    // total with 1 would ask again when results were held before, and the instrument's
    // empty answer would end the download before the series of the one new record.)
    if (fArchive.size() < fArchTotal) {
        fArchState = asRecords;
        SendArchBlockReq(rec.Base.AbsIndex);
        return true;
    }
    return beginSamplePhase();
}

bool TQelBase::onArchBlock(const QByteArray& frame)
{
    if (fArchState != asRecords || !answersLastRequest())
        return true; // no records are due: a stray or repeated reply
    const char* f = frame.constData();
    const int room = int(fArchTotal) - int(fArchive.size());
    // Clamped to the records the frame holds and to the total announced by the head.
    int n = uint8_t(f[4]);
    n = qMin(n, (int(frame.size()) - kHeaderSize) / kRecordSize);
    n = qMin(n, room);
    for (int i = 0; i < n; ++i) {
        TArchBase b;
        std::memcpy(&b, f + kHeaderSize + i * kRecordSize, sizeof b);
        if (fArchSeen[b.AbsIndex] || b.AbsIndex == fArchAskedAfter)
            return true; // records this download holds already: not the answer asked for
    }
    if (n <= 0) {
        // The instrument has no more records: the download ends here, without the series
        // of the records that came, and the outcome says so.
        fArchOutcome.Incomplete = fArchOutcome.Received;
        endDownload(true);
        return raise(otArchReadComplete);
    }

    for (int i = 0; i < n; ++i) {
        TCalcQEL result;
        std::memcpy(&result.ArchRes, f + kHeaderSize + i * kRecordSize, kRecordSize);
        fArchSeen[result.ArchRes.Base.AbsIndex] = true;
        fArchive.append(std::move(result));
    }
    fArchOutcome.Received += n;
    fArchLoadProg.Current += n;

    if (fArchive.size() >= fArchTotal)
        return beginSamplePhase();
    if (!raiseInDownload(otArchReadContinue))
        return false;
    if (fArchState != asRecords)
        return true;
    SendArchBlockReq(fArchive.constLast().ArchRes.Base.AbsIndex);
    return true;
}

bool TQelBase::beginSamplePhase()
{
    fArchState = asSamples;
    fArchSamples.startIdx = fArchStart;
    fArchSamples.curIdx = 0;
    fArchSamples.curOffset = 0;
    fArchLastReaded = uint16_t(fArchTotal - fArchStart);
    fArchStart = 0;
    if (!raiseInDownload(otArchReadContinue))
        return false;
    if (fArchState != asSamples)
        return true;
    requestNextSamples();
    return true;
}

void TQelBase::requestNextSamples()
{
    const TCalcQEL& r = fArchive[fArchSamples.startIdx + fArchSamples.curIdx];
    fArchSamples.id = r.ArchRes.Base;
    SendArchSamplesReq(r.ArchRes.Base.AbsIndex, fArchSamples.curOffset);
}

bool TQelBase::onArchSamples(const QByteArray& frame)
{
    if (fArchState != asSamples || !answersLastRequest())
        return true; // no series is due: a stray or repeated reply
    const qsizetype idx = qsizetype(fArchSamples.startIdx) + fArchSamples.curIdx;
    // The results cannot change while the download runs; the identity check keeps a
    // reply out of any result but the one asked for all the same.
    if (idx >= fArchive.size() || !sameResult(fArchive[idx].ArchRes.Base, fArchSamples.id)) {
        endDownload(false);
        return raise(otArchReadComplete);
    }
    TCalcQEL& result = fArchive[idx];
    const int sampleCount = result.ArchRes.SampleCount;
    if (fArchSamples.curOffset == 0)
        result.Samples.resize(sampleCount); // the one allocation of this series

    const char* f = frame.constData();
    int n = le16(f + 6);
    n = qMin(n, (int(frame.size()) - kHeaderSize - kCheckSize) / 2);
    // Bounded by what the series holds as well as by SampleCount.
    n = qMin(n, int(qMin<qsizetype>(sampleCount, result.Samples.size())) -
                    int(fArchSamples.curOffset));
    if (n > 0) {
        std::memcpy(result.Samples.data() + fArchSamples.curOffset, f + kHeaderSize, size_t(n) * 2);
        fArchSamples.curOffset += uint16_t(n);
    }

    bool seriesDone = fArchSamples.curOffset >= sampleCount;
    if (!seriesDone && n <= 0) {
        // The instrument has no more samples of this record: keep those received and go
        // on, instead of asking for the same part for ever.
        result.Samples.resize(fArchSamples.curOffset);
        fArchOutcome.Incomplete += 1;
        seriesDone = true;
    }
    if (seriesDone) {
        fArchSamples.curOffset = 0;
        fArchSamples.curIdx += 1;
        fArchLoadProg.Current += 1;
        if (!raiseInDownload(otArchReadContinue))
            return false;
        if (fArchState != asSamples)
            return true;
    }
    if (qsizetype(fArchSamples.startIdx) + fArchSamples.curIdx < fArchive.size()) {
        requestNextSamples();
        return true;
    }
    endDownload(true);
    return raise(otArchReadComplete);
}
