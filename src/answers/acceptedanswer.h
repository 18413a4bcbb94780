#pragma once

#include "answerrecord.h"
#include "measurementrecord.h"

#include <QString>
#include <array>
#include <optional>

// One accepted answer, decoded once by the answer decoder and handed unchanged
// to every consumer (archive, live service, broker, ...): which channel it
// belongs to, what the poll-list grid now shows for it, the measurement time,
// the normalised record and, for a measurement, its 29 values.
struct AcceptedAnswer {
    enum class Kind {
        Status,      // short record
        Measurement, // full record
    };
    enum class Format {
        Standard,
        Compact, // relayed and published, never archived
    };
    using Time = std::array<quint8, 6>; // second, minute, hour, day, month, year - 2000

    int row = 0;       // poll-list index k (0..29)
    int terminal = -1; // index of the terminal the channel is configured on
    Kind kind = Kind::Status;
    Format format = Format::Standard;
    quint8 status = 0;  // the answer's status byte
    QString statusText; // the channel's "Статус" cell after this answer
    Time time{};
    AnswerRecord record;                          // length() bytes; nothing behind them
    std::optional<MeasurementRecord> measurement; // for a measurement

    int length() const
    {
        return kind == Kind::Measurement ? AnswerRecord::kFullLength : AnswerRecord::kShortLength;
    }
    // Only measurements in the standard format go to the archive.
    bool archived() const { return kind == Kind::Measurement && format == Format::Standard; }
};
