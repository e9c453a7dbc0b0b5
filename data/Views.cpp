// Filling of the results table and the pressure graph, and the texts copied from them.
#include "Views.h"

#include "Formats.h"
#include "StringGrid.h"
#include "i18n/Messages.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

constexpr int kBasicCols = 11;
constexpr int kPatmCol = 9;
constexpr int kNameLen = 15;

const QString kDash = QStringLiteral("\u2014");

// Captions of row 0 as (Russian, English); the Patm caption starts with a Latin P and gets
// the unit caption appended.
const char16_t* const kBasicCaptions[kBasicCols][2] = {
    {u"Дата", u"Date"},
    {u"Время", u"Time"},
    {u"№", u"№"},
    {u"W", u"W"},
    {u"Объект", u"Object"},
    {u"Материал", u"Material"},
    {u"m, с/см³", u"m, s/cm³"},
    {u"a, см³/с", u"a, cm³/s"},
    {u"h, см", u"h, cm"},
    {u"Pатм, ", u"Patm, "},
    {u"t, °C", u"t, °C"},
};

int langIndex(TLang lang)
{
    return lang == enUS ? 1 : 0;
}

// A table of tens of thousands of results repeats few distinct days and minutes. Each text
// is made once per fill and then shared: the format functions are pure, so a cached text is
// exactly the one they would write again, and sharing it costs no allocation.
template <typename Key, typename Make>
const QString& cached(QHash<Key, QString>& cache, const Key& key, Make make)
{
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, make());
    return it.value();
}

// Names of a fill: the few catalogue names recur on every row. A small direct-mapped table
// keyed by the name's bytes keeps them without allocating per row; a name that misses is
// decoded again, so any number of distinct names stays correct.
class NameCache
{
public:
    const QString& name(const char* bytes)
    {
        // The key is only the bytes that decodeName reads: up to the first zero, at most 15.
        const size_t len = qstrnlen(bytes, kNameLen);
        uint32_t h = 2166136261u;
        for (size_t i = 0; i < len; ++i)
            h = (h ^ uint8_t(bytes[i])) * 16777619u;
        Slot& slot = fSlots[(h ^ (h >> 16)) % fSlots.size()];
        if (!slot.used || slot.len != len || std::memcmp(slot.key, bytes, len) != 0) {
            slot.used = true;
            slot.len = len;
            std::memcpy(slot.key, bytes, len);
            slot.text = qelfmt::decodeName(bytes, kNameLen);
        }
        return slot.text;
    }

private:
    struct Slot
    {
        bool used = false;
        size_t len = 0;
        char key[kNameLen];
        QString text;
    };
    std::array<Slot, 256> fSlots;
};

constexpr std::array<uint64_t, 13> kPow10 = [] {
    std::array<uint64_t, 13> p{};
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}();

