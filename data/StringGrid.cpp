#include "StringGrid.h"

TStringGrid::TStringGrid(QObject* parent) : QAbstractTableModel(parent) {}

void TStringGrid::setSize(int cols, int rows)
{
    cols = qMax(0, cols);
    rows = qMax(0, rows);
    if (cols == fCols && rows == fRows)
        return;
    if (!fFillDepth)
        beginResetModel();
    QList<QString> cells(qsizetype(cols) * rows);
    const int keepCols = qMin(cols, fCols);
    const int keepRows = qMin(rows, fRows);
    for (int r = 0; r < keepRows; ++r)
        for (int c = 0; c < keepCols; ++c)
            cells[qsizetype(r) * cols + c] = std::move(fCells[qsizetype(r) * fCols + c]);
    fCells = std::move(cells);
    fCols = cols;
    fRows = rows;
    if (!fFillDepth)
        endResetModel();
}

QString TStringGrid::cell(int col, int row) const
{
    if (col < 0 || row < 0 || col >= fCols || row >= fRows)
        return {};
    return fCells[qsizetype(row) * fCols + col];
}

void TStringGrid::setCell(int col, int row, const QString& text)
{
    if (col < 0 || row < 0 || col >= fCols || row >= fRows)
        return;
    fCells[qsizetype(row) * fCols + col] = text;
    if (fFillDepth)
        return;
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, col, col);
    } else {
        const QModelIndex i = index(row - 1, col);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
}

void TStringGrid::beginFill()
{
    if (fFillDepth++ == 0)
        beginResetModel();
}

void TStringGrid::endFill()
{
    if (fFillDepth > 0 && --fFillDepth == 0)
        endResetModel();
}

int TStringGrid::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : qMax(0, fRows - 1);
}

int TStringGrid::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : fCols;
}

QVariant TStringGrid::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return cell(index.column(), index.row() + 1);
}

QVariant TStringGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return cell(section, 0);
    return section + 1;
}

void TStringGrid::setColWidth(int col, int width)
{
    if (col < 0)
        return;
    if (fColWidths.size() <= col)
        fColWidths.resize(col + 1);
    fColWidths[col] = width;
}

Qt::ItemFlags TStringGrid::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (fEditable && index.isValid() && index.row() + 1 >= fFixedRows)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TStringGrid::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    setCell(index.column(), index.row() + 1, value.toString());
    return true;
}
