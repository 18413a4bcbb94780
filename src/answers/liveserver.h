#pragma once

#include "recordrelay.h"

#include "model/outcome.h"

#include <QObject>

class PollScheduler;
class QTcpServer;
class QTcpSocket;
struct StationState;

// The live TCP service ServerSocket: every accepted answer goes at once to every
// client as a relay frame; a client may leave one forwarded request for a block.
// Its clients are listed in tblCurrentConnections.
class LiveServer : public QObject, public RecordRelay {
    Q_OBJECT
public:
    LiveServer(StationState& state, PollScheduler& scheduler, QObject* parent = nullptr);
    ~LiveServer() override;

    // Listens on port; on failure the error text "Windows socket error: %s (%d), on API '%s'".
    Outcome listen(quint16 port);
    // Closes the service and its clients; the grid shows one empty row.
    void stop();
    bool isListening() const;
    quint16 port() const;

    void RelayRecord(AnswerRecord& record, int length) override;

private:
    StationState& m_state;
    PollScheduler& m_scheduler;
    QTcpServer* m_server = nullptr;
};
