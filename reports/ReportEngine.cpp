#include "ReportEngine.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace {

constexpr double kMetricsDpi = 300;
constexpr double kMmPerInch = 25.4;
// Inner gaps of a text box, as a report pack's text objects leave them.
constexpr double kGapX = 0.5;
constexpr double kGapY = 0.25;
constexpr double kFrameMm = 0.2;

// `scale`: the metrics resolution over the device's, so that under the painter's scaling a
// font has the size it has at the metrics resolution.
QFont fontOf(const TReportObject& o, double scale = 1)
{
    QFont f(resolveFontFamily(o.family));
    f.setPointSizeF(o.pointSize * scale);
    f.setBold(o.bold);
    return f;
}

int textFlags(const TReportObject& o)
{
    return Qt::AlignVCenter | (o.alignLeft ? Qt::AlignLeft : Qt::AlignHCenter) |
           (o.wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

} // namespace

TReportEngine::TReportEngine(TReportLayout layout, TReportDataSet& data, QDateTime created)
    : fLayout(std::move(layout)), fData(data), fCreated(std::move(created)),
      fMetricsDevice(1, 1, QImage::Format_RGB32)
{
    const int dpm = qRound(kMetricsDpi / kMmPerInch * 1000);
    fMetricsDevice.setDotsPerMeterX(dpm);
    fMetricsDevice.setDotsPerMeterY(dpm);
}

double TReportEngine::textHeight(const TReportObject& o, const QString& text) const
{
    const QFontMetricsF fm(fontOf(o), &fMetricsDevice);
    const double width = (o.width - 2 * kGapX) * kMetricsDpi / kMmPerInch;
    const QRectF r = fm.boundingRect(QRectF(0, 0, width, 1e7), textFlags(o), text);
    return r.height() * kMmPerInch / kMetricsDpi + 2 * kGapY;
}

double TReportEngine::textWidth(const TReportObject& o, const QString& text) const
{
    const QFontMetricsF fm(fontOf(o), &fMetricsDevice);
    return fm.horizontalAdvance(text) * kMmPerInch / kMetricsDpi + 2 * kGapX;
}

double TReportEngine::bandHeight(TBandKind kind) const
{
    const TReportBand* b = fLayout.band(kind);
    if (!b)
        return 0;
    double h = b->height;
    for (const TReportObject& o : b->objects)
        h = std::max(h, o.top + o.height);
    return h;
}

// The room between the page header and the footer: a row is never taller than that, so
// that every row fits a page of its own.
double TReportEngine::rowSpace() const
{
    return fLayout.usableHeight() - bandHeight(TBandKind::PageHeader) -
           bandHeight(TBandKind::PageFooter);
}

double TReportEngine::rowHeight(int rec)
{
    const TReportBand* b = fLayout.band(TBandKind::MasterData);
    if (!b)
        return 0;
    double h = bandHeight(TBandKind::MasterData);
    if (!b->stretchRow)
        return h;
    const int saved = fData.RecNo;
    fData.RecNo = rec;
    for (const TReportObject& o : b->objects)
        if (o.wordWrap)
            h = std::max(h, textHeight(o, expand(o.text, 0)));
    fData.RecNo = saved;
    return std::min(h, rowSpace());
}

double TReportEngine::detailHeight()
{
    const TReportBand* b = fLayout.band(TBandKind::Detail);
    if (!b)
        return 0;
    double h = bandHeight(TBandKind::Detail);
    for (const TReportObject& o : b->objects)
        if (o.wordWrap)
            h = std::max(h, o.top + textHeight(o, expand(o.text, 0)));
    return std::min(h, rowSpace());
}

void TReportEngine::paginate()
{
    fPages.clear();
    const double bottom = fLayout.usableHeight() - bandHeight(TBandKind::PageFooter);
    const double header = bandHeight(TBandKind::PageHeader);
    TReportPage page;
    double y = bandHeight(TBandKind::ReportTitle) + header;
    fData.frxUlmarDataSetFirst();
    bool eof = false;
    fData.frxUlmarDataSetCheckEOF(eof);
    while (!eof) {
        const double h = rowHeight(fData.RecNo);
        // A row that does not fit starts a new page; the first page may stay without
        // rows when a row is too tall for the room under the title.
        if (y + h > bottom + 1e-9 && (page.recCount > 0 || fPages.isEmpty())) {
            fPages.append(page);
            page = TReportPage{fData.RecNo, 0, false};
            y = header;
        }
        y += h;
        ++page.recCount;
        fData.next();
        fData.frxUlmarDataSetCheckEOF(eof);
    }
    if (fLayout.band(TBandKind::Detail)) {
        // The detail shows the first record's comment.
        const int saved = fData.RecNo;
        fData.RecNo = 0;
        const double h = detailHeight();
        fData.RecNo = saved;
        if (y + h > bottom + 1e-9) {
            fPages.append(page);
            page = TReportPage{fData.RecNo, 0, false};
        }
        page.detail = true;
    }
    fPages.append(page);
    fData.frxUlmarDataSetFirst();
}

QString TReportEngine::expand(const QString& text, int index) const
{
    static const QString kField = QStringLiteral("BasicGrid.\"");
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'[', i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u']', open);
        if (close < 0) {
            out += QStringView(text).mid(i);
            break;
        }
        out += QStringView(text).mid(i, open - i);
        const QString expr = text.mid(open + 1, close - open - 1);
        if (expr.startsWith(kField) && expr.endsWith(u'"'))
            out += fData.value(expr.mid(kField.size(), expr.size() - kField.size() - 1));
        else if (expr == QLatin1String("Date"))
            out += fCreated.toString(QStringLiteral("dd.MM.yyyy"));
        else if (expr == QLatin1String("Time"))
            out += fCreated.toString(QStringLiteral("hh:mm:ss"));
        else if (expr == QLatin1String("Page"))
            out += QString::number(index + 1);
        else if (expr == QLatin1String("TotalPages#"))
            out += QString::number(pageCount());
        else
            out += QStringView(text).mid(open, close - open + 1);
        i = close + 1;
    }
    return out;
}

