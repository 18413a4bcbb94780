#pragma once

#include <QByteArray>
#include <QString>

struct AnswerRecord;

// The JSON an accepted answer is published as: row, trimmed name, terminal,
// status byte and the status text the poll list shows, the measurement time
// (ISO 8601), the kind, for a measurement the 29 archive columns by their
// titles, and the record itself in hex.
class AnswerMessage {
public:
    // length: 78 (measurement) or 21 (status), as the decoder relays it.
    static QByteArray json(const AnswerRecord& record, int length, const QString& terminal,
                           const QString& statusText);
    // "channel/<row>" below the station's topic root.
    static QString topic(const AnswerRecord& record);
};
