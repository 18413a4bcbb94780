#include "cellgriddelegate.h"

#include "model/cellcolour.h"
#include "model/cellgrid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

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
        // The list is as wide as its longest item, not as the narrow cell.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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

void CellGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const
{
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    // A drop-down wider than its cell shows its whole item over the next cell.
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        QRect rect = editor->geometry();
        rect.setWidth(qMax(rect.width(), combo->sizeHint().width()));
        editor->setGeometry(rect);
    }
}

void CellGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        // Cleared and refilled every time the cell enters editing.
        combo->clear();
        combo->addItems(editorFor(index).items);
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