// Fixed P/D of a float32 exactly as qelfmt::fixed writes it, without its 18-digit decimal
// expansion. fixed() rounds the value's 18 significant digits half away from zero at q
// decimals. A float is a / 2^s with a < 2^24, so a rounding tie t of q decimals is either
// the float itself or farther from it than 10^(E-1-q) / 2^25 (E: the float's decimal
// exponent), which for q <= 9 exceeds 0.5 * 10^(E-18), the error of the 18 digits. The 18
// digits thus round as the exact float does, and rounding the float in integers gives the
// same text. Values that fixed() writes in scientific notation, NaN and the infinities go
// to fixed() itself.
template <int P, int D> QString floatFixed(float v, QChar sep)
{
    static_assert(P >= 2 && P <= 6 && D >= 0 && D <= 3);
    const double x = std::fabs(double(v));
    if (!(x < double(kPow10[P])))
        return qelfmt::fixed(static_cast<long double>(v), P, D, sep);

    int intDigits = 0;
    while (intDigits < P && x >= double(kPow10[intDigits]))
        ++intDigits;
    // fixed() keeps the fewer of P significant digits and D decimals.
    const int q = std::min(P - intDigits, D);

    // |v| = mant * 2^-shift exactly; shift >= 4 as |v| < 10^6 < 2^20.
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    const int expBits = int((bits >> 23) & 0xFF);
    uint64_t mant = bits & 0x7FFFFF;
    int shift = 149;
    if (expBits != 0) {
        mant |= 0x800000;
        shift = 150 - expBits;
    }
    const uint64_t scaled = mant * kPow10[q]; // < 2^34
    const uint64_t n = shift >= 63 ? 0 : (scaled + (uint64_t(1) << (shift - 1))) >> shift;
    if (n >= kPow10[P + q]) // rounded up to P + 1 integer digits: fixed() goes scientific
        return qelfmt::fixed(static_cast<long double>(v), P, D, sep);

    const uint64_t shown = n * kPow10[D - q];
    uint64_t intPart = shown / kPow10[D];
    uint64_t frac = shown % kPow10[D];

    char16_t buf[16];
    char16_t* const end = buf + std::size(buf);
    char16_t* p = end;
    for (int i = 0; i < D; ++i) {
        *--p = char16_t(u'0' + frac % 10);
        frac /= 10;
    }
    if (D > 0)
        *--p = sep.unicode();
    do {
        *--p = char16_t(u'0' + intPart % 10);
        intPart /= 10;
    } while (intPart);
    if ((bits >> 31) && shown != 0)
        *--p = u'-';
    return QString(reinterpret_cast<const QChar*>(p), qsizetype(end - p));
}

// An optional prefix and an unsigned decimal number, made with one allocation.
QString unsignedText(quint32 v, char16_t prefix = 0)
{
    char16_t buf[11];
    char16_t* end = buf + std::size(buf);
    char16_t* p = end;
    do {
        *--p = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v);
    if (prefix)
        *--p = prefix;
    return QString(reinterpret_cast<const QChar*>(p), qsizetype(end - p));
}

} // namespace

void FillBasicGrid(TStringGrid& Grid, QList<TCalcQEL>& results, TLang lang, EPressureUnits unit)
{
    const int li = langIndex(lang);
    const qsizetype count = results.size();
    const int rows = count == 0 ? 2 : int(count) + 1;

    Grid.beginFill();
    Grid.setSize(kBasicCols, rows);
    for (int c = 0; c < kBasicCols; ++c) {
        QString caption = QString::fromUtf16(kBasicCaptions[c][li]);
        if (c == kPatmCol)
            caption += qelfmt::unitCaption(unit, lang);
        Grid.setCell(c, 0, caption);
    }

    if (count == 0) {
        // setSize keeps the cells that stay: row 1 may still hold a removed result.
        for (int c = 0; c < kBasicCols; ++c)
            Grid.setCell(c, 1, QString());
        Grid.endFill();
        return;
    }

    const QChar sep = qelfmt::decimalSeparator();
    NameCache names;
    QHash<int, QString> dates;
    QHash<int, QString> times;

    for (qsizetype i = 0; i < count; ++i) {
        // A stored m that is not a number or infinite becomes 0 for good, so that the table,
        // the file and the reports agree on it. Written only when needed: the write may
        // detach the shared list.
        if (!std::isfinite(std::as_const(results)[i].ArchRes.M))
            results[i].ArchRes.M = 0.0f;
        const TArchQEL& r = std::as_const(results)[i].ArchRes;
        const int row = int(i) + 1;
        const TQelDateTime& dt = r.Base.DateTime;

        const int dateKey =
            (int(uint8_t(dt.Year)) << 16) | (int(uint8_t(dt.Month)) << 8) | int(uint8_t(dt.Day));
        Grid.setCell(0, row, cached(dates, dateKey, [&] { return qelfmt::dateText(dt); }));
        const int timeKey = (int(uint8_t(dt.Hour)) << 8) | int(uint8_t(dt.Minute));
        Grid.setCell(1, row, cached(times, timeKey, [&] { return qelfmt::timeText(dt); }));

        Grid.setCell(2, row, unsignedText(r.Base.Num));
        Grid.setCell(3, row, unsignedText(r.W, u'W'));

        Grid.setCell(4, row, names.name(r.QelObj.Name));
        Grid.setCell(5, row, names.name(r.QelMat.Name));

        Grid.setCell(6, row, floatFixed<4, 1>(r.M, sep));
        Grid.setCell(7, row, qelfmt::reciprocalText(r.M, sep));
        if (r.MeasMode == 0 || !std::isfinite(r.H))
            Grid.setCell(8, row, kDash);
        else
            Grid.setCell(8, row, floatFixed<4, 2>(r.H, sep));
        Grid.setCell(9, row, floatFixed<4, 2>(ConvertPressure(unit, r.AirCode), sep));
        Grid.setCell(10, row, floatFixed<3, 1>(r.Temperature, sep));
    }
    Grid.endFill();
}

