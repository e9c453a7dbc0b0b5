// A banded report layout: paper, margins and bands whose objects are placed in millimetres.
// Texts are templates: [BasicGrid."Name"] is a field of the data feed, and [Date], [Time],
// [Page] and [TotalPages#] are filled in when a page is painted.
#pragma once

#include <QImage>
#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QSizeF>
#include <QString>

enum class TBandKind
{
    ReportTitle, // once, at the top of the first page
    PageHeader,  // every page
    MasterData,  // one per record
    Detail,      // once, after the records
    PageFooter   // at the bottom of every page
};

struct TReportObject
{
    QString name;
    QString text;      // template; empty for a picture
    double left = 0;   // mm from the band's left edge
    double top = 0;    // mm from the band's top
    double width = 0;  // mm
    double height = 0; // mm; a word-wrapped text grows past it
    QString family = QStringLiteral("Arial");
    double pointSize = 10;
    bool bold = false;
    bool frame = false;        // all four sides
    bool alignLeft = false;    // else centred horizontally
    bool centreOnBand = false; // width fitted to the text, centred on the band's width
    bool wordWrap = false;     // breaks at words and takes the height it needs
    bool picture = false;      // draws `image` into the box (left-aligned with alignLeft)
    bool literal = false;      // `text` is shown as it stands, with no fields filled in
    QImage image;
};

struct TReportBand
{
    TBandKind kind = TBandKind::MasterData;
    double height = 0; // mm; a band is never lower than its lowest object
    // Master band of the comment layout: every cell of a row takes the tallest one's height.
    bool stretchRow = false;
    QList<TReportObject> objects;
};

struct TReportLayout
{
    QString name;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QSizeF paper;      // mm, in the orientation
    QMarginsF margins; // mm: left, top, right, bottom
    QList<TReportBand> bands;

    const TReportBand* band(TBandKind kind) const;
    TReportBand* band(TBandKind kind);
    TReportObject* findObject(const QString& name);
    double usableWidth() const { return paper.width() - margins.left() - margins.right(); }
    double usableHeight() const { return paper.height() - margins.top() - margins.bottom(); }
};

// The three layouts: the table, the table with comments (landscape), one result with its
// graph.
TReportLayout frxReportOS();
TReportLayout frxReportOS_comment();
TReportLayout frxReportSingle();

// "Arial" is drawn with the metric-compatible Liberation Sans where it is installed, else
// with the system's sans font; other families are used as named.
QString resolveFontFamily(const QString& family);
