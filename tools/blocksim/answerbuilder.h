#pragma once

#include "scenario.h"

#include <QByteArray>
#include <QDateTime>

class TankModel;

// The bytes a block sends back for one channel, in each answer kind: standard
// measurements of 69 (with the block's clock) and 63 bytes, status answers of
// 12 (with the clock) and 6 bytes, compact measurements of 58 and 64 bytes and
// compact status answers. Every message ends in its LRC.
class AnswerBuilder {
public:
    struct Request {
        quint8 blockAddress = 0;
        quint8 channelNumber = 0;
        quint8 sensorAddress = 0;
        quint8 status = 0;
        bool badClock = false;
        QDateTime clock;
    };

    static QByteArray build(Scenario::Kind kind, const Request& request, const TankModel& tank);
    // The block's answer to a poll of a channel it does not serve: status 4 ("not
    // polled") or 5 (number beyond 0..7), 12 bytes.
    static QByteArray unservedChannel(const Request& request);
    // Six bytes: second, minute, hour, day, month, year - 2000.
    static QByteArray clockBytes(const QDateTime& clock, bool bad);
    // A compact temperature: sixteenths of a degree, low byte first; below zero
    // the bits of the magnitude inverted, as the blocks do.
    static std::array<quint8, 2> compactTemperature(double degrees);
};
