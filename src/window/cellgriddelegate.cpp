#include "cellgriddelegate.h"

#include "model/cellcolour.h"
#include "model/cellgrid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyle>

namespace {
const char* const kKindProperty = "cellEditorKind";
} // namespace

CellGridDelegate::CellGridDelegate(Chooser chooser, QObject* parent)
    : QStyledItemDelegate(parent), m_chooser(std::move(chooser))
{
}

CellEditor CellGridDelegate::editorFor(const QModelIndex& index) const
{
    if (!index.isValid() || !m_chooser)
        return {};
    return m_chooser(index.row() + 1, index.column());
}

QWidget* CellGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const
{
    const CellEditor editor = editorFor(index);
    QWidget* widget = nullptr;
    switch (editor.kind) {
    case CellEditor::Kind::None:
        return nullptr;
    case CellEditor::Kind::DropDown: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(false); // only the items can be chosen
        combo->view()->setTextElideMode(Qt::ElideNone);
        widget = combo;
        break;
    }
    case CellEditor::Kind::Numeric: {
        auto* line = new QLineEdit(parent);
        line->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), line));
        line->setFrame(false);
        widget = line;
        break;
    }
    case CellEditor::Kind::FreeText: {
        auto* line = new QLineEdit(parent);
        line->setFrame(false);
        widget = line;
        break;
    }
    }
    widget->setProperty(kKindProperty, int(editor.kind));
    QFont font = option.font;
    font.setBold(true);
    widget->setFont(font);
    return widget;
}

void CellGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        // Cleared and refilled every time the cell enters editing.
        combo->clear();
        combo->addItems(editorFor(index).items);
        // The closed drop-down covers its cell and no more; its open list is
        // as wide as its longest item.
        QAbstractItemView* list = combo->view();
        list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                              list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        combo->setCurrentIndex(
            combo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
        return;
    }
    // A validator only restricts typing: a stored text it would refuse is still shown.
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setText(text);
}

void CellGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->currentIndex() < 0) // nothing chosen: the cell keeps its text
            return;
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        model->setData(index, line->text(), Qt::EditRole);
}

void CellGridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant colour = index.data(CellGrid::ColourRole);
    if (colour.isValid()) {
        const QColor rgb = QColor::fromRgb(cellColourRgb(CellColour(colour.toInt())));
        option->palette.setColor(QPalette::Text, rgb);
        option->palette.setColor(QPalette::WindowText, rgb);
    }
    if (index.column() == 0) {
        option->font.setBold(true);
        option->backgroundBrush = option->palette.brush(QPalette::Button);
    } else if (m_marker && m_marker(index.row() + 1, index.column())) {
        option->backgroundBrush = markedBackground();
    }
}
