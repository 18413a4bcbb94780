#include "metricsexposition.h"

#include "kx7rversion.h"

#include "model/stationstate.h"
#include "model/terminalname.h"

#include <functional>

namespace {

// One metric family being written: its HELP and TYPE once, then its samples.
class Family {
public:
    Family(QByteArray& out, const char* name, const char* type, const char* help)
        : m_out(out), m_name(name)
    {
        m_out += "# HELP ";
        m_out += name;
        m_out += ' ';
        m_out += help;
        m_out += "\n# TYPE ";
        m_out += name;
        m_out += ' ';
        m_out += type;
        m_out += '\n';
    }
    void sample(const QByteArray& labels, const QByteArray& value, const char* suffix = "")
    {
        m_out += m_name;
        m_out += suffix;
        if (!labels.isEmpty()) {
            m_out += '{';
            m_out += labels;
            m_out += '}';
        }
        m_out += ' ';
        m_out += value;
        m_out += '\n';
    }
    void sample(const QByteArray& labels, quint64 value, const char* suffix = "")
    {
        sample(labels, QByteArray::number(value), suffix);
    }

private:
    QByteArray& m_out;
    const char* m_name;
};

QByteArray seconds(double value)
{
    return QByteArray::number(value, 'g', 15);
}

QByteArray channelLabels(const ChannelEntry& channel, int k)
{
    return "row=\"" + QByteArray::number(k + 1) +
           "\",name=" + MetricsExposition::labelValue(channel.name) +
           ",terminal=" + MetricsExposition::labelValue(channel.terminal);
}

QByteArray terminalLabels(const StationState& state, int t)
{
    return "terminal=" + MetricsExposition::labelValue(terminalText(t)) +
           ",port=" + MetricsExposition::labelValue(state.terminals[size_t(t)].comName);
}

using ChannelValue = std::function<quint64(const ChannelCounters&)>;
using TerminalValue = std::function<quint64(const TerminalCounters&)>;

void channelHistogram(QByteArray& out, const StationState& state,
                      const std::array<QByteArray, kChannelCount>& labels)
{
    Family family(out, "kx7r_channel_response_seconds", "histogram",
                  "Time from a poll request written to its answer accepted.");
    for (int k = 0; k < kChannelCount; ++k) {
        const ResponseHistogram& h = state.counters.channels[size_t(k)].responseTime;
        quint64 cumulative = 0;
        for (size_t b = 0; b < ResponseHistogram::kBoundsMs.size(); ++b) {
            cumulative += h.buckets[b];
            family.sample(labels[size_t(k)] + ",le=\"" +
                              seconds(double(ResponseHistogram::kBoundsMs[b]) / 1000.0) + '"',
                          cumulative, "_bucket");
        }
        family.sample(labels[size_t(k)] + ",le=\"+Inf\"", h.count, "_bucket");
        family.sample(labels[size_t(k)], seconds(double(h.sumMs) / 1000.0), "_sum");
        family.sample(labels[size_t(k)], h.count, "_count");
    }
}

} // namespace

QByteArray MetricsExposition::labelValue(const QString& text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    out += '"';
    return out;
}

