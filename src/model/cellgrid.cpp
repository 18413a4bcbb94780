#include "cellgrid.h"

CellGrid::CellGrid(int rows, int columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(columns), m_cells(rows, QList<Cell>(columns)),
      m_columnEditable(columns, false), m_rowEditable(rows, true)
{
}

bool CellGrid::contains(int row, int column) const
{
    return row >= 0 && row < rows() && column >= 0 && column < m_columns;
}

QString CellGrid::text(int row, int column) const
{
    if (!contains(row, column))
        return {};
    if (column == m_numberColumn && row >= 1 && row <= m_numberedRows)
        return QString::number(row);
    return m_cells[row][column].text;
}

CellColour CellGrid::colour(int row, int column) const
{
    return contains(row, column) ? m_cells[row][column].colour : CellColour::Black;
}

void CellGrid::setText(int row, int column, const QString& text)
{
    if (!contains(row, column) || m_cells[row][column].text == text)
        return;
    m_cells[row][column].text = text;
    changed(row, column);
}

void CellGrid::setCell(int row, int column, const QString& text, CellColour colour)
{
    if (!contains(row, column))
        return;
    Cell& cell = m_cells[row][column];
    if (cell.text == text && cell.colour == colour)
        return;
    cell.text = text;
    cell.colour = colour;
    changed(row, column);
}

void CellGrid::changed(int row, int column)
{
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, column, column);
        return;
    }
    const QModelIndex i = index(row - 1, column);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole, CellGrid::ColourRole});
}

void CellGrid::setRows(int newRows)
{
    newRows = qMax(1, newRows);
    const int old = rows();
    if (newRows == old)
        return;
    if (newRows > old) {
        beginInsertRows({}, old - 1, newRows - 2);
        m_cells.resize(newRows, QList<Cell>(m_columns));
        m_rowEditable.resize(newRows, m_rowEditable.value(old - 1, true));
        endInsertRows();
    } else {
        beginRemoveRows({}, newRows - 1, old - 2);
        m_cells.resize(newRows);
        m_rowEditable.resize(newRows);
        m_numberedRows = qMin(m_numberedRows, newRows - 1);
        endRemoveRows();
    }
}

void CellGrid::removeRow(int row)
{
    if (row < 1 || row >= rows())
        return;
    beginRemoveRows({}, row - 1, row - 1);
    m_cells.removeAt(row);
    m_rowEditable.removeAt(row);
    if (row <= m_numberedRows)
        --m_numberedRows;
    endRemoveRows();
}

void CellGrid::setRowNumbers(int column, int count)
{
    count = qBound(0, count, rows() - 1);
    if (column == m_numberColumn && count == m_numberedRows)
        return;
    const int last = qMax(count, m_numberedRows);
    const int oldColumn = m_numberColumn;
    m_numberColumn = column;
    m_numberedRows = count;
    for (const int c : {oldColumn, column})
        if (c >= 0 && c < m_columns && last > 0)
            emit dataChanged(index(0, c), index(last - 1, c), {Qt::DisplayRole, Qt::EditRole});
}

void CellGrid::setHeadings(const QStringList& headings)
{
    for (int c = 0; c < m_columns && c < headings.size(); ++c)
        setText(0, c, headings[c]);
}

void CellGrid::setColumnEditable(int column, bool editable)
{
    if (column >= 0 && column < m_columns)
        m_columnEditable[column] = editable;
}

void CellGrid::setRowEditable(int row, bool editable)
{
    if (row >= 0 && row < rows())
        m_rowEditable[row] = editable;
}

bool CellGrid::isEditable(int row, int column) const
{
    return contains(row, column) && row > 0 && m_columnEditable[column] && m_rowEditable[row];
}

int CellGrid::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows() - 1;
}

int CellGrid::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant CellGrid::data(const QModelIndex& index, int role) const
{
    const int row = index.row() + 1;
    if (!index.isValid() || !contains(row, index.column()))
        return {};
    const Cell& cell = m_cells[row][index.column()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(row, index.column());
    case ColourRole:
        return int(cell.colour);
    default:
        return {};
    }
}

bool CellGrid::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int row = index.row() + 1;
    if (!index.isValid() || role != Qt::EditRole || !isEditable(row, index.column()))
        return false;
    setText(row, index.column(), value.toString());
    return true;
}

QVariant CellGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return text(0, section);
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return {};
}

Qt::ItemFlags CellGrid::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isEditable(index.row() + 1, index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}
