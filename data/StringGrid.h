// A grid of cell texts, shown by a QTableView. Row 0 holds the captions; the view shows it
// as the header.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

class TStringGrid : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TStringGrid(QObject* parent = nullptr);

    int colCount() const { return fCols; }
    int rowCountAll() const { return fRows; }
    // Resizes the grid; cells that stay keep their text, new ones are empty.
    void setSize(int cols, int rows);
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    // Rows below this one (the caption row included) cannot be edited.
    void setFixedRows(int rows) { fFixedRows = rows; }
    int fixedRows() const { return fFixedRows; }
    // Column widths in pixels as the filler wants them; 0 when it has none.
    void setColWidth(int col, int width);
    int colWidth(int col) const { return fColWidths.value(col); }
    // Cells outside the fixed rows take edits from the view.
    void setEditable(bool on) { fEditable = on; }
    // Bulk fill: resets the model once instead of signalling every cell.
    void beginFill();
    void endFill();

    // QAbstractTableModel: data rows are grid rows 1..n, the header is row 0.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    int fCols = 0;
    int fRows = 0;
    QList<QString> fCells; // row-major
    int fFillDepth = 0;
    int fFixedRows = 1;
    bool fEditable = false;
    QList<int> fColWidths;
};
