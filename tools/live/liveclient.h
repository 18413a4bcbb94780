#pragma once

#include "framesplitter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <optional>

class QTcpSocket;
class QTimer;

// A client of the station's live service: prints each relay frame as it comes,
// raw or as one JSON line (row, name, status byte, time and, for a full record,
// the 29 values by their archive column titles), may leave one forwarded
// request, and reconnects whenever the station goes away.
class LiveClient : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString host;
        quint16 port = 5000;
        bool raw = false;
        std::optional<QByteArray> forward; // the four characters RRAA
        int count = -1;                    // frames to print before exiting; -1: no end
    };

    explicit LiveClient(const Options& options, QObject* parent = nullptr);

    void start();
    // One relay frame (digits between ':' and CR LF) as a JSON line; empty when
    // the frame is no relay record.
    static QByteArray toJson(const QByteArray& digits, QString* error);

signals:
    void finished(int exitCode);

private:
    void connectNow();
    void onConnected();
    void onReadyRead();
    void onGone();
    void print(const QByteArray& line);

    Options m_options;
    QTcpSocket* m_socket = nullptr;
    QTimer* m_retry = nullptr;
    FrameSplitter m_splitter;
    bool m_forwardSent = false;
    bool m_wasConnected = false;
    int m_printed = 0;
    int m_failedAttempts = 0;        // since the last connection
    QElapsedTimer m_failureReported; // failed attempts are told at most every 30 s
};
