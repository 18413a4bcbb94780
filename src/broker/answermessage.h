#pragma once

#include <QByteArray>
#include <QString>

struct AcceptedAnswer;

// The JSON an accepted answer is published as: row, trimmed name, terminal,
// status byte and the status text the poll list shows, the measurement time
// (ISO 8601), the kind, for a measurement the 29 archive columns by their
// titles, and the record itself in hex.
class AnswerMessage {
public:
    static QByteArray json(const AcceptedAnswer& answer);
    // "channel/<row>" below the station's topic root.
    static QString topic(const AcceptedAnswer& answer);
};
