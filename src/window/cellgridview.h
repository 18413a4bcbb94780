#pragma once

#include "cellgriddelegate.h"

#include <QList>
#include <QTableView>

class CellGrid;

// A view of one CellGrid as the station's grids look: Tahoma 8 pt, the heading
// row as a bold fixed header, column 0 bold as the fixed column, grid lines,
// several cells selectable, and the cell editors of the given chooser (none:
// read-only). The grid model is the data; the view only shows and edits it.
class CellGridView : public QTableView {
    Q_OBJECT
public:
    CellGridView(CellGrid& grid, CellGridDelegate::Chooser chooser, QWidget* parent = nullptr);

    CellGrid& grid() const { return m_grid; }
    void setColumnWidths(const QList<int>& widths);
    void setRowHeights(int height);

private:
    CellGrid& m_grid;
};
