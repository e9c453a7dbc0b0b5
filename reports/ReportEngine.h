// Lays a report out page by page and paints any one page on request. Pagination measures
// the rows without painting; a page keeps only its first record and its record count, so
// a report of any length holds no page contents.
#pragma once

#include "ReportDataSet.h"
#include "ReportLayout.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QRectF>
#include <functional>

class QPainter;

struct TReportPage
{
    int firstRec = 0;
    int recCount = 0;
    bool detail = false; // the once-only detail band ends this page
};

// A text object as placed on a page.
struct TReportCell
{
    QString text;
    QRectF rect; // mm from the paper's top-left corner
};

class TReportEngine
{
public:
    TReportEngine(TReportLayout layout, TReportDataSet& data,
                  QDateTime created = QDateTime::currentDateTime());

    // Splits the records into pages. Must run before the pages are asked for.
    void paginate();
    int pageCount() const { return int(fPages.size()); }
    TReportPage page(int index) const { return fPages.value(index); }

    // Paints page `index` (from 0) with the paper's top-left corner at the painter's
    // origin, at the painter device's resolution.
    void paintPage(QPainter& p, int index);

    // Heights in mm: a band as laid out, and the master row of a record (the comment
    // layout's rows grow with the wrapped comment).
    double bandHeight(TBandKind kind) const;
    double rowHeight(int rec);
    // A template with its fields filled in, for page `index`.
    QString expand(const QString& text, int index) const;

    QString title() const { return fData.value(QStringLiteral("msgReportTitle")); }

    // The texts of page `index` with their boxes, in painting order, without painting.
    QList<TReportCell> pageCells(int index);
    const TReportLayout& layout() const { return fLayout; }
    TReportLayout& layout() { return fLayout; }

private:
    double textHeight(const TReportObject& o, const QString& text) const;
    double textWidth(const TReportObject& o, const QString& text) const;
    double detailHeight();
    double rowSpace() const;
    // Every object of page `index` with its box in mm and its text (empty for a picture),
    // as painting places them.
    using TPlaced = std::function<void(const TReportObject&, const QRectF&, const QString&)>;
    void placePage(int index, const TPlaced& placed);
    void placeBand(const TReportBand& band, double top, double height, int index,
                   const TPlaced& placed);

    TReportLayout fLayout;
    TReportDataSet& fData;
    QDateTime fCreated;
    QList<TReportPage> fPages;
    QImage fMetricsDevice; // the resolution that text is measured at
};
