#include "listenretry.h"

ListenRetry::ListenRetry(LogCategory category, QString service, std::function<Outcome()> listen,
                         std::function<QString()> where, QObject* parent)
    : QObject(parent), m_category(category), m_service(std::move(service)),
      m_listen(std::move(listen)), m_where(std::move(where))
{
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &ListenRetry::attempt);
}

Outcome ListenRetry::tryOnce()
{
    m_retry.stop();
    m_error.clear();
    const Outcome listening = m_listen();
    if (listening)
        qCInfo(m_category).noquote() << m_service << "listening on" << m_where();
    setState(listening ? State::Listening : State::Stopped);
    return listening;
}

Outcome ListenRetry::start()
{
    const Outcome listening = tryOnce();
    if (listening)
        return listening;
    qCWarning(m_category).noquote()
        << m_service << "cannot listen on" << m_where() << ":" << listening.error()
        << "- trying again every" << kRetryMs / 1000 << "s";
    m_error = listening.error();
    m_retry.start();
    setState(State::Retrying);
    return listening;
}

void ListenRetry::stop()
{
    m_retry.stop();
    m_error.clear();
    setState(State::Stopped);
}

void ListenRetry::attempt()
{
    const Outcome listening = m_listen();
    if (!listening) {
        m_error = listening.error();
        return;
    }
    m_retry.stop();
    m_error.clear();
    qCInfo(m_category).noquote() << m_service << "listening on" << m_where() << "at last";
    setState(State::Listening);
}

void ListenRetry::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}
