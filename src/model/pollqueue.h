#pragma once

#include "stationlimits.h"

#include <array>

// The on-request channels of one terminal, lowest k first.
struct PollQueue {
    std::array<int, kChannelCount> entries{};
    int count = 0;
    int next = 0; // wrapped to 0 by the send timer when it equals count

    void clear() { *this = PollQueue(); }
    void append(int k)
    {
        if (count < kChannelCount)
            entries[count++] = k;
    }
};
