// What the report preview decides without widgets: the report made ready from the table,
// the page shown, the zoom, finding text, and painting pages onto a paged device.
#pragma once

#include "Letterhead.h"
#include "ReportChoice.h"
#include "ReportDataSet.h"
#include "ReportEngine.h"
#include "ReportExport.h"
#include "data/StringGrid.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>

class QPagedPaintDevice;

// A report ready to show: its own copy of the reported table rows and of the results, so
// that the table may change while the report is open, the data feed over them, the layout
// and its pages.
class TPreparedReport
{
public:
    // `choice` is what chooseReport gave (not None); `graphPixels` is the graph's on-screen
    // image for the single-result layout.
    TPreparedReport(const TStringGrid& grid, const QList<TCalcQEL>& results,
                    const TReportChoice& choice, TLang lang, const QImage& graphPixels = {},
                    const QDateTime& created = QDateTime::currentDateTime(),
                    const TLetterhead& letterhead = {});

    TReportEngine& engine() { return *fEngine; }
    TReportKind kind() const { return fKind; }
    int First() const { return fData->ReportFirstLine; }
    int Count() const { return fData->ReportLinesTotal; }
    QString title() const { return fEngine->title(); }

private:
    TStringGrid fGrid;
    QList<TCalcQEL> fResults;
    TReportKind fKind;
    std::unique_ptr<TReportDataSet> fData;
    std::unique_ptr<TReportEngine> fEngine;
};

enum class TZoomMode
{
    Factor,    // a fixed factor; 1 shows the paper at its real size
    WholePage, // the whole page fits the view
    PageWidth  // the page's width fills the view
};

// A place in the report: a cell of a page.
struct TReportPlace
{
    int page = 0;
    int cell = -1; // index into TReportEngine::pageCells; -1 before the page's first cell
    bool operator==(const TReportPlace&) const = default;
};

struct TFindHit
{
    TReportPlace place;
    TReportCell cell;
};

// The preview's state: the current page, the zoom and the last find.
class TReportPreviewModel
{
public:
    static constexpr double kMinZoom = 0.1;
    static constexpr double kMaxZoom = 8;
    // Room left around a page in the view, in pixels of the view.
    static constexpr int kPageGap = 12;

    explicit TReportPreviewModel(TReportEngine& engine) : fEngine(engine) {}

    int pageCount() const { return fEngine.pageCount(); }
    int currentPage() const { return fCurrent; }
    // Clamped to the pages; true when the page changed.
    bool setCurrentPage(int page);
    bool firstPage() { return setCurrentPage(0); }
    bool previousPage() { return setCurrentPage(fCurrent - 1); }
    bool nextPage() { return setCurrentPage(fCurrent + 1); }
    bool lastPage() { return setCurrentPage(pageCount() - 1); }

    TZoomMode zoomMode() const { return fMode; }
    void setZoomMode(TZoomMode mode) { fMode = mode; }
    // A fixed factor, clamped; the mode becomes Factor.
    void setZoomFactor(double factor);
    // The factor in force for a view of `viewport` pixels at `dpi` pixels per inch, the
    // page (in mm) shown with kPageGap around it.
    double zoomFactor(const QSizeF& viewport, double dpi) const;
    // The next step up or down from the factor in force; the mode becomes Factor.
    void zoomIn(const QSizeF& viewport, double dpi);
    void zoomOut(const QSizeF& viewport, double dpi);
    // The paper of the layout, in mm.
    QSizeF pageSizeMm() const { return fEngine.layout().paper; }

    // The first cell after `from` whose text holds `text` (case ignored), going on to the
    // following pages and round from the first page to `from` itself. None when no cell
    // holds it or when `pageDone` (called after each page searched, with the number
    // searched so far) returns false.
    std::optional<TFindHit> findNext(const QString& text, TReportPlace from,
                                     const std::function<bool(int searched)>& pageDone = {});
    // The same from the last hit, or from before the current page's first cell; a hit
    // becomes the current page and the marked cell.
    std::optional<TFindHit> findNext(const QString& text,
                                     const std::function<bool(int searched)>& pageDone = {});
    // The cell marked by the last find, on its page; none after a failed find or clearMark
    // (the window clears it when the user turns to another page).
    std::optional<TFindHit> marked() const { return fMarked; }
    void clearMark() { fMarked.reset(); }

private:
    TReportEngine& fEngine;
    int fCurrent = 0;
    TZoomMode fMode = TZoomMode::Factor;
    double fFactor = 1;
    std::optional<TFindHit> fMarked;
};

// Paints pages `from` to `to` (from 0, both included) onto `device`, one after another,
// each scaled to fit the device's whole paper with its proportions kept. `progress` sees
// the pages done and their number before each page and after the last; false from it
// stops. False when the painting cannot start or was stopped; `painted` counts the pages
// painted.
bool paintPages(TReportEngine& engine, QPagedPaintDevice& device, int from, int to,
                const TExportProgress& progress = {}, int* painted = nullptr);

// A file to export to and its format.
struct TExportTarget
{
    QString path;
    TExportFormat format = TExportFormat::Pdf;
};

// The eight formats in the order a file dialog offers them.
QList<TExportFormat> exportFormats();
// The dialog filter of a format, as "PDF (*.pdf)".
QString exportFilter(TExportFormat format);
// A name from a file dialog with the filter chosen: the format its extension names, else
// the filter's, with the filter's extension appended.
TExportTarget exportTargetFor(const QString& path, TExportFormat filterFormat);
// The file name an export suggests: the report's title as a file name.
QString exportSuggestedName(const QString& title, TExportFormat format);
