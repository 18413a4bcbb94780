#pragma once

#include "cellcolour.h"

#include <QAbstractTableModel>
#include <QList>

// A grid of text cells with a font colour each: the poll list, the terminal
// settings and the two connection lists. Cells are addressed as the operator sees
// them: row 0 is the heading row, column 0 the fixed column. As a Qt model, row 0
// is the horizontal header and model row i is grid row i + 1. Out-of-range cells
// read as empty black text and ignore writes.
class CellGrid : public QAbstractTableModel {
    Q_OBJECT
public:
    // The cell's CellColour as an int; the core links no GUI module, so the
    // window turns it into the font colour.
    static constexpr int ColourRole = Qt::UserRole + 1;

    CellGrid(int rows, int columns, QObject* parent = nullptr);

    int rows() const { return int(m_cells.size()); }
    int columns() const { return m_columns; }

    QString text(int row, int column) const;
    CellColour colour(int row, int column) const;
    void setText(int row, int column, const QString& text);
    void setCell(int row, int column, const QString& text, CellColour colour);

    // Total rows, the heading row included; new rows are empty.
    void setRows(int rows);
    // Removes data row `row`; the rows below move up.
    void removeRow(int row);
    // The first `count` data rows show their row number in `column` instead of
    // a stored text, so removing a row renumbers the rest without rewriting them.
    void setRowNumbers(int column, int count);
    void setHeadings(const QStringList& headings);
    void setColumnEditable(int column, bool editable);
    void setRowEditable(int row, bool editable);
    bool isEditable(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Cell {
        QString text;
        CellColour colour = CellColour::Black;
    };
    bool contains(int row, int column) const;
    void changed(int row, int column);

    int m_columns = 0;
    int m_numberColumn = -1;
    int m_numberedRows = 0;
    QList<QList<Cell>> m_cells;
    QList<bool> m_columnEditable;
    QList<bool> m_rowEditable;
};
