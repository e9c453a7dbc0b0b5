#include "ReportPreview.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>
#include <array>

namespace {

constexpr double kMmPerInch = 25.4;
constexpr std::array kZoomSteps{0.25, 0.33, 0.5, 0.67, 0.75, 1.0, 1.25,
                                1.5,  2.0,  3.0, 4.0,  6.0,  8.0};

} // namespace

// ---------------------------------------------------------------- the prepared report

TPreparedReport::TPreparedReport(const TStringGrid& grid, const QList<TCalcQEL>& results,
                                 const TReportChoice& choice, TLang lang, const QImage& graphPixels,
                                 const QDateTime& created, const TLetterhead& letterhead)
    : fResults(results), fKind(choice.kind)
{
    // Only the caption row and the reported rows are read; they keep their row numbers.
    const int cols = grid.colCount();
    const int last = std::min(choice.First + choice.Count, grid.rowCountAll());
    fGrid.beginFill();
    fGrid.setSize(cols, grid.rowCountAll());
    for (int c = 0; c < cols; ++c)
        fGrid.setCell(c, 0, grid.cell(c, 0));
    for (int r = std::max(choice.First, 1); r < last; ++r)
        for (int c = 0; c < cols; ++c)
            fGrid.setCell(c, r, grid.cell(c, r));
    fGrid.endFill();

    TReportLayout layout = layoutFor(choice.kind);
    if (choice.kind == TReportKind::Single)
        frxReportSinglePreview(layout, graphPixels);
    applyLetterhead(layout, letterhead);
    fData = std::make_unique<TReportDataSet>(fGrid, fResults, lang);
    fData->ReportFirstLine = choice.First;
    fData->ReportLinesTotal = choice.Count;
    fEngine = std::make_unique<TReportEngine>(std::move(layout), *fData, created);
    fEngine->paginate();
}

// ---------------------------------------------------------------- pages and zoom

bool TReportPreviewModel::setCurrentPage(int page)
{
    page = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (page == fCurrent)
        return false;
    fCurrent = page;
    return true;
}

void TReportPreviewModel::setZoomFactor(double factor)
{
    fMode = TZoomMode::Factor;
    fFactor = std::clamp(factor, kMinZoom, kMaxZoom);
}

double TReportPreviewModel::zoomFactor(const QSizeF& viewport, double dpi) const
{
    const QSizeF page = pageSizeMm() / kMmPerInch * dpi; // at factor 1
    if (fMode == TZoomMode::Factor || page.isEmpty())
        return fFactor;
    const double w = (viewport.width() - 2 * kPageGap) / page.width();
    const double h = (viewport.height() - 2 * kPageGap) / page.height();
    const double f = fMode == TZoomMode::PageWidth ? w : std::min(w, h);
    return std::clamp(f, kMinZoom, kMaxZoom);
}

void TReportPreviewModel::zoomIn(const QSizeF& viewport, double dpi)
{
    const double now = zoomFactor(viewport, dpi);
    const auto next = std::find_if(kZoomSteps.begin(), kZoomSteps.end(),
                                   [now](double s) { return s > now * 1.001; });
    setZoomFactor(next == kZoomSteps.end() ? kMaxZoom : *next);
}

void TReportPreviewModel::zoomOut(const QSizeF& viewport, double dpi)
{
    const double now = zoomFactor(viewport, dpi);
    const auto prev = std::find_if(kZoomSteps.rbegin(), kZoomSteps.rend(),
                                   [now](double s) { return s < now * 0.999; });
    setZoomFactor(prev == kZoomSteps.rend() ? kMinZoom : *prev);
}

// ---------------------------------------------------------------- find

