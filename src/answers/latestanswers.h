#pragma once

#include "answerconsumer.h"
#include "measurementrecord.h"
#include "model/stationlimits.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

class Clock;

// The latest accepted answers of every poll-list row, for whatever shows or
// serves current values (the measurements page, Modbus registers, the web
// status): one more consumer on the road, holding copies of what it was
// handed, never reading a grid. A row's entry is forgotten when the row is
// given to another block, so old values never show under a new name.
class LatestAnswers : public QObject, public AnswerConsumer {
    Q_OBJECT
public:
    struct Entry {
        std::optional<MeasurementRecord> measurement;
        QDateTime measurementReceived;    // the station's time of acceptance
        std::optional<quint8> statusCode; // the last status answer's status byte
        QDateTime statusReceived;
        QDateTime lastReceived; // of either kind; null: nothing accepted yet
        quint8 status = 0;      // the last answer's status byte, of either kind
        int terminal = -1;
        QString statusText; // the "Статус" cell after the last answer
    };

    explicit LatestAnswers(const Clock& clock, QObject* parent = nullptr);

    // row: poll-list index k (0..29)
    const Entry& entry(int row) const { return m_entries.at(size_t(row)); }
    void forgetRow(int row);

    void beginTick() override;
    void accept(const AcceptedAnswer& answer) override;
    void endTick() override;

signals:
    // The rows whose entry changed, once per receive tick (at once outside one).
    void rowsUpdated(const QList<int>& rows);

private:
    void markUpdated(int row);

    const Clock& m_clock;
    std::array<Entry, kChannelCount> m_entries;
    QList<int> m_updated; // at most kChannelCount rows
    bool m_inTick = false;
    QDateTime m_tickTime; // the acceptance time of the current tick's answers
};
