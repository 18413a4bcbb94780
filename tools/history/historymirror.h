#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

class QSaveFile;
class QTcpSocket;
class QTimer;

// One mirroring run against the station's history service: identify (keeping
// the ID in a state file in the output folder), ask for the last measurement,
// select from the stamp of the last received one, then describe, fetch and
// acknowledge file after file, newest first. Files are checked against their
// announced size and written atomically into the station's own folder tree; a
// broken connection is resumed, and a file that did not change since the last
// run is acknowledged without fetching it again.
class HistoryMirror : public QObject {
    Q_OBJECT
public:
    enum Exit { Done = 0, Unreachable = 2, OutOfProtocol = 3, LocalFailure = 4 };

    HistoryMirror(const QString& host, quint16 port, const QString& outDir,
                  QObject* parent = nullptr);
    ~HistoryMirror() override;

    void start();
    static QString stateFileName() { return QStringLiteral(".kx7r-history"); }

signals:
    void finished(int exitCode);

private:
    enum class Step { Idle, Identify, Last, Select, Describe, Fetch, Settle };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void onBroken(const QString& why);
    void send(Step step, const QByteArray& request);
    void handle();
    void handleFetchBytes();
    void describe(int acknowledgeIndex);
    void finish(int code, const QString& message);
    void protocolError(const QString& what);
    bool loadState();
    bool saveState();

    QString m_host;
    quint16 m_port = 0;
    QString m_outDir;
    QTcpSocket* m_socket = nullptr;
    QTimer* m_replyTimer = nullptr;
    QTimer* m_settleTimer = nullptr;
    QTimer* m_retryTimer = nullptr;
    Step m_step = Step::Idle;
    QByteArray m_buffer;
    int m_attempts = 0;
    bool m_finished = false;

    QString m_id = QStringLiteral("000");
    QString m_stamp; // of the last measurement fully mirrored
    QString m_lastMeasure;
    int m_remaining = 0; // files still in the station's selection
    int m_selected = 0;
    bool m_reselected = false;

    // The file being fetched
    QString m_relativePath;
    qint64 m_size = 0;
    qint64 m_received = 0;
    std::unique_ptr<QSaveFile> m_file;

    int m_filesWritten = 0;
    int m_filesUnchanged = 0;
    qint64 m_bytes = 0;
};
