#include "columnchooser.h"

#include "trends/archivecolumns.h"
#include "trends/archiveline.h"

#include <QAction>
#include <QMenu>
#include <QSignalBlocker>

ColumnChooser::ColumnChooser(const QString& caption, const QList<int>& chosen, QWidget* parent)
    : QToolButton(parent)
{
    setText(caption);
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    for (int column = 0; column < ArchiveLine::kColumnCount; ++column) {
        if (!ArchiveColumns::isNumber(column)) {
            m_actions.append(nullptr);
            continue;
        }
        QAction* item = menu->addAction(ArchiveColumns::title(column));
        item->setCheckable(true);
        item->setChecked(chosen.contains(column));
        connect(item, &QAction::toggled, this, [this] { emit chosenChanged(this->chosen()); });
        m_actions.append(item);
    }
    setMenu(menu);
}

QList<int> ColumnChooser::chosen() const
{
    QList<int> columns;
    for (qsizetype column = 0; column < m_actions.size(); ++column)
        if (m_actions[column] && m_actions[column]->isChecked())
            columns.append(int(column));
    return columns;
}

void ColumnChooser::setChosen(const QList<int>& columns)
{
    for (qsizetype column = 0; column < m_actions.size(); ++column) {
        if (!m_actions[column])
            continue;
        const QSignalBlocker quiet(m_actions[column]);
        m_actions[column]->setChecked(columns.contains(int(column)));
    }
    emit chosenChanged(chosen());
}

QAction* ColumnChooser::action(int column) const
{
    return m_actions.value(column, nullptr);
}
