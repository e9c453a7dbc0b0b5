// Texts built from the views: what copying table rows or the graph puts on the clipboard.
#pragma once

#include "SeriesSink.h"
#include "data/QelTypes.h"

#include <QChar>
#include <QList>
#include <QPointF>
#include <QString>

class IQel;
class TStringGrid;

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
QString TableRowsText(const TStringGrid& grid, const IQel& dev, int firstRow, int count,
                      TLang lang);

// Title line (bottom title, tab, left title) and one line per point: its ordinal, a tab and
// its value with up to 15 significant digits. Lines end with CR LF.
QString GraphText(const TRecordingSeries& graph, QChar sep);