QByteArray MetricsExposition::write(const StationState& state, const WebCounts& web)
{
    const StationCounters& counters = state.counters;
    QByteArray out;
    out.reserve(96 * 1024);

    std::array<QByteArray, kChannelCount> channel;
    for (int k = 0; k < kChannelCount; ++k)
        channel[size_t(k)] = channelLabels(state.channels[size_t(k)], k);
    const std::pair<const char*, const char*> channelHelp[] = {
        {"kx7r_channel_requests_sent_total", "Poll requests written for the row."},
        {"kx7r_channel_forwarded_requests_total", "Live clients' requests written for the row."},
        {"kx7r_channel_measurements_accepted_total", "Measurement answers accepted."},
        {"kx7r_channel_status_answers_accepted_total", "Status answers accepted."},
        {"kx7r_channel_timeouts_total", "Waits for an answer that ran out."},
    };
    const ChannelValue channelValues[] = {
        [](const ChannelCounters& c) { return c.requestsSent; },
        [](const ChannelCounters& c) { return c.forwardedRequests; },
        [](const ChannelCounters& c) { return c.measurementsAccepted; },
        [](const ChannelCounters& c) { return c.statusAnswersAccepted; },
        [](const ChannelCounters& c) { return c.timeouts; },
    };
    for (size_t i = 0; i < std::size(channelValues); ++i) {
        Family family(out, channelHelp[i].first, "counter", channelHelp[i].second);
        for (int k = 0; k < kChannelCount; ++k)
            family.sample(channel[size_t(k)], channelValues[i](counters.channels[size_t(k)]));
    }
    {
        Family family(out, "kx7r_channel_last_answer_timestamp_seconds", "gauge",
                      "When the last answer was accepted, 0 before the first.");
        for (int k = 0; k < kChannelCount; ++k)
            family.sample(channel[size_t(k)],
                          seconds(double(counters.channels[size_t(k)].lastAcceptedMsecs) / 1000.0));
    }
    {
        Family family(out, "kx7r_channel_last_response_seconds", "gauge",
                      "The last answer's response time.");
        for (int k = 0; k < kChannelCount; ++k)
            family.sample(
                channel[size_t(k)],
                seconds(double(counters.channels[size_t(k)].responseTime.lastMs) / 1000.0));
    }
    {
        Family family(out, "kx7r_channel_answered_ratio", "gauge",
                      "Answers against answers and time-outs; 1 before either.");
        for (int k = 0; k < kChannelCount; ++k)
            family.sample(channel[size_t(k)],
                          QByteArray::number(counters.channels[size_t(k)].answeredShare(), 'g', 6));
    }
    channelHistogram(out, state, channel);

    std::array<QByteArray, kTerminalCount> terminal;
    for (int t = 0; t < kTerminalCount; ++t)
        terminal[size_t(t)] = terminalLabels(state, t);
    const std::pair<const char*, const char*> terminalHelp[] = {
        {"kx7r_terminal_opens_total", "Opens of the terminal's port that succeeded."},
        {"kx7r_terminal_open_failures_total", "Opens of the terminal's port that failed."},
        {"kx7r_terminal_read_bytes_total", "Bytes read from the line."},
        {"kx7r_terminal_written_bytes_total", "Bytes written to the line."},
        {"kx7r_terminal_frames_accepted_total", "Frames whose LRC checks."},
        {"kx7r_terminal_lrc_errors_total", "Frames whose LRC does not check."},
        {"kx7r_terminal_unaccepted_length_frames_total", "Good frames of a length no answer has."},
        {"kx7r_terminal_overflow_frames_total",
         "Frames that outgrew the receive buffer without their end."},
        {"kx7r_terminal_flood_dropped_bytes_total",
         "Bytes dropped because the line outran the receive ticks."},
    };
    const TerminalValue terminalValues[] = {
        [](const TerminalCounters& c) { return c.opens; },
        [](const TerminalCounters& c) { return c.openFailures; },
        [](const TerminalCounters& c) { return c.bytesRead; },
        [](const TerminalCounters& c) { return c.bytesWritten; },
        [](const TerminalCounters& c) { return c.framesAccepted; },
        [](const TerminalCounters& c) { return c.lrcErrors; },
        [](const TerminalCounters& c) { return c.unacceptedLength; },
        [](const TerminalCounters& c) { return c.overflowFrames; },
        [](const TerminalCounters& c) { return c.floodDroppedBytes; },
    };
    for (size_t i = 0; i < std::size(terminalValues); ++i) {
        Family family(out, terminalHelp[i].first, "counter", terminalHelp[i].second);
        for (int t = 0; t < kTerminalCount; ++t)
            family.sample(terminal[size_t(t)], terminalValues[i](counters.terminals[size_t(t)]));
    }
    {
        Family family(out, "kx7r_terminal_port_state", "gauge",
                      "The port's state: 1 for the one it is in.");
        using State = TerminalCounters::PortState;
        const std::pair<State, const char*> states[] = {
            {State::None, "none"}, {State::Connected, "connected"}, {State::Busy, "busy"}};
        for (int t = 0; t < kTerminalCount; ++t)
            for (const auto& [value, name] : states)
                family.sample(terminal[size_t(t)] + ",state=\"" + name + '"',
                              counters.terminals[size_t(t)].portState == value ? 1 : 0);
    }

    struct Single {
        const char* name;
        const char* type;
        const char* help;
        quint64 value;
    };
    const Single singles[] = {
        {"kx7r_live_clients", "gauge", "Live clients connected now.", counters.live.clientsNow},
        {"kx7r_live_connections_accepted_total", "counter", "Live connections accepted.",
         counters.live.connectionsAccepted},
        {"kx7r_live_connections_refused_total", "counter",
         "Live connections refused over the client cap.", counters.live.connectionsRefused},
        {"kx7r_live_frames_sent_total", "counter", "Relay frames written to live clients.",
         counters.live.framesSent},
        {"kx7r_live_frames_dropped_total", "counter",
         "Relay frames not written: the client read too slowly.", counters.live.framesDropped},
        {"kx7r_live_bad_requests_total", "counter", "Bad requests from live clients.",
         counters.live.badRequests},
        {"kx7r_history_sessions_total", "counter", "History connections accepted.",
         counters.history.sessions},
        {"kx7r_history_files_sent_total", "counter", "Archive files sent to history clients.",
         counters.history.filesSent},
        {"kx7r_history_sent_bytes_total", "counter", "Archive bytes sent to history clients.",
         counters.history.bytesSent},
        {"kx7r_history_bad_requests_total", "counter", "Bad requests from history clients.",
         counters.history.badRequests},
        {"kx7r_history_idle_closes_total", "counter", "History clients closed when idle.",
         counters.history.idleCloses},
        {"kx7r_archive_lines_written_total", "counter", "Archive lines written.",
         counters.archive.linesWritten},
        {"kx7r_archive_write_failures_total", "counter", "Archive lines that could not be written.",
         counters.archive.writeFailures},
        {"kx7r_archive_folder_failures_total", "counter",
         "Archive folders that could not be created.", counters.archive.folderFailures},
        {"kx7r_broker_connected", "gauge", "1 while connected to the MQTT broker.",
         counters.broker.connected ? 1u : 0u},
        {"kx7r_broker_queued_messages", "gauge", "Messages waiting for the broker now.",
         counters.broker.queued},
        {"kx7r_broker_published_total", "counter", "Messages the broker acknowledged.",
         counters.broker.published},
        {"kx7r_broker_dropped_total", "counter", "Messages lost at the queue's bound.",
         counters.broker.dropped},
        {"kx7r_broker_reconnects_total", "counter", "Connections to the broker made again.",
         counters.broker.reconnects},
        {"kx7r_http_clients", "gauge", "Web status clients connected now.", web.clients},
        {"kx7r_http_requests_total", "counter", "Requests the web status service answered.",
         web.requests},
        {"kx7r_http_bad_requests_total", "counter", "Requests the web status service refused.",
         web.badRequests},
    };
    for (const Single& single : singles)
        Family(out, single.name, single.type, single.help).sample({}, single.value);

    Family(out, "kx7r_station_start_timestamp_seconds", "gauge", "When the station started.")
        .sample({}, seconds(double(counters.startedMsecs) / 1000.0));
    Family(out, "kx7r_station_info", "gauge", "The station's version.")
        .sample("version=\"" KX7R_VERSION "\"", 1);
    return out;
}
