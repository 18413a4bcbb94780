#pragma once

#include "model/outcome.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <array>
#include <memory>

class ArchiveReader;
class QFile;
class QTcpServer;
class QTcpSocket;
class SettingsStore;
struct StationState;

// The history TCP service ServerSocketRefreshHistory (port 5001): one client at a
// time identifies itself, selects a period (through the archive reader) and
// fetches its archive files newest first, each streamed from disk as the peer
// takes it. Its connection is listed in tblCurrentConnectionsForUpdate.
class HistoryService : public QObject {
    Q_OBJECT
public:
    static constexpr int kIdCount = 1000; // three-digit IDs 000..999
    static constexpr qint64 kChunkSize = 64 * 1024;

    HistoryService(StationState& state, const SettingsStore& settings, const ArchiveReader& reader,
                   QObject* parent = nullptr);
    ~HistoryService() override;

    Outcome listen(quint16 port);
    void stop();
    bool isListening() const;
    quint16 port() const;

    void ServerSocketRefreshHistoryClientConnect(QTcpSocket* socket);
    void ServerSocketRefreshHistoryClientDisconnect(QTcpSocket* socket);
    void ServerSocketRefreshHistoryClientRead(QTcpSocket* socket);
    void ServerSocketRefreshHistoryClientError(QTcpSocket* socket,
                                               QAbstractSocket::SocketError error);

    // The state of one client ID; it survives disconnection.
    struct HistorySelection {
        bool selected = false; // lists exist: a select request was served
        QStringList files;
        QStringList dates;
        QString describedFile;     // the last description: this file ...
        qint64 describedSize = -1; // ... had this size
    };
    const HistorySelection& selection(int id) const { return m_selections[size_t(id)]; }
    bool isSending() const { return m_transfer != nullptr; }

private:
    void acceptPending();
    int rowOf(const QTcpSocket* socket) const;
    void send(const QByteArray& reply);
    void identify(const QByteArray& request, int row);
    void select(const QByteArray& request);
    void describe(const QByteArray& request);
    void fetch(const QByteArray& request);
    HistorySelection* selectionOf(const QByteArray& request);
    void sendChunks();
    void endTransfer();
    void dropClient();

    StationState& m_state;
    const SettingsStore& m_settings;
    const ArchiveReader& m_reader;
    QTcpServer* m_server = nullptr;
    std::array<HistorySelection, kIdCount> m_selections;

    QTcpSocket* m_client = nullptr; // the one admitted connection
    QString m_clientAddress;
    quint16 m_clientPort = 0;
    std::unique_ptr<QFile> m_transfer; // the file being sent
    qint64 m_transferLeft = 0;
    QByteArray m_afterTransfer; // replies that wait for the file's last byte
};
