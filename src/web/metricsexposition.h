#pragma once

#include <QByteArray>

struct StationState;

// The station's counters and states in the Prometheus text exposition format
// (version 0.0.4) for GET /metrics: one family per count, each with its HELP
// and TYPE lines; channels labelled by row, name and terminal as applied,
// terminals by terminal and port. Read from the tables only.
class MetricsExposition {
public:
    // What the web service counts of itself, beside the station's counters.
    struct WebCounts {
        quint64 clients = 0;
        quint64 requests = 0;
        quint64 badRequests = 0;
    };

    static QByteArray write(const StationState& state, const WebCounts& web);
    // A label value with \, " and line ends escaped.
    static QByteArray labelValue(const QString& text);
};