std::optional<TFindHit> TReportPreviewModel::findNext(const QString& text, TReportPlace from,
                                                      const std::function<bool(int)>& pageDone)
{
    const int n = pageCount();
    if (text.isEmpty() || n == 0)
        return std::nullopt;
    from.page = std::clamp(from.page, 0, n - 1);
    // The page of `from` is searched twice: after `from` first, up to it after the wrap.
    for (int i = 0; i <= n; ++i) {
        const int page = (from.page + i) % n;
        const QList<TReportCell> cells = fEngine.pageCells(page);
        const qsizetype begin = i == 0 ? from.cell + 1 : 0;
        const qsizetype end =
            i == n ? std::min<qsizetype>(from.cell + 1, cells.size()) : cells.size();
        for (qsizetype c = std::max<qsizetype>(begin, 0); c < end; ++c)
            if (cells[c].text.contains(text, Qt::CaseInsensitive))
                return TFindHit{TReportPlace{page, int(c)}, cells[c]};
        if (pageDone && !pageDone(i + 1))
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<TFindHit> TReportPreviewModel::findNext(const QString& text,
                                                      const std::function<bool(int)>& pageDone)
{
    const TReportPlace from = fMarked ? fMarked->place : TReportPlace{fCurrent, -1};
    std::optional<TFindHit> hit = findNext(text, from, pageDone);
    fMarked = hit;
    if (hit)
        fCurrent = hit->place.page;
    return hit;
}

// ---------------------------------------------------------------- painting onto paper

bool paintPages(TReportEngine& engine, QPagedPaintDevice& device, int from, int to,
                const TExportProgress& progress, int* painted)
{
    if (painted)
        *painted = 0;
    from = std::max(from, 0);
    to = std::min(to, engine.pageCount() - 1);
    const int total = std::max(0, to - from + 1);
    QPainter p;
    if (!p.begin(&device))
        return false;
    const double dpi = device.logicalDpiY();
    const QPageLayout pl = device.pageLayout();
    const QRectF full = pl.fullRectPixels(int(dpi));
    const QRectF paintable = pl.paintRectPixels(int(dpi));
    const QSizeF paper = engine.layout().paper / kMmPerInch * dpi;
    const double scale =
        paper.isEmpty() ? 1
                        : std::min(full.width() / paper.width(), full.height() / paper.height());
    bool stopped = false;
    for (int i = from; i <= to; ++i) {
        if (progress && !progress(i - from, total)) {
            stopped = true;
            break;
        }
        if (i > from && !device.newPage()) {
            stopped = true;
            break;
        }
        p.save();
        // The painter starts at the paintable area's corner; the report's paper corner
        // goes on the paper's.
        p.translate(-paintable.topLeft());
        p.scale(scale, scale);
        engine.paintPage(p, i);
        p.restore();
        if (painted)
            ++*painted;
    }
    if (!stopped && progress && !progress(total, total))
        stopped = true;
    p.end();
    return !stopped;
}

// ---------------------------------------------------------------- export targets

QList<TExportFormat> exportFormats()
{
    return {TExportFormat::Pdf,  TExportFormat::Html, TExportFormat::Text, TExportFormat::Bmp,
            TExportFormat::Jpeg, TExportFormat::Gif,  TExportFormat::Csv,  TExportFormat::Xlsx};
}

QString exportFilter(TExportFormat format)
{
    switch (format) {
    case TExportFormat::Pdf:
        return QStringLiteral("PDF (*.pdf)");
    case TExportFormat::Html:
        return QStringLiteral("HTML (*.html *.htm)");
    case TExportFormat::Text:
        return QStringLiteral("TXT (*.txt)");
    case TExportFormat::Bmp:
        return QStringLiteral("BMP (*.bmp)");
    case TExportFormat::Jpeg:
        return QStringLiteral("JPEG (*.jpg *.jpeg)");
    case TExportFormat::Gif:
        return QStringLiteral("GIF (*.gif)");
    case TExportFormat::Csv:
        return QStringLiteral("CSV (*.csv)");
    case TExportFormat::Xlsx:
        return QStringLiteral("Excel (*.xlsx)");
    }
    return {};
}

TExportTarget exportTargetFor(const QString& path, TExportFormat filterFormat)
{
    if (const std::optional<TExportFormat> named = exportFormatForPath(path))
        return TExportTarget{path, *named};
    return TExportTarget{path + u'.' + exportExtension(filterFormat), filterFormat};
}

QString exportSuggestedName(const QString& title, TExportFormat format)
{
    QString name = title.trimmed();
    for (QChar& c : name)
        if (QStringLiteral("/\\:*?\"<>|").contains(c) || c < u' ')
            c = u'_';
    if (name.isEmpty())
        name = QStringLiteral("report");
    return name + u'.' + exportExtension(format);
}
