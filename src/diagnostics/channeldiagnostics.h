#pragma once

#include <QByteArray>
#include <QString>

struct ChannelCounters;

// One poll-list row's counters as the broker's retained diagnostics message:
// compact JSON with the same figures the "Диагностика" page and /metrics show.
class ChannelDiagnostics {
public:
    // row: poll-list index k; the message names it k + 1 like the channel topics.
    static QByteArray json(int row, const QString& name, const ChannelCounters& counters);
};
