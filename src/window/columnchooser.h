#pragma once

#include <QList>
#include <QToolButton>

class QAction;

// A button whose menu lists the archive's value columns by their titles, each
// checkable: what the measurements page shows in its table or draws in its
// trend. The choice is kept in archive order.
class ColumnChooser : public QToolButton {
    Q_OBJECT
public:
    ColumnChooser(const QString& caption, const QList<int>& chosen, QWidget* parent = nullptr);

    QList<int> chosen() const;
    void setChosen(const QList<int>& columns);
    // The action of an archive column, for tests and shortcuts; null for none.
    QAction* action(int column) const;

signals:
    void chosenChanged(const QList<int>& columns);

private:
    QList<QAction*> m_actions; // by archive column; null for the name and the time
};
