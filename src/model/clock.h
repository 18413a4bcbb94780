#pragma once

#include <QDateTime>

// The local clock, injected so that tests fix the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // now() as milliseconds since the epoch; a clock may answer it without
    // working out the local time.
    virtual qint64 nowMsecs() const { return now().toMSecsSinceEpoch(); }
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 nowMsecs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};
