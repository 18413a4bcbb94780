#include "historyservice.h"

#include "archivereader.h"

#include "model/settingsstore.h"
#include "model/stationstate.h"

#include <QTcpServer>

HistoryService::HistoryService(StationState& state, const SettingsStore& settings,
                               const ArchiveReader& reader, QObject* parent)
    : QObject(parent), m_state(state), m_settings(settings), m_reader(reader),
      m_server(new QTcpServer(this))
{
}

HistoryService::~HistoryService() = default;

Outcome HistoryService::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::Any, port))
        return Outcome::failure(m_server->errorString());
    return Outcome::success();
}

void HistoryService::stop()
{
    m_server->close();
}

bool HistoryService::isListening() const
{
    return m_server->isListening();
}

quint16 HistoryService::port() const
{
    return m_server->serverPort();
}
