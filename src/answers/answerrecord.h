#pragma once

#include <QtGlobal>
#include <array>

// The normalised answer of one channel: 78 bytes for a measurement, 21 for a
// status. One more byte holds the LRC the relay appends.
struct AnswerRecord {
    static constexpr int kFullLength = 78;
    static constexpr int kShortLength = 21;
    static constexpr int kCapacity = 79;

    std::array<quint8, kCapacity> bytes{};

    quint8& operator[](int i) { return bytes[size_t(i)]; }
    quint8 operator[](int i) const { return bytes[size_t(i)]; }
    void clear() { bytes.fill(0); }
};
