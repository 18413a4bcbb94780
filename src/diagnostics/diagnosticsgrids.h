#pragma once

#include "model/cellgrid.h"

#include <QString>

struct StationCounters;
struct StationState;

// The counters as the window shows them: one grid row per poll-list row and
// one per terminal, in the station's grid style (heading row, numbered fixed
// column, coloured cells), and a line for the services. Data only: the
// "Диагностика" page shows these grids and calls refresh() once a second.
class DiagnosticsGrids {
public:
    enum ChannelColumn : int {
        Row = 0,
        Name,
        Terminal,
        Requests,
        Forwarded,
        Measurements,
        StatusAnswers,
        Timeouts,
        Answered,
        LastAnswer,
        LastResponse,
        MeanResponse,
        ChannelColumns
    };
    enum TerminalColumn : int {
        TerminalName = 0,
        Port,
        PortState,
        Opens,
        OpenFailures,
        BytesRead,
        BytesWritten,
        Frames,
        LrcErrors,
        BadLength,
        Overflows,
        FloodDropped,
        TerminalColumns
    };
    // A share of answered polls at or above this shows green, below it red.
    static constexpr int kGoodSharePercent = 95;

    DiagnosticsGrids();

    void refresh(const StationState& state);

    CellGrid& channels() { return m_channels; }
    CellGrid& terminals() { return m_terminals; }
    const QString& servicesText() const { return m_servicesText; }

    // "66 %": answers against answers and time-outs, rounded down, so 100 %
    // means none was missed; "-" before the first of either.
    static QString answeredText(quint64 answers, quint64 timeouts);
    static QString servicesText(const StationCounters& counters);

private:
    void refreshChannels(const StationState& state);
    void refreshTerminals(const StationState& state);

    CellGrid m_channels;
    CellGrid m_terminals;
    QString m_servicesText;
};
