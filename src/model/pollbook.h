#pragma once

#include "stationlimits.h"

#include <array>

struct ChannelEntry;

// The poll state of the station: which terminal has a request outstanding
// (requestPending) and which channel waits for its answer (awaitingAnswer).
// The poll scheduler, the answer decoder, the supervision and the Apply of the
// poll list change it only through these named operations; everyone else reads.
class PollBook {
public:
    // The scheduler wrote a poll request for channel k on terminal t.
    void requested(int t, int k);
    // An answer for on-request channel k arrived: its wait ends and terminal t,
    // the one it is configured on, is free for the next poll.
    void answered(int t, int k);
    // No answer for on-request channel k came in time: the same, by supervision.
    void timedOut(int t, int k);
    // Channel k was (re)configured: an active channel always counts as
    // waiting, an on-request one waits for nothing.
    void configured(int k, const ChannelEntry& channel);
    // "Применить" of the poll list: every terminal free, every channel as configured.
    void reset(const std::array<ChannelEntry, kChannelCount>& channels);

    bool isPending(int t) const { return validTerminal(t) && m_requestPending[size_t(t)]; }
    bool isAwaiting(int k) const { return validChannel(k) && m_awaitingAnswer[size_t(k)]; }

private:
    static bool validTerminal(int t) { return t >= 0 && t < kTerminalCount; }
    static bool validChannel(int k) { return k >= 0 && k < kChannelCount; }
    void release(int t, int k);

    std::array<bool, kTerminalCount> m_requestPending{};
    std::array<bool, kChannelCount> m_awaitingAnswer{};
};
