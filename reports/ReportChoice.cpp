#include "ReportChoice.h"

#include "i18n/Messages.h"

#include <algorithm>

TReportRange printRows(TRowBlock selection, int tableRows,
                       const std::function<bool()>& askSelection)
{
    if (selection.Top != selection.Bottom && (!askSelection || askSelection()))
        return selectedRows(selection);
    return TReportRange{1, tableRows - 1};
}

TReportRange selectedRows(TRowBlock selection)
{
    const int top = std::min(selection.Top, selection.Bottom);
    const int bottom = std::max(selection.Top, selection.Bottom);
    return TReportRange{top, bottom - top + 1};
}

TReportChoice chooseReport(int archCount, int First, int Count, bool printComments, TLang lang)
{
    TReportChoice c;
    // Table rows 1 .. archCount hold results; the header row and rows past them do not.
    const int first = std::max(First, 1);
    const int last = std::min(First + Count - 1, archCount);
    if (archCount <= 0 || last < first) {
        c.status = Msg(msgNothingToPrint, lang);
        return c;
    }
    c.First = first;
    c.Count = last - first + 1;
    c.kind = c.Count == 1    ? TReportKind::Single
             : printComments ? TReportKind::TableWithComments
                             : TReportKind::Table;
    return c;
}

TReportLayout layoutFor(TReportKind kind)
{
    switch (kind) {
    case TReportKind::TableWithComments:
        return frxReportOS_comment();
    case TReportKind::Single:
        return frxReportSingle();
    case TReportKind::Table:
    case TReportKind::None:
        break;
    }
    return frxReportOS();
}

void frxReportSinglePreview(TReportLayout& layout, const QImage& graphPixels)
{
    if (TReportObject* pic = layout.findObject(QStringLiteral("Picture1"))) {
        // A bitmap of the graph's size holding its pixels unscaled.
        pic->image = graphPixels.copy();
    }
}
