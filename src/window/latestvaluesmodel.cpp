#include "latestvaluesmodel.h"

#include "answers/latestanswers.h"
#include "model/clock.h"
#include "model/stationstate.h"
#include "trends/archivecolumns.h"

#include <QColor>
#include <algorithm>

namespace {
const QString kTimeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

QString twoDigits(qint64 value)
{
    return QString::number(value).rightJustified(2, u'0');
}
} // namespace

LatestValuesModel::LatestValuesModel(const LatestAnswers& latest, const StationState& state,
                                     const Clock& clock, QObject* parent)
    : QAbstractTableModel(parent), m_latest(latest), m_state(state), m_clock(clock)
{
    connect(&latest, &LatestAnswers::rowsUpdated, this, &LatestValuesModel::rowsChanged);
}

void LatestValuesModel::setValueColumns(const QList<int>& columns)
{
    if (columns == m_valueColumns)
        return;
    beginResetModel();
    m_valueColumns = columns;
    endResetModel();
}

bool LatestValuesModel::hasMeasurement(int row) const
{
    return m_latest.entry(row).measurement.has_value();
}

qint64 LatestValuesModel::ageSeconds(int row) const
{
    const QDateTime& received = m_latest.entry(row).measurementReceived;
    return std::max<qint64>(0, received.secsTo(m_clock.now()));
}

bool LatestValuesModel::isStale(int row) const
{
    if (!hasMeasurement(row))
        return false;
    // A zero timeout would make every value stale at once: a second at least.
    const qint64 timeout = std::max<qint64>(1, m_state.channels[size_t(row)].timeoutSeconds);
    return ageSeconds(row) > kStaleTimeouts * timeout;
}

void LatestValuesModel::refreshAges()
{
    const int last = columnCount() - 1;
    for (int row = 0; row < kChannelCount; ++row)
        if (hasMeasurement(row))
            emit dataChanged(index(row, Time), index(row, last));
}

void LatestValuesModel::refreshRows()
{
    emit dataChanged(index(0, 0), index(kChannelCount - 1, columnCount() - 1));
}

void LatestValuesModel::rowsChanged(const QList<int>& rows)
{
    const int last = columnCount() - 1;
    for (int row : rows)
        if (row >= 0 && row < kChannelCount)
            emit dataChanged(index(row, 0), index(row, last));
}

int LatestValuesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kChannelCount;
}

int LatestValuesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FirstValue + int(m_valueColumns.size());
}

QString LatestValuesModel::text(int row, int column) const
{
    if (column == Number)
        return QString::number(row + 1);
    if (column == Name)
        return m_state.channels[size_t(row)].name;
    const LatestAnswers::Entry& entry = m_latest.entry(row);
    if (!entry.measurement)
        return {};
    if (column == Time)
        return entry.measurementReceived.toString(kTimeFormat);
    if (column == Age)
        return ageText(ageSeconds(row));
    const int archiveColumn = m_valueColumns.value(column - FirstValue, -1);
    if (archiveColumn < 0 || archiveColumn >= MeasurementRecord::kColumnCount)
        return {};
    return entry.measurement->columns[size_t(archiveColumn)];
}

QVariant LatestValuesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= kChannelCount || index.column() >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::ForegroundRole:
        if (index.column() >= Time && isStale(index.row()))
            return QColor(Qt::gray);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() >= FirstValue || index.column() == Number)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant LatestValuesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Number:
        return QStringLiteral("№");
    case Name:
        return QStringLiteral("Имя");
    case Time:
        return QStringLiteral("Время измерения");
    case Age:
        return QStringLiteral("Давность");
    default:
        return ArchiveColumns::title(m_valueColumns.value(section - FirstValue, -1));
    }
}

QString LatestValuesModel::ageText(qint64 seconds)
{
    if (seconds < 60)
        return QString::number(seconds) + QStringLiteral(" с");
    if (seconds < 3600)
        return QString::number(seconds / 60) + QStringLiteral(" мин ") + twoDigits(seconds % 60) +
               QStringLiteral(" с");
    if (seconds < 86400)
        return QString::number(seconds / 3600) + QStringLiteral(" ч ") +
               twoDigits(seconds / 60 % 60) + QStringLiteral(" мин");
    return QString::number(seconds / 86400) + QStringLiteral(" д ") +
           QString::number(seconds / 3600 % 24) + QStringLiteral(" ч");
}
