#pragma once

#include <QtGlobal>
#include <array>

// The normalised answer of one channel: 78 bytes for a measurement, 21 for a
// status. One more byte leaves room for a relay frame's LRC. The offsets below
// are the layout every reader of a record uses.
struct AnswerRecord {
    static constexpr int kFullLength = 78;
    static constexpr int kShortLength = 21;
    static constexpr int kCapacity = 79;

    static constexpr int kMarker = 0; // 0xFF where an answer carries its block address
    static constexpr int kCode = 1;
    static constexpr int kSensorAddress = 2;
    static constexpr int kStatus = 3;
    static constexpr int kRow = 4; // poll-list index k, not the block's channel number
    // The measurement time: second, minute, hour, day, month, year - 2000.
    static constexpr int kShortStamp = 5;
    static constexpr int kFullStamp = 62;
    static constexpr int kStampLength = 6;
    // The channel's name, padded with spaces, behind the stamp.
    static constexpr int kShortName = kShortStamp + kStampLength;
    static constexpr int kFullName = kFullStamp + kStampLength;
    static constexpr int kNameLength = 10;

    std::array<quint8, kCapacity> bytes{};

    quint8& operator[](int i) { return bytes[size_t(i)]; }
    quint8 operator[](int i) const { return bytes[size_t(i)]; }
    void clear() { bytes.fill(0); }
};
