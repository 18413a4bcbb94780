#pragma once

#include "celleditor.h"

#include <QColor>
#include <QStyledItemDelegate>
#include <functional>

// Draws and edits the cells of a CellGrid view: the font colour comes from the
// cell's CellColour, the fixed column is bold on the heading background, and
// the editor of a cell is asked from the chooser each time the cell enters
// editing, so drop-down items are always filled afresh. A drop-down writes
// back only one of its items; a cell being edited is shown bold. Cells the
// marker names are drawn on a tinted background.
class CellGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // (grid row, column) -> editor; grid row = model row + 1.
    using Chooser = std::function<CellEditor(int row, int column)>;

    // (grid row, column) -> whether the cell holds an edit that is not in force.
    using Marker = std::function<bool(int row, int column)>;

    explicit CellGridDelegate(Chooser chooser, QObject* parent = nullptr);

    // Marked cells are drawn on markedBackground().
    void setMarker(Marker marker) { m_marker = std::move(marker); }
    static QColor markedBackground() { return QColor(255, 232, 150); }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    CellEditor editorFor(const QModelIndex& index) const;

    Chooser m_chooser;
    Marker m_marker;
};
