#pragma once

// A channel file's place in the archive walk: its day folder and channel number.
struct ArchivePlace {
    int year = 0;
    int month = 0;
    int day = 0;
    int channel = 0;

    bool sameDay(const ArchivePlace& other) const
    {
        return year == other.year && month == other.month && day == other.day;
    }
};