void FillGraph(ISeriesSink& Graph, const TCalcQEL& res, TLang lang, EPressureUnits unit)
{
    const QList<uint16_t>& s = res.Samples;

    Graph.clear();
    // Only samples that are held are plotted: a series still being downloaded (or cut short)
    // is drawn by the same rule over what it holds. A rate of 0 steps nowhere (k = 0), which
    // leaves the first sample at x = 0 and the last held one at x = 1.
    const qsizetype n = std::min<qsizetype>(res.ArchRes.SampleCount, s.size());
    const qsizetype f = res.ArchRes.SampleFreq;
    const qsizetype k = f > 0 ? n / f : 0;
    const auto p = [unit](uint16_t code) { return double(ConvertPressure(unit, code)); };
    if (n >= 1)
        Graph.addPoint(0.0, p(s[0]));
    for (qsizetype i = 0; i < k; ++i)
        Graph.addPoint(double(i + 1), p(s[i * f]));
    if (n >= 2)
        Graph.addPoint(double(k + 1), p(s[n - 1]));
    Graph.resetZoom();

    const QString caption = qelfmt::unitCaption(unit, lang);
    if (lang == enUS)
        Graph.setAxisTitles(QStringLiteral("Pressure, ") + caption, QStringLiteral("Time, s"));
    else
        Graph.setAxisTitles(QStringLiteral("Давление, ") + caption, QStringLiteral("Время, с"));
}

QString TableRowsText(const TStringGrid& grid, const QList<TCalcQEL>& results, int firstRow,
                      int count, TLang lang)
{
    const QChar tab(u'\t');
    const QLatin1StringView eol("\r\n");
    const int cols = grid.colCount();

    QString out;
    for (int c = 0; c < cols; ++c) {
        out += grid.cell(c, 0);
        out += tab;
    }
    out += Msg(msgComment, lang);
    out += tab;
    out += eol;

    // Only data rows that exist: row 0 is the header, and a range past the end (or one whose
    // end overflows) stops at the last row.
    const qint64 from = std::max<qint64>(firstRow, 1);
    const qint64 to = std::min<qint64>(qint64(firstRow) + count, grid.rowCountAll());
    for (qint64 r = from; r < to; ++r) {
        const int row = int(r);
        for (int c = 0; c < cols; ++c) {
            out += grid.cell(c, row);
            out += tab;
        }
        QString comment = row - 1 < results.size() ? results[row - 1].UserComment : QString();
        comment.replace(u'\r', u' ');
        out += comment;
        out += eol;
    }
    return out;
}

QString GraphText(const TRecordingSeries& graph, QChar sep)
{
    const QChar tab(u'\t');
    const QLatin1StringView eol("\r\n");

    QString out = graph.bottomTitle;
    out += tab;
    out += graph.leftTitle;
    out += eol;
    for (qsizetype i = 0; i < graph.points.size(); ++i) {
        QString value = QString::number(graph.points[i].y(), 'g', 15);
        value.replace(u'.', sep);
        out += QString::number(i);
        out += tab;
        out += value;
        out += eol;
    }
    return out;
}
