// Archive download: a stop-and-wait walk driven by the replies. The head reply brings the
// first record and the count, records replies the rest, then every new record's series
// comes in parts. Each reply writes the next request itself.
#include "QelBase.h"

#include <cstring>

using namespace qelproto;

void TQelBase::ReadArchive()
{
    // The results held now; downloaded ones go after them. Taken from the list itself, so
    // that a download broken off earlier (which leaves fArchTotal ahead of the list) does
    // not shift this one.
    fArchStart = uint16_t(fArchive.size());
    fArchTotal = fArchStart;
    SendArchHeadReq();
}

bool TQelBase::onArchHead(const QByteArray& frame)
{
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
        return raise(otArchTooLarge);
    }
    fArchHead = head;
    fArchTotal = uint16_t(fArchStart + count);
    fArchive.reserve(fArchTotal);
    fArchLoadProg.Total = 2 * count;
    fArchLoadProg.Current = 0;

    if (count == 0 || rec.Base.AbsIndex != head)
        return raise(otArchReadComplete);

    TCalcQEL result;
    result.ArchRes = rec;
    fArchive.append(std::move(result));
    fArchLoadProg.Current += 1;

    // More records are due only while the list is short of the total. (Comparing the
    // total with 1 would ask again when results were held before, and the instrument's
    // empty answer would end the download before the series of the one new record.)
    if (fArchive.size() < fArchTotal) {
        SendArchBlockReq(rec.Base.AbsIndex);
        return true;
    }
    return beginSamplePhase();
}

bool TQelBase::onArchBlock(const QByteArray& frame)
{
    const char* f = frame.constData();
    const int room = int(fArchTotal) - int(fArchive.size());
    if (room <= 0)
        return true; // no download waits for records: a stray reply
    // Clamped to the records the frame holds and to the total announced by the head.
    int n = uint8_t(f[4]);
    n = qMin(n, (int(frame.size()) - kHeaderSize) / kRecordSize);
    n = qMin(n, room);
    if (n <= 0)
        return raise(otArchReadComplete);

    for (int i = 0; i < n; ++i) {
        TCalcQEL result;
        std::memcpy(&result.ArchRes, f + kHeaderSize + i * kRecordSize, kRecordSize);
        fArchive.append(std::move(result));
    }
    fArchLoadProg.Current += n;

    if (fArchive.size() >= fArchTotal)
        return beginSamplePhase();
    if (!raise(otArchReadContinue))
        return false;
    SendArchBlockReq(fArchive.constLast().ArchRes.Base.AbsIndex);
    return true;
}

bool TQelBase::beginSamplePhase()
{
    fArchSamples.startIdx = fArchStart;
    fArchSamples.curIdx = 0;
    fArchSamples.curOffset = 0;
    fArchLastReaded = uint16_t(fArchTotal - fArchStart);
    fArchStart = 0;
    if (!raise(otArchReadContinue))
        return false;
    requestNextSamples();
    return true;
}

void TQelBase::requestNextSamples()
{
    const int idx = fArchSamples.startIdx + fArchSamples.curIdx;
    SendArchSamplesReq(fArchive[idx].ArchRes.Base.AbsIndex, fArchSamples.curOffset);
}

bool TQelBase::onArchSamples(const QByteArray& frame)
{
    const int idx = fArchSamples.startIdx + fArchSamples.curIdx;
    if (idx >= fArchive.size())
        return true; // no series is due: a stray reply
    TCalcQEL& result = fArchive[idx];
    const int sampleCount = result.ArchRes.SampleCount;
    if (fArchSamples.curOffset == 0)
        result.Samples.resize(sampleCount); // the one allocation of this series

    const char* f = frame.constData();
    int n = le16(f + 6);
    n = qMin(n, (int(frame.size()) - kHeaderSize) / 2);
    n = qMin(n, sampleCount - int(fArchSamples.curOffset));
    if (n > 0) {
        std::memcpy(result.Samples.data() + fArchSamples.curOffset, f + kHeaderSize, size_t(n) * 2);
        fArchSamples.curOffset += uint16_t(n);
    }

    bool seriesDone = fArchSamples.curOffset >= sampleCount;
    if (!seriesDone && n == 0) {
        // The instrument has no more samples of this record: keep those received and go
        // on, instead of asking for the same part for ever.
        result.Samples.resize(fArchSamples.curOffset);
        seriesDone = true;
    }
    if (seriesDone) {
        fArchSamples.curOffset = 0;
        fArchSamples.curIdx += 1;
        fArchLoadProg.Current += 1;
        if (!raise(otArchReadContinue))
            return false;
    }
    if (fArchSamples.startIdx + fArchSamples.curIdx < fArchive.size()) {
        requestNextSamples();
        return true;
    }
    return raise(otArchReadComplete);
}
