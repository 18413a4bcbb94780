#pragma once

#include "model/clock.h"

// A clock that says what the test tells it.
class FixedClock : public Clock {
public:
    explicit FixedClock(const QDateTime& time = QDateTime(QDate(2024, 6, 15), QTime(14, 45, 30)))
        : m_time(time)
    {
    }
    QDateTime now() const override { return m_time; }
    void set(const QDateTime& time) { m_time = time; }

private:
    QDateTime m_time;
};
