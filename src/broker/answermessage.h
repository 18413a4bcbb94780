#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

struct AcceptedAnswer;

// An accepted answer as the broker gets it. The spool keeps a compact form
// (the record and the few fields around it, a hundred bytes or so); the JSON
// is made from it when it is sent, so every copy of one answer is the same:
// seq (the spool's sequence number), row, the block's address and channel,
// trimmed name, terminal, status byte and the status text the poll list
// shows, the measurement time (ISO 8601 with the offset then in force) and
// its stamp text (DDMMYYYYhhmmss), received (when the station accepted it),
// the kind, for a measurement the 29 archive columns by their titles (the
// numbers as the archive writes them, with a point), and the record itself in
// hex. Measurements go to "channel/<row>", status answers to
// "channel/<row>/status"; a clearing is an empty retained message on one of
// them.
class AnswerMessage {
public:
    // What the answer carries beside itself.
    struct Context {
        quint8 address = 0;
        quint8 channel = 0;
        qint64 receivedMs = 0;  // since the epoch
        int receivedOffset = 0; // seconds east of UTC then
    };
    struct Message {
        QString topic; // below the station's topic root
        QByteArray payload;
    };

    static QByteArray compact(const AcceptedAnswer& answer, const Context& context);
    // Empties the retained measurement (or status) topic of a row.
    static QByteArray clearing(int row, bool status);
    // Nothing when the compact form is not one.
    static std::optional<Message> message(const QByteArray& compact, qint64 seq);

    static QString topic(const AcceptedAnswer& answer);
    static QByteArray json(const AcceptedAnswer& answer, const Context& context, qint64 seq);
    // Seconds east of UTC at a local wall-clock time; inside a gap the offset
    // in force when its day began. Nothing for a date that does not exist.
    static std::optional<int> localOffset(const QDate& date, const QTime& time);
};
