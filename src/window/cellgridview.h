#pragma once

#include "cellgriddelegate.h"

#include <QList>
#include <QTableView>

class CellGrid;

// A view of one CellGrid as the station's grids look: Tahoma 8 pt, the heading
// row as a bold fixed header, column 0 bold as the fixed column, grid lines,
// several cells selectable, and the cell editors of the given chooser (none:
// read-only). The grid model is the data; the view only shows and edits it.
// A cell or heading whose text the column cuts shows it whole in a tooltip.
class CellGridView : public QTableView {
    Q_OBJECT
public:
    CellGridView(CellGrid& grid, CellGridDelegate::Chooser chooser, QWidget* parent = nullptr);

    CellGrid& grid() const { return m_grid; }
    void setColumnWidths(const QList<int>& widths);
    // While the grid is narrower than its column widths, the columns give up
    // their room beyond their heading's text, each in proportion, so that every
    // heading stays whole without scrolling; wide enough, they keep their widths.
    void setColumnsFitWidth(bool fit) { m_fitWidth = fit; }
    void setRowHeights(int height);

    // The tooltip of the cell at a viewport point, or of the heading at x:
    // the whole text where the column cuts it, else empty.
    QString toolTipAt(const QPoint& viewportPos) const;
    QString headingToolTipAt(int x) const;

protected:
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();

    CellGrid& m_grid;
    QList<int> m_widths; // as set; fitting narrows from these
    bool m_fitWidth = false;
};
