#include "statusreport.h"

#include "kx7rversion.h"

#include "answers/latestanswers.h"
#include "model/cellcolour.h"
#include "model/stationstate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {

QJsonValue timeValue(const QDateTime& time)
{
    return time.isValid() ? QJsonValue(time.toString(Qt::ISODate)) : QJsonValue();
}

QJsonObject cell(const CellGrid& grid, int row, int column)
{
    return {{QStringLiteral("text"), grid.text(row, column)},
            {QStringLiteral("colour"), StatusReport::colourName(int(grid.colour(row, column)))}};
}

QJsonArray headings(const CellGrid& grid)
{
    QJsonArray out;
    for (int c = 0; c < grid.columns(); ++c)
        out.append(grid.text(0, c));
    return out;
}

// A grid's headings and its rows of cells with their colours.
QJsonObject cells(const CellGrid& grid)
{
    QJsonArray rows;
    for (int r = 1; r < grid.rows(); ++r) {
        QJsonArray row;
        for (int c = 0; c < grid.columns(); ++c)
            row.append(cell(grid, r, c));
        rows.append(row);
    }
    return {{QStringLiteral("headings"), headings(grid)}, {QStringLiteral("rows"), rows}};
}

// A connection list: its headings and its rows' cell texts.
QJsonObject connections(const CellGrid& grid)
{
    QJsonArray rows;
    for (int r = 1; r < grid.rows(); ++r) {
        QJsonArray row;
        bool empty = true;
        for (int c = 0; c < grid.columns(); ++c) {
            row.append(grid.text(r, c));
            empty = empty && grid.text(r, c).isEmpty();
        }
        if (!empty)
            rows.append(row);
    }
    return {{QStringLiteral("headings"), headings(grid)}, {QStringLiteral("rows"), rows}};
}

QJsonObject measurement(const MeasurementRecord& record, const QDateTime& received)
{
    const QStringList& titles = MeasurementRecord::columnTitles();
    QJsonObject values;
    for (int c = 0; c < MeasurementRecord::kColumnCount; ++c) {
        const double number = record.numbers[size_t(c)];
        values.insert(titles.value(c), std::isfinite(number)
                                           ? QJsonValue(number)
                                           : QJsonValue(record.columns[size_t(c)]));
    }
    const QDateTime time(QDate(int(record.year), int(record.month), int(record.day)),
                         QTime(int(record.hour), int(record.minute), int(record.second)));
    return {{QStringLiteral("time"), timeValue(time)},
            {QStringLiteral("received"), timeValue(received)},
            {QStringLiteral("values"), values}};
}

} // namespace

QString StatusReport::colourName(int colour)
{
    return u'#' + QString::number(cellColourRgb(CellColour(colour)), 16).rightJustified(6, u'0');
}

QJsonObject StatusReport::channel(int k) const
{
    const CellGrid& grid = m_state.queryList;
    const int row = k + 1;
    const LatestAnswers::Entry& latest = m_latest.entry(k);
    QJsonObject out{
        {QStringLiteral("row"), row},
        {QStringLiteral("name"), grid.text(row, QueryColumn::Name)},
        {QStringLiteral("terminal"), grid.text(row, QueryColumn::Terminal)},
        {QStringLiteral("mode"), grid.text(row, QueryColumn::Mode)},
        {QStringLiteral("address"), grid.text(row, QueryColumn::Address)},
        {QStringLiteral("channel"), grid.text(row, QueryColumn::Channel)},
        {QStringLiteral("timeout"), grid.text(row, QueryColumn::Timeout)},
        {QStringLiteral("status"), cell(grid, row, QueryColumn::Status)},
        {QStringLiteral("waiting"), cell(grid, row, QueryColumn::Waiting)},
        {QStringLiteral("version"), cell(grid, row, QueryColumn::Version)},
        {QStringLiteral("lastAnswer"), timeValue(latest.lastReceived)},
    };
    out.insert(QStringLiteral("measurement"),
               latest.measurement
                   ? QJsonValue(measurement(*latest.measurement, latest.measurementReceived))
                   : QJsonValue());
    return out;
}

QJsonObject StatusReport::terminal(int t) const
{
    const CellGrid& grid = m_state.rsSettings;
    const int column = t + 1;
    return {{QStringLiteral("terminal"), grid.text(0, column)},
            {QStringLiteral("port"), grid.text(RsRow::ComName, column)},
            {QStringLiteral("baudRate"), grid.text(RsRow::BaudRate, column)},
            {QStringLiteral("status"), cell(grid, RsRow::Status, column)}};
}

QJsonObject StatusReport::build(const ServiceSnapshot& services, const QDateTime& now,
                                const QDateTime& started)
{
    m_diagnostics.refresh(m_state);
    const QJsonObject counters{{QStringLiteral("channels"), cells(m_diagnostics.channels())},
                               {QStringLiteral("terminals"), cells(m_diagnostics.terminals())},
                               {QStringLiteral("services"), m_diagnostics.servicesText()}};
    QJsonArray channels;
    for (int k = 0; k < kChannelCount; ++k)
        channels.append(channel(k));
    QJsonArray terminals;
    for (int t = 0; t < kTerminalCount; ++t)
        terminals.append(terminal(t));
    QJsonArray serviceList;
    for (const ServiceSnapshot::Service& service : services.services)
        serviceList.append(QJsonObject{{QStringLiteral("name"), service.name},
                                       {QStringLiteral("endpoint"), service.endpoint},
                                       {QStringLiteral("listening"), service.listening},
                                       {QStringLiteral("clients"), service.clients}});
    const QJsonObject broker{{QStringLiteral("enabled"), services.broker.enabled},
                             {QStringLiteral("connected"), services.broker.connected},
                             {QStringLiteral("queued"), services.broker.queued},
                             {QStringLiteral("status"), services.broker.status}};
    const QJsonObject station{
        {QStringLiteral("version"), QStringLiteral(KX7R_VERSION)},
        {QStringLiteral("time"), timeValue(now)},
        {QStringLiteral("uptimeSeconds"), qMax<qint64>(0, started.secsTo(now))}};
    const QJsonObject clients{
        {QStringLiteral("live"), connections(m_state.currentConnections)},
        {QStringLiteral("history"), connections(m_state.currentConnectionsForUpdate)}};
    return {{QStringLiteral("station"), station},
            {QStringLiteral("pollListHeadings"), headings(m_state.queryList)},
            {QStringLiteral("channels"), channels},
            {QStringLiteral("terminals"), terminals},
            {QStringLiteral("clients"), clients},
            {QStringLiteral("services"), serviceList},
            {QStringLiteral("broker"), broker},
            {QStringLiteral("counters"), counters}};
}

QByteArray StatusReport::json(const ServiceSnapshot& services, const QDateTime& now,
                              const QDateTime& started)
{
    return QJsonDocument(build(services, now, started)).toJson(QJsonDocument::Compact);
}
