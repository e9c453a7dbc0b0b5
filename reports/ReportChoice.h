// What the report commands report: the rows and the layout, decided without a window.
#pragma once

#include "ReportLayout.h"
#include "i18n/Lang.h"

#include <QImage>
#include <QString>
#include <functional>

enum class TReportKind
{
    None, // nothing to print
    Table,
    TableWithComments,
    Single
};

struct TReportChoice
{
    TReportKind kind = TReportKind::None;
    int First = 0; // table row of the first reported result
    int Count = 0;
    QString status; // the status text when there is nothing to print
};

// Table rows to report: Count rows from First.
struct TReportRange
{
    int First = 1;
    int Count = 0;
};

// A block of whole table rows, Top to Bottom.
struct TRowBlock
{
    int Top = 1;
    int Bottom = 1;
};

// The rows of Print: the selected block when several rows are selected and the question
// is not answered No, else the whole table. `askSelection` returns false for No.
TReportRange printRows(TRowBlock selection, int tableRows,
                       const std::function<bool()>& askSelection);
// The rows of "Selected report": the selected block, without a question.
TReportRange selectedRows(TRowBlock selection);

// The layout for Count rows starting at table row First: one row the single result, else
// the table, with comments when they are to be printed. Nothing to print without results;
// a range reaching past the results is cut to them.
TReportChoice chooseReport(int archCount, int First, int Count, bool printComments, TLang lang);

TReportLayout layoutFor(TReportKind kind);

// The single-result layout's "Picture1" gets the graph's on-screen pixels as they are.
void frxReportSinglePreview(TReportLayout& layout, const QImage& graphPixels);
