#include "Merge.h"

#include "i18n/Messages.h"

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

int CompareResults(const TCalcQEL& x, const TCalcQEL& y)
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

TArchDupStat RemoveDuplicates(QList<TCalcQEL>& results, int lastReaded)
{
    const qsizetype before = results.size();

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
        order.push_back({resultKey(results[i].ArchRes.Base), i});
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
            if (results[order[next].pos].UserComment.size() >
                results[order[best].pos].UserComment.size())
                best = next;
        }
        TCalcQEL& keep = results[order[best].pos];
        // A copy cut short (an interrupted download) takes the whole series of another
        // copy of the same measurement: the comment rule must not cost samples.
        const auto whole = [](const TCalcQEL& r) {
            return r.Samples.size() >= r.ArchRes.SampleCount;
        };
        if (!whole(keep)) {
            for (size_t i = run; i < next; ++i) {
                TCalcQEL& other = results[order[i].pos];
                if (whole(other) && other.ArchRes.SampleCount == keep.ArchRes.SampleCount) {
                    keep.Samples = std::move(other.Samples);
                    break;
                }
            }
        }
        kept.append(std::move(keep));
        run = next;
    }
    results = std::move(kept); // frees the copies left behind

    TArchDupStat stat;
    stat.Duplicates = int32_t(before - results.size());
    stat.Uniquie = int32_t(results.size());
    // Duplicates among results held before the read would make it negative.
    stat.New = std::max(0, lastReaded - stat.Duplicates);
    return stat;
}

qsizetype RemoveResultBlock(QList<TCalcQEL>& results, qsizetype start, qsizetype count)
{
    if (start < 0 || count <= 0 || start >= results.size())
        return 0;
    const qsizetype n = std::min(count, results.size() - start);
    results.remove(start, n);
    return n;
}

namespace {

QString countsText(TMsg head, const TArchDupStat& stat, TLang lang)
{
    return Msg(head, lang) + QString::number(stat.Duplicates) + Msg(msgDuplicates, lang) +
           QString::number(stat.Uniquie) + Msg(msgUnique, lang) + QString::number(stat.New) +
           Msg(msgNewEntries, lang);
}

} // namespace

QString ArchReadText(const TArchDupStat& stat, TLang lang)
{
    return countsText(msgArchRead, stat, lang) + u' ';
}

QString FileOpenedText(const TArchDupStat& stat, TLang lang)
{
    return countsText(msgFileOpened, stat, lang);
}

QString ArchIncompleteText(const TArchReadOutcome& outcome, TLang lang)
{
    return Msg(msgArchIncomplete, lang)
        .arg(outcome.Received)
        .arg(outcome.Announced)
        .arg(outcome.Incomplete);
}
