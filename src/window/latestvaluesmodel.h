#pragma once

#include "model/stationlimits.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

class Clock;
class LatestAnswers;
struct StationState;

// The measurements page's table: one row per poll-list row with its name, the
// time and age of its last measurement and the chosen values by their archive
// titles, read from LatestAnswers. A row that never answered shows no values;
// one whose measurement is older than three of its timeouts shows it grey.
class LatestValuesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum FixedColumn : int { Number = 0, Name, Time, Age, FirstValue };
    static constexpr int kStaleTimeouts = 3;

    LatestValuesModel(const LatestAnswers& latest, const StationState& state, const Clock& clock,
                      QObject* parent = nullptr);

    // Archive column indexes, shown after the fixed columns in this order.
    const QList<int>& valueColumns() const { return m_valueColumns; }
    void setValueColumns(const QList<int>& columns);

    bool isStale(int row) const;
    bool hasMeasurement(int row) const;
    // Ages and staleness move with the clock: repaints the rows that answered.
    void refreshAges();
    // Names and timeouts may have changed: repaints everything.
    void refreshRows();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // "45 с", "3 мин 05 с", "2 ч 10 мин", "4 д 3 ч"
    static QString ageText(qint64 seconds);

private:
    void rowsChanged(const QList<int>& rows);
    QString text(int row, int column) const;
    qint64 ageSeconds(int row) const;

    const LatestAnswers& m_latest;
    const StationState& m_state;
    const Clock& m_clock;
    QList<int> m_valueColumns;
};
