#include "cellgridview.h"

#include "model/cellgrid.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QToolTip>

namespace {
constexpr int kHeadingHeight = 22;
} // namespace

CellGridView::CellGridView(CellGrid& grid, CellGridDelegate::Chooser chooser, QWidget* parent)
    : QTableView(parent), m_grid(grid)
{
    // Tahoma where it is installed; elsewhere the sans serif whose widths come
    // nearest to it (Liberation Sans, Arial's metrics), before the wider
    // DejaVu Sans that would cut the status, waiting and version texts.
    QFont gridFont;
    gridFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed")});
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
    heading->viewport()->installEventFilter(this);
}

namespace {
// The text of a cell or heading when the width it is drawn in cuts it.
QString cutText(const QString& text, const QFont& font, int width, const QWidget* widget)
{
    const int margin = widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget);
    return QFontMetrics(font).horizontalAdvance(text) > width - 2 * (margin + 1) ? text : QString();
}
} // namespace

QString CellGridView::toolTipAt(const QPoint& viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return {};
    QFont cellFont = font();
    if (index.column() == 0)
        cellFont.setBold(true);
    return cutText(index.data().toString(), cellFont, visualRect(index).width(), this);
}

QString CellGridView::headingToolTipAt(int x) const
{
    const QHeaderView* heading = horizontalHeader();
    const int section = heading->logicalIndexAt(x);
    if (section < 0)
        return {};
    return cutText(model()->headerData(section, Qt::Horizontal).toString(), heading->font(),
                   heading->sectionSize(section), heading);
}

bool CellGridView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = toolTipAt(help->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(indexAt(help->pos())));
    return true;
}

bool CellGridView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && watched == horizontalHeader()->viewport()) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = headingToolTipAt(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, horizontalHeader()->viewport());
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void CellGridView::setColumnWidths(const QList<int>& widths)
{
    m_widths = widths;
    for (int c = 0; c < widths.size(); ++c)
        setColumnWidth(c, widths[c]);
}

void CellGridView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    if (m_fitWidth)
        fitColumns();
}

void CellGridView::fitColumns()
{
    const QHeaderView* heading = horizontalHeader();
    const QFontMetrics metrics(heading->font());
    const int padding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, heading) + 4;
    int total = 0;
    int slack = 0;
    QList<int> least;
    for (int c = 0; c < m_widths.size(); ++c) {
        const QString text = model()->headerData(c, Qt::Horizontal).toString();
        least.append(qMin(m_widths[c], metrics.horizontalAdvance(text) + padding));
        total += m_widths[c];
        slack += m_widths[c] - least[c];
    }
    const int missing = qMin(slack, total - viewport()->width());
    int given = 0;
    for (int c = 0; c < m_widths.size(); ++c) {
        int width = m_widths[c];
        if (missing > 0 && slack > 0) {
            // The last column takes the rounding.
            const int share = c + 1 == m_widths.size()
                                  ? missing - given
                                  : (missing * (m_widths[c] - least[c])) / slack;
            width -= share;
            given += share;
        }
        setColumnWidth(c, width);
    }
}

void CellGridView::setRowHeights(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}
