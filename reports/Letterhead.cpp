#include "Letterhead.h"

#include <QBuffer>

#include <algorithm>

namespace {

constexpr double kLineMm = 5;    // one line of the letterhead
constexpr double kLogoMm = 15;   // the logo's height on paper
constexpr double kLogoMaxW = 60; // and at most this wide, proportions kept
constexpr double kGapMm = 4;     // between the letterhead and the title
constexpr double kFirstPt = 11;  // the organisation's name
constexpr double kOtherPt = 9;   // address and laboratory

QStringList shownLines(const TLetterhead& head)
{
    QStringList out;
    for (const QString& line : head.lines) {
        const QString t = line.trimmed();
        if (!t.isEmpty() && out.size() < TLetterhead::kMaxLines)
            out.append(t);
    }
    return out;
}

} // namespace

bool TLetterhead::isEmpty() const
{
    return logo.isNull() && shownLines(*this).isEmpty();
}

double letterheadHeight(const TLetterhead& head)
{
    if (head.isEmpty())
        return 0;
    const double text = shownLines(head).size() * kLineMm;
    return std::max(head.logo.isNull() ? 0.0 : kLogoMm, text) + kGapMm;
}

void applyLetterhead(TReportLayout& layout, const TLetterhead& head)
{
    TReportBand* band = layout.band(TBandKind::ReportTitle);
    const double shift = letterheadHeight(head);
    if (!band || shift <= 0)
        return;
    for (TReportObject& o : band->objects)
        o.top += shift;
    band->height += shift;

    QList<TReportObject> added;
    double textLeft = 0; // with a logo the lines stand beside it, else centred
    if (!head.logo.isNull()) {
        TReportObject logo;
        logo.name = QStringLiteral("LetterheadLogo");
        logo.picture = true;
        logo.alignLeft = true;
        logo.image = head.logo;
        logo.height = kLogoMm;
        logo.width = std::min(kLogoMaxW, kLogoMm * head.logo.width() / head.logo.height());
        added.append(logo);
        textLeft = logo.width + kGapMm;
    }
    const QStringList lines = shownLines(head);
    for (int i = 0; i < lines.size(); ++i) {
        TReportObject line;
        line.name = QStringLiteral("LetterheadLine%1").arg(i + 1);
        line.text = lines[i];
        line.literal = true;
        line.top = i * kLineMm;
        line.height = kLineMm;
        line.pointSize = i == 0 ? kFirstPt : kOtherPt;
        line.bold = i == 0;
        line.left = textLeft;
        line.width = layout.usableWidth() - textLeft;
        line.alignLeft = textLeft > 0;
        line.centreOnBand = textLeft <= 0;
        added.append(line);
    }
    band->objects = added + band->objects;
}

QByteArray logoToPng(const QImage& logo)
{
    if (logo.isNull())
        return {};
    QImage img = logo;
    if (std::max(img.width(), img.height()) > kLogoMaxPixels)
        img = img.scaled(kLogoMaxPixels, kLogoMaxPixels, Qt::KeepAspectRatio,
                         Qt::SmoothTransformation);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

QImage logoFromPng(const QByteArray& png)
{
    QImage img;
    if (!png.isEmpty())
        img.loadFromData(png, "PNG");
    return img;
}
