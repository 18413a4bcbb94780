#include "cellgridview.h"

#include "model/cellgrid.h"

#include <QHeaderView>

namespace {
constexpr int kHeadingHeight = 22;
} // namespace

CellGridView::CellGridView(CellGrid& grid, CellGridDelegate::Chooser chooser, QWidget* parent)
    : QTableView(parent), m_grid(grid)
{
    QFont gridFont(QStringLiteral("Tahoma"));
    gridFont.setPointSize(8);
    gridFont.setStyleHint(QFont::SansSerif);
    setFont(gridFont);

    setModel(&m_grid);
    setItemDelegate(new CellGridDelegate(std::move(chooser), this));
    setShowGrid(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    // Column 0 is the fixed column; the row header would only repeat it.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);

    QHeaderView* heading = horizontalHeader();
    QFont headingFont = gridFont;
    headingFont.setBold(true);
    heading->setFont(headingFont);
    heading->setFixedHeight(kHeadingHeight);
    heading->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    heading->setHighlightSections(false);
    heading->setSectionsClickable(false);
    heading->setMinimumSectionSize(8);
}

void CellGridView::setColumnWidths(const QList<int>& widths)
{
    for (int c = 0; c < widths.size(); ++c)
        setColumnWidth(c, widths[c]);
}

void CellGridView::setRowHeights(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}
