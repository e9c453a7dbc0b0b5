// Ordering the archive, dropping copies of one measurement, and removing blocks of results.
#include "device/QelBase.h"

#include <QPointer>
#include <algorithm>
#include <vector>

namespace {

// The identifying fields as one integer that orders like CompareResults, reversed: a larger
// key is newer. The signed bytes are offset by 0x80 so that they order as unsigned.
uint64_t resultKey(const TArchBase& b)
{
    const auto ord = [](int8_t v) { return uint64_t(uint8_t(v) ^ 0x80u); };
    const TQelDateTime& d = b.DateTime;
    return ord(d.Year) << 48 | ord(d.Month) << 40 | ord(d.Day) << 32 | ord(d.Hour) << 24 |
           ord(d.Minute) << 16 | uint64_t(b.Num);
}

} // namespace

int TQelBase::CompareResults(const TCalcQEL& x, const TCalcQEL& y)
{
    const TArchBase& a = x.ArchRes.Base;
    const TArchBase& b = y.ArchRes.Base;
    const int8_t xs[] = {a.DateTime.Year, a.DateTime.Month, a.DateTime.Day, a.DateTime.Hour,
                         a.DateTime.Minute};
    const int8_t ys[] = {b.DateTime.Year, b.DateTime.Month, b.DateTime.Day, b.DateTime.Hour,
                         b.DateTime.Minute};
    for (int i = 0; i < 5; ++i) {
        if (xs[i] != ys[i])
            return xs[i] > ys[i] ? -1 : 1;
    }
    if (a.Num != b.Num)
        return a.Num > b.Num ? -1 : 1;
    return 0;
}

TArchDupStat TQelBase::RemoveDuplicates()
{
    const qsizetype before = fArchive.size();

    // Sort positions by key, newest first; equal keys keep their archive order, so the
    // outcome does not depend on the sort.
    struct Entry
    {
        uint64_t key;
        qsizetype pos;
    };
    std::vector<Entry> order;
    order.reserve(size_t(before));
    for (qsizetype i = 0; i < before; ++i)
        order.push_back({resultKey(fArchive[i].ArchRes.Base), i});
    std::sort(order.begin(), order.end(), [](const Entry& l, const Entry& r) {
        return l.key != r.key ? l.key > r.key : l.pos < r.pos;
    });

    // Of each run of equal keys the first copy with the longest comment stays. Results
    // are moved, never copied: their series can be long.
    QList<TCalcQEL> kept;
    kept.reserve(before);
    for (size_t run = 0; run < order.size();) {
        size_t best = run;
        size_t next = run + 1;
        for (; next < order.size() && order[next].key == order[run].key; ++next) {
            if (fArchive[order[next].pos].UserComment.size() >
                fArchive[order[best].pos].UserComment.size())
                best = next;
        }
        kept.append(std::move(fArchive[order[best].pos]));
        run = next;
    }
    fArchive = std::move(kept); // frees the copies left behind
    fArchTotal = uint16_t(qMin<qsizetype>(fArchive.size(), kMaxArchive));

    TArchDupStat stat;
    stat.Duplicates = int32_t(before - fArchive.size());
    stat.Uniquie = int32_t(fArchive.size());
    stat.New = int32_t(fArchLastReaded) - stat.Duplicates;

    // One removal event per copy dropped, as removing them one by one would give; the
    // archive is already consistent, and a callback that releases us ends the loop.
    for (int32_t i = 0; i < stat.Duplicates && fComCallback; ++i) {
        if (!raise(otResultDelete))
            break;
    }
    return stat;
}

void TQelBase::RemoveResults(int32_t Start, int32_t Count, bool FromDevice)
{
    const auto removable = [this, Start, Count]() -> qsizetype {
        if (Start < 0 || Count <= 0 || Start >= fArchive.size())
            return 0;
        return qMin<qsizetype>(Count, fArchive.size() - Start);
    };

    if (FromDevice) {
        const qsizetype n = removable();
        if (n > 0) {
            // Sent before the local removal: it names the first result by its AbsIndex.
            // The count is what goes here too, so the instrument is never told to delete
            // results beyond the block.
            QPointer<TQelBase> self(this);
            SendResultDeleteReq(fArchive[Start].ArchRes.Base.AbsIndex,
                                uint16_t(qMin<qsizetype>(n, 0xFFFF)));
            if (!self)
                return; // a failed request's event released us
        }
    }

    // Measured again: an event raised by the request may have changed the archive.
    const qsizetype n = removable();
    if (n > 0)
        fArchive.remove(Start, n);
    fArchTotal = uint16_t(qMin<qsizetype>(fArchive.size(), kMaxArchive));

    // From the device, the event comes with the instrument's reply.
    if (!FromDevice)
        raise(otResultDelete);
}
