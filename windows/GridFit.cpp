#include "GridFit.h"

#include "data/StringGrid.h"

#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>

namespace gridfit {

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

} // namespace gridfit

using namespace gridfit;

struct TFitCache
{
    QHash<TextKey, int> known;
};

namespace {

// The widest text of each column over rows [from, to); a text seen before costs a look-up.
void measureRows(const TStringGrid& grid, int from, int to,
                 const std::function<int(const QString&)>& textWidth, QHash<TextKey, int>& known,
                 QList<int>& widest)
{
    const int cols = grid.colCount();
    for (int r = from; r < to; ++r) {
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
}

QList<int> finishWidths(const QList<int>& widest, int clientWidth)
{
    const int cols = int(widest.size());
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

void applyWidths(QTableView* view, const QList<int>& widths)
{
    QHeaderView* header = view->horizontalHeader();
    const int n = qMin(int(widths.size()), header->count());
    for (int c = 0; c < n; ++c)
        header->resizeSection(c, widths[c]);
}

} // namespace

QList<int> FitColumnWidths(const TStringGrid& grid,
                           const std::function<int(const QString&)>& textWidth, int clientWidth)
{
    const int cols = grid.colCount();
    if (cols < 3)
        return {};
    QHash<TextKey, int> known;
    known.reserve(qMin(qsizetype(grid.rowCountAll()) * 2, qsizetype(1) << 20));
    QList<int> widest(cols, 0);
    measureRows(grid, 0, grid.rowCountAll(), textWidth, known, widest);
    return finishWidths(widest, clientWidth);
}

void FitGridColumns(QTableView* view, TStringGrid& grid)
{
    if (!view)
        return;
    const QFontMetrics metrics(view->font());
    applyWidths(
        view, FitColumnWidths(
                  grid, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); },
                  view->viewport()->width()));
}

TColumnFitter::TColumnFitter(QTableView* view, TStringGrid& grid, QObject* parent)
    : QObject(parent), fView(view), fGrid(grid), fCache(std::make_unique<TFitCache>())
{
    fTimer.setSingleShot(true);
    fTimer.setInterval(0);
    connect(&fTimer, &QTimer::timeout, this, &TColumnFitter::step);
    // A refill while a fit runs makes its rows stale: start again.
    connect(&fGrid, &QAbstractItemModel::modelReset, this, [this] {
        if (fTimer.isActive())
            start();
    });
}

TColumnFitter::~TColumnFitter() = default;

void TColumnFitter::start()
{
    fTimer.stop();
    fRow = 0;
    fCache->known.clear();
    fWidest = QList<int>(fGrid.colCount(), 0);
    if (fGrid.colCount() < 3)
        return;
    step();
}

void TColumnFitter::step()
{
    const QFontMetrics metrics(fView->font());
    const auto width = [&metrics](const QString& text) { return metrics.horizontalAdvance(text); };
    const int to = qMin(fGrid.rowCountAll(), fRow + kRowsPerSlice);
    measureRows(fGrid, fRow, to, width, fCache->known, fWidest);
    fRow = to;
    if (fRow < fGrid.rowCountAll()) {
        fTimer.start(); // the rest after the events that are waiting
        return;
    }
    applyWidths(fView, finishWidths(fWidest, fView->viewport()->width()));
    fCache->known.clear();
}
