#include "ReportLayout.h"

#include <QFontDatabase>

namespace {

constexpr double kCellPt = 9;

QString field(const char* name)
{
    return QStringLiteral("[BasicGrid.\"%1\"]").arg(QLatin1String(name));
}

TReportBand titleBand()
{
    TReportBand b{TBandKind::ReportTitle, 19, false, {}};
    TReportObject title;
    title.name = QStringLiteral("Title");
    title.text = field("msgReportTitle");
    title.top = 0;
    title.height = 5;
    title.pointSize = 14;
    title.bold = true;
    title.centreOnBand = true;
    TReportObject date;
    date.name = QStringLiteral("Date");
    date.text = QStringLiteral("( ") + field("msgReportDate") + QStringLiteral(" [Date], [Time])");
    date.top = 9;
    date.height = 5;
    date.centreOnBand = true;
    b.objects = {title, date};
    return b;
}

// Header and master bands of the table: one framed, centred cell per column.
void addTable(TReportLayout& l, const QList<double>& widths, bool comment)
{
    TReportBand header{TBandKind::PageHeader, 13, false, {}};
    TReportBand master{TBandKind::MasterData, 5, comment, {}};
    double x = 0;
    for (int c = 0; c < widths.size(); ++c) {
        TReportObject h;
        h.name = QStringLiteral("Header%1").arg(c);
        h.text = QStringLiteral("[BasicGrid.\"Title%1\"]").arg(c);
        h.left = x;
        h.width = widths[c];
        h.height = 15;
        h.pointSize = kCellPt;
        h.bold = true;
        h.frame = true;
        header.objects.append(h);
        TReportObject d = h;
        d.name = QStringLiteral("Data%1").arg(c);
        d.text = QStringLiteral("[BasicGrid.\"Data%1\"]").arg(c);
        d.height = 5;
        d.bold = false;
        master.objects.append(d);
        x += widths[c];
    }
    if (comment) {
        TReportObject h = header.objects.last();
        h.name = QStringLiteral("HeaderComment");
        h.text = field("TitleComment");
        h.left = x;
        h.width = 82;
        header.objects.append(h);
        TReportObject d = master.objects.last();
        d.name = QStringLiteral("DataComment");
        d.text = field("DataComment");
        d.left = x;
        d.width = 82;
        d.alignLeft = true;
        d.wordWrap = true;
        master.objects.append(d);
    }
    l.bands.append(header);
    l.bands.append(master);
}

TReportBand footerBand(double height, double width)
{
    TReportObject page;
    page.name = QStringLiteral("PageNumber");
    page.text = QStringLiteral("[Page] / [TotalPages#]");
    page.width = width;
    page.height = height;
    return TReportBand{TBandKind::PageFooter, height, false, {page}};
}

const QList<double> kPortraitWidths{20, 14, 8, 16, 30, 27, 13, 15, 14, 19, 19};
const QList<double> kLandscapeWidths{20, 14, 8, 13, 28, 29, 17, 15, 15, 20, 16};

} // namespace

const TReportBand* TReportLayout::band(TBandKind kind) const
{
    for (const TReportBand& b : bands)
        if (b.kind == kind)
            return &b;
    return nullptr;
}

TReportBand* TReportLayout::band(TBandKind kind)
{
    for (TReportBand& b : bands)
        if (b.kind == kind)
            return &b;
    return nullptr;
}

TReportObject* TReportLayout::findObject(const QString& name)
{
    for (TReportBand& b : bands)
        for (TReportObject& o : b.objects)
            if (o.name == name)
                return &o;
    return nullptr;
}

TReportLayout frxReportOS()
{
    TReportLayout l;
    l.name = QStringLiteral("frxReportOS");
    l.orientation = QPageLayout::Portrait;
    l.paper = QSizeF(210, 297);
    l.margins = QMarginsF(10, 10, 5, 10);
    l.bands.append(titleBand());
    addTable(l, kPortraitWidths, false);
    l.bands.append(footerBand(6, l.usableWidth()));
    return l;
}

TReportLayout frxReportOS_comment()
{
    TReportLayout l;
    l.name = QStringLiteral("frxReportOS_comment");
    l.orientation = QPageLayout::Landscape;
    l.paper = QSizeF(297, 210);
    l.margins = QMarginsF(10, 5, 10, 10);
    l.bands.append(titleBand());
    addTable(l, kLandscapeWidths, true);
    l.bands.append(footerBand(6, l.usableWidth()));
    return l;
}

TReportLayout frxReportSingle()
{
    TReportLayout l;
    l.name = QStringLiteral("frxReportSingle");
    l.orientation = QPageLayout::Portrait;
    l.paper = QSizeF(210, 297);
    l.margins = QMarginsF(10, 10, 5, 10);
    l.bands.append(titleBand());
    addTable(l, kPortraitWidths, false);
    TReportBand detail{TBandKind::Detail, 135, false, {}};
    TReportObject pic;
    pic.name = QStringLiteral("Picture1");
    pic.picture = true;
    pic.top = 2;
    pic.width = 102;
    pic.height = 85;
    pic.centreOnBand = true;
    TReportObject comment;
    comment.name = QStringLiteral("Comment");
    comment.text = field("DataComment");
    comment.top = 98;
    comment.width = 82;
    comment.height = 5;
    comment.alignLeft = true;
    comment.wordWrap = true;
    detail.objects = {pic, comment};
    l.bands.append(detail);
    l.bands.append(footerBand(22, l.usableWidth()));
    return l;
}

QString resolveFontFamily(const QString& family)
{
    if (family != QLatin1String("Arial"))
        return family;
    static const QString resolved = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* f : {"Arial", "Liberation Sans"})
            if (families.contains(QLatin1String(f)))
                return QString::fromLatin1(f);
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return resolved;
}
