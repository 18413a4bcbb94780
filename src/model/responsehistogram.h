#pragma once

#include <QtGlobal>
#include <array>

// Response times of one channel: from the request written to its answer
// accepted, in fixed buckets. The receive tick reads the lines once a second,
// so the figures are as coarse as that tick.
struct ResponseHistogram {
    // Upper bounds in milliseconds, inclusive; a last bucket above them all.
    static constexpr std::array<quint64, 8> kBoundsMs{100,  250,  500,   1000,
                                                      2000, 5000, 10000, 30000};
    static constexpr int kBucketCount = int(kBoundsMs.size()) + 1;

    std::array<quint64, kBucketCount> buckets{}; // not cumulative: one count per bucket
    quint64 count = 0;
    quint64 sumMs = 0;
    quint64 lastMs = 0;

    void record(quint64 ms)
    {
        int bucket = 0;
        while (bucket < int(kBoundsMs.size()) && ms > kBoundsMs[size_t(bucket)])
            ++bucket;
        ++buckets[size_t(bucket)];
        ++count;
        sumMs += ms;
        lastMs = ms;
    }
};
