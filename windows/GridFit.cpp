#include "GridFit.h"

#include "data/StringGrid.h"

#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QTableView>

namespace {

constexpr int kCellPadding = 15;

// Cell texts are short; FNV-1a over their UTF-16 units hashes them several times faster than
// the general string hash, which dominated fitting a full archive.
struct TextKey
{
    QString text;
    bool operator==(const TextKey& other) const { return text == other.text; }
};

size_t qHash(const TextKey& key, size_t seed)
{
    quint64 h = 14695981039346656037ULL ^ seed;
    for (QChar c : key.text) {
        h ^= c.unicode();
        h *= 1099511628211ULL;
    }
    return size_t(h);
}

} // namespace

QList<int> FitColumnWidths(const TStringGrid& grid,
                           const std::function<int(const QString&)>& textWidth, int clientWidth)
{
    const int cols = grid.colCount();
    if (cols < 3)
        return {};
    const int rows = grid.rowCountAll();
    // Row by row, as the grid stores its cells; a text seen before costs a look-up only.
    QHash<TextKey, int> known;
    known.reserve(qMin(qsizetype(rows) * 2, qsizetype(1) << 20));
    QList<int> widest(cols, 0);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            TextKey key{grid.cell(c, r)};
            if (key.text.isEmpty())
                continue;
            auto it = known.constFind(key);
            if (it == known.cend())
                it = known.insert(key, textWidth(key.text));
            if (*it > widest[c])
                widest[c] = *it;
        }
    }
    QList<int> widths(cols);
    qint64 sum = 0;
    for (int c = 0; c < cols; ++c) {
        widths[c] = widest[c] + kCellPadding;
        sum += widths[c];
    }
    if (clientWidth > sum) {
        // The spare width less a pixel per grid line; a view only just wider than the texts
        // leaves nothing to give, and no column is narrowed below its text.
        const qint64 grow = clientWidth - sum - cols - 1;
        if (grow > 0)
            widths[cols > 4 ? 3 : 1] += int(grow);
    }
    return widths;
}

void FitGridColumns(QTableView* view, TStringGrid& grid)
{
    if (!view)
        return;
    const QFontMetrics metrics(view->font());
    const QList<int> widths = FitColumnWidths(
        grid, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); },
        view->viewport()->width());
    QHeaderView* header = view->horizontalHeader();
    const int n = qMin(int(widths.size()), header->count());
    for (int c = 0; c < n; ++c)
        header->resizeSection(c, widths[c]);
}
