#include "liveserver.h"

#include "answerrecord.h"

#include "model/stationstate.h"
#include "serial/pollscheduler.h"

#include <QTcpServer>

LiveServer::LiveServer(StationState& state, PollScheduler& scheduler, QObject* parent)
    : QObject(parent), m_state(state), m_scheduler(scheduler), m_server(new QTcpServer(this))
{
}

LiveServer::~LiveServer() = default;

Outcome LiveServer::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::Any, port))
        return Outcome::failure(m_server->errorString());
    return Outcome::success();
}

void LiveServer::stop()
{
    m_server->close();
}

bool LiveServer::isListening() const
{
    return m_server->isListening();
}

quint16 LiveServer::port() const
{
    return m_server->serverPort();
}

void LiveServer::RelayRecord(AnswerRecord&, int) {}
