#pragma once

#include "model/logcategories.h"
#include "model/outcome.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// Keeps a service trying to listen. A port that is taken now may be free in a
// moment (another program ending, an old socket in TIME_WAIT): a listen that
// fails is tried again every kRetryMs, with one log line when an episode
// starts and one when the service listens, so that a service never stays off
// for good and the log holds one line per episode, not one per try.
class ListenRetry : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 5000;

    enum class State { Stopped, Listening, Retrying };

    // service names it in the log ("live service"); listen makes one attempt;
    // where says where it listens, for the log ("127.0.0.1:5000").
    ListenRetry(LogCategory category, QString service, std::function<Outcome()> listen,
                std::function<QString()> where, QObject* parent = nullptr);

    // One attempt now; on failure the retries begin.
    Outcome start();
    // One attempt now and no retries: the caller reports a failure.
    Outcome tryOnce();
    // No more attempts (the service itself is closed by its owner).
    void stop();

    State state() const { return m_state; }
    // The last refusal while retrying.
    const QString& error() const { return m_error; }

signals:
    void stateChanged();

private:
    void attempt();
    void setState(State state);

    LogCategory m_category;
    QString m_service;
    std::function<Outcome()> m_listen;
    std::function<QString()> m_where;
    QTimer m_retry;
    State m_state = State::Stopped;
    QString m_error;
};
