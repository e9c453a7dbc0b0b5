#include "ClipboardCopy.h"

#include "ChartSink.h"
#include "data/Formats.h"
#include "data/StringGrid.h"
#include "data/Views.h"
#include "i18n/Messages.h"

#include <QMimeData>
#include <algorithm>

QString TableRowsHtml(const TStringGrid& grid, const QList<TCalcQEL>& results, int firstRow,
                      int count, TLang lang)
{
    const int cols = grid.colCount();
    const auto cell = [](const char* tag, const QString& text) {
        return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), text.toHtmlEscaped());
    };
    QString out = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>"
                                 "<tr>");
    for (int c = 0; c < cols; ++c)
        out += cell("th", grid.cell(c, 0));
    out += cell("th", Msg(msgComment, lang));
    out += QStringLiteral("</tr>");
    // The same rows as the plain text: data rows that exist, never the caption row.
    const qint64 from = std::max<qint64>(firstRow, 1);
    const qint64 to = std::min<qint64>(qint64(firstRow) + count, grid.rowCountAll());
    for (qint64 r = from; r < to; ++r) {
        const int row = int(r);
        out += QStringLiteral("<tr>");
        for (int c = 0; c < cols; ++c)
            out += cell("td", grid.cell(c, row));
        const QString comment = row - 1 < results.size() ? results[row - 1].UserComment : QString();
        out += QStringLiteral("<td>") +
               comment.toHtmlEscaped().replace(u'\r', QStringLiteral("<br>")) +
               QStringLiteral("</td></tr>");
    }
    out += QStringLiteral("</table></body></html>");
    return out;
}

QMimeData* TableRowsMime(const TStringGrid& grid, const QList<TCalcQEL>& results, int firstRow,
                         int count, TLang lang)
{
    auto* mime = new QMimeData;
    mime->setText(TableRowsText(grid, results, firstRow, count, lang));
    mime->setHtml(TableRowsHtml(grid, results, firstRow, count, lang));
    return mime;
}

QString ChartText(TChartSink& chart)
{
    TRecordingSeries graph;
    graph.points = chart.points();
    graph.leftTitle = chart.leftTitle();
    graph.bottomTitle = chart.bottomTitle();
    return GraphText(graph, qelfmt::decimalSeparator());
}
