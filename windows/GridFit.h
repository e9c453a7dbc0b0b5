// Column widths of the results table: each column as wide as its widest text, the spare
// width of the view given to one column so that the table fills it.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QTableView;
class TStringGrid;

// Widths for every column of the grid, caption row included: widest text + 15 pixels. When
// clientWidth leaves room, column 3 (more than 4 columns) or column 1 takes it. An empty list
// for fewer than 3 columns: those grids keep their widths. textWidth is asked once per
// distinct text, as a full archive repeats most of its texts.
QList<int> FitColumnWidths(const TStringGrid& grid,
                           const std::function<int(const QString&)>& textWidth, int clientWidth);

// Applies FitColumnWidths to the view with its font and the width of its viewport.
void FitGridColumns(QTableView* view, TStringGrid& grid);

// The same fit in slices of rows between events, so that measuring a full archive never
// holds the window up; a table of one slice is fitted at once.
class TColumnFitter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRowsPerSlice = 4000;
    TColumnFitter(QTableView* view, TStringGrid& grid, QObject* parent = nullptr);
    ~TColumnFitter() override;
    // Starts a fit from the first row; a fit under way starts again.
    void start();
    bool busy() const { return fTimer.isActive(); }

private:
    void step();

    QTableView* fView;
    TStringGrid& fGrid;
    QTimer fTimer;
    int fRow = 0;
    QList<int> fWidest;
    std::unique_ptr<struct TFitCache> fCache;
};
