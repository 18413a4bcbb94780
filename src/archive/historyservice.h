#pragma once

#include "model/outcome.h"

#include <QObject>

class ArchiveReader;
class QTcpServer;
class SettingsStore;
struct StationState;

// The history TCP service ServerSocketRefreshHistory (port 5001): one client at a
// time identifies itself, selects a period and fetches its archive files newest
// first. Its connection is listed in tblCurrentConnectionsForUpdate.
class HistoryService : public QObject {
    Q_OBJECT
public:
    HistoryService(StationState& state, const SettingsStore& settings, const ArchiveReader& reader,
                   QObject* parent = nullptr);
    ~HistoryService() override;

    Outcome listen(quint16 port);
    void stop();
    bool isListening() const;
    quint16 port() const;

private:
    StationState& m_state;
    const SettingsStore& m_settings;
    const ArchiveReader& m_reader;
    QTcpServer* m_server = nullptr;
};
