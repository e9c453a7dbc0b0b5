// Filling the results table and the pressure graph, and the texts that copying them gives.
#pragma once

#include "SeriesSink.h"
#include "data/QelTypes.h"

#include <QChar>
#include <QList>
#include <QPointF>
#include <QString>

class TStringGrid;

// The results table: row 0 the eleven captions (the pressure one with the unit), then one
// row per result in list order; an empty list gives one empty row. A stored m that is not
// a finite number is set to 0 in the list, so that the table, files and reports agree.
void FillBasicGrid(TStringGrid& grid, QList<TCalcQEL>& results, TLang lang, EPressureUnits unit);

// The pressure graph of one result: the first sample at 0 s, one point per second of the
// held series, and the last held sample; axis titles in the language and unit.
void FillGraph(ISeriesSink& graph, const TCalcQEL& result, TLang lang, EPressureUnits unit);

// A series sink that keeps what it was given: the graph for tests, the command line and
// the graph's text.
class TRecordingSeries : public ISeriesSink
{
public:
    void clear() override { points.clear(); }
    void addPoint(double x, double y) override { points.append(QPointF(x, y)); }
    void resetZoom() override { ++zoomResets; }
    void setAxisTitles(const QString& left, const QString& bottom) override
    {
        leftTitle = left;
        bottomTitle = bottom;
    }

    QList<QPointF> points;
    QString leftTitle;
    QString bottomTitle;
    int zoomResets = 0;
};

// Header line (captions of row 0, each followed by a tab, then "Comment" and a tab) and the
// rows firstRow .. firstRow + count - 1 of the grid, each cell followed by a tab, then the
// comment of result row - 1 with carriage returns made spaces. Lines end with CR LF.
QString TableRowsText(const TStringGrid& grid, const QList<TCalcQEL>& results, int firstRow,
                      int count, TLang lang);

// Title line (bottom title, tab, left title) and one line per point: its ordinal, a tab and
// its value with up to 15 significant digits. Lines end with CR LF.
QString GraphText(const TRecordingSeries& graph, QChar sep);