void TReportEngine::placeBand(const TReportBand& band, double top, double height, int index,
                              const TPlaced& placed)
{
    const double left = fLayout.margins.left();
    const double width = fLayout.usableWidth();
    for (const TReportObject& o : band.objects) {
        const QString text = o.picture ? QString() : o.literal ? o.text : expand(o.text, index);
        double w = o.width;
        double h = band.stretchRow ? height : o.height;
        // Unframed texts (title, date, comment) grow to their text: a 14 pt line is taller
        // than its 5 mm box, and a report pack clips a text to its box.
        if (!o.picture && !o.frame && !band.stretchRow)
            h = std::max(h, textHeight(o, text));
        double x = left + o.left;
        if (o.centreOnBand) {
            if (!o.picture)
                w = textWidth(o, text);
            x = left + (width - w) / 2;
        }
        placed(o, QRectF(x, fLayout.margins.top() + top + o.top, w, h), text);
    }
}

void TReportEngine::placePage(int index, const TPlaced& placed)
{
    if (index < 0 || index >= pageCount())
        return;
    const TReportPage& pg = fPages[index];
    double y = 0;
    if (index == 0 && fLayout.band(TBandKind::ReportTitle)) {
        placeBand(*fLayout.band(TBandKind::ReportTitle), y, 0, index, placed);
        y += bandHeight(TBandKind::ReportTitle);
    }
    if (const TReportBand* b = fLayout.band(TBandKind::PageHeader)) {
        placeBand(*b, y, bandHeight(TBandKind::PageHeader), index, placed);
        y += bandHeight(TBandKind::PageHeader);
    }
    const int saved = fData.RecNo;
    if (const TReportBand* b = fLayout.band(TBandKind::MasterData)) {
        for (int r = pg.firstRec; r < pg.firstRec + pg.recCount; ++r) {
            const double h = rowHeight(r);
            fData.RecNo = r;
            placeBand(*b, y, h, index, placed);
            y += h;
        }
    }
    if (pg.detail) {
        fData.RecNo = 0;
        placeBand(*fLayout.band(TBandKind::Detail), y, 0, index, placed);
    }
    fData.RecNo = saved;
    if (const TReportBand* b = fLayout.band(TBandKind::PageFooter)) {
        const double h = bandHeight(TBandKind::PageFooter);
        placeBand(*b, fLayout.usableHeight() - h, h, index, placed);
    }
}

void TReportEngine::paintPage(QPainter& p, int index)
{
    if (index < 0 || index >= pageCount())
        return;
    // Every device gets the painting laid out at the metrics resolution, scaled: text
    // wraps and fills its rows exactly as pagination measured it, at any resolution.
    p.save();
    const double scale = p.device()->logicalDpiY() / kMetricsDpi;
    p.scale(scale, scale);
    const double k = kMetricsDpi / kMmPerInch;
    const double fontScale = kMetricsDpi / p.device()->logicalDpiY();
    placePage(index, [&](const TReportObject& o, const QRectF& mm, const QString& text) {
        const QRectF box(mm.left() * k, mm.top() * k, mm.width() * k, mm.height() * k);
        if (o.picture) {
            if (!o.image.isNull()) {
                // The graph's pixels fitted into the box, proportions kept.
                const QSizeF fitted =
                    QSizeF(o.image.size()).scaled(box.size(), Qt::KeepAspectRatio);
                const double x0 =
                    o.alignLeft ? box.left() : box.center().x() - fitted.width() / 2;
                const QRectF target(x0, box.top(), fitted.width(), fitted.height());
                p.drawImage(target, o.image);
            }
            return;
        }
        p.setFont(fontOf(o, fontScale));
        p.setPen(Qt::black);
        p.drawText(box.adjusted(kGapX * k, kGapY * k, -kGapX * k, -kGapY * k), textFlags(o), text);
        if (o.frame) {
            p.setPen(QPen(Qt::black, kFrameMm * k));
            p.setBrush(Qt::NoBrush);
            p.drawRect(box);
        }
    });
    p.restore();
}

QList<TReportCell> TReportEngine::pageCells(int index)
{
    QList<TReportCell> cells;
    placePage(index, [&cells](const TReportObject& o, const QRectF& mm, const QString& text) {
        if (!o.picture)
            cells.append(TReportCell{text, mm});
    });
    return cells;
}
