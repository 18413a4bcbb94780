#pragma once

#include "servicesnapshot.h"

#include "diagnostics/diagnosticsgrids.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>

class LatestAnswers;
struct StationState;

// The station's state as JSON for GET /api/status: the poll list with every
// cell's text and colour as the grid shows them, each channel's latest
// measurement by its archive titles, the terminals, the connection lists, the
// services, the broker, and the counters as the "Диагностика" page shows
// them. Read from the tables and the latest answers only.
class StatusReport {
public:
    StatusReport(const StationState& state, const LatestAnswers& latest)
        : m_state(state), m_latest(latest)
    {
    }

    QJsonObject build(const ServiceSnapshot& services, const QDateTime& now,
                      const QDateTime& started);
    QByteArray json(const ServiceSnapshot& services, const QDateTime& now,
                    const QDateTime& started);

    // "#ff0000" for a red cell, and so on.
    static QString colourName(int colour);

private:
    QJsonObject channel(int k) const;
    QJsonObject terminal(int t) const;

    const StationState& m_state;
    const LatestAnswers& m_latest;
    DiagnosticsGrids m_diagnostics;
};
