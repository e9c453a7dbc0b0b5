// What the copy commands put on the clipboard. The plain text is exactly the copied text of
// the table or graph; table rows also carry an HTML table of the same cells, so that a
// spreadsheet or word processor pastes real cells.
#pragma once

#include "data/QelTypes.h"

#include <QImage>
#include <QList>
#include <QString>

class QClipboard;
class QMimeData;
class TChartSink;
class TStringGrid;

// The rows firstRow .. firstRow + count - 1 of the grid with the header line, as text/plain
// (TableRowsText) and text/html. The caller owns the result.
QMimeData* TableRowsMime(const TStringGrid& grid, const QList<TCalcQEL>& results, int firstRow,
                         int count, TLang lang);

// The same rows as an HTML table: a header row, then one row per result, the comment last;
// the comment's carriage returns become line breaks.
QString TableRowsHtml(const TStringGrid& grid, const QList<TCalcQEL>& results, int firstRow,
                      int count, TLang lang);

// The graph's points and axis titles as the chart holds them (GraphText, the locale's
// decimal separator).
QString ChartText(TChartSink& chart);
