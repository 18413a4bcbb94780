#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One SCADA host as the load benchmark plays it: a Modbus TCP client that
// reads every register of the station's map, input and holding registers in
// turn, 125 at a time, one request in flight, a sweep every period. Notes each
// request's response time and every reply that is not the one asked for.
class ModbusPoller : public QObject {
    Q_OBJECT
public:
    static constexpr int kRegisterCount = 3015;
    static constexpr int kPerRequest = 125;

    ModbusPoller(const QElapsedTimer& clock, int periodMs, QObject* parent = nullptr);

    bool connectTo(quint16 port);
    void start();
    void stop();

    // Response times of the answered requests, in microseconds.
    const QList<qint64>& responseMicros() const { return m_responseMicros; }
    qint64 sweeps() const { return m_sweeps; }
    // Sweeps that were still running when the next one was due.
    qint64 lateSweeps() const { return m_lateSweeps; }
    // Exceptions, wrong replies and a lost connection.
    qint64 errors() const { return m_errors; }

private:
    void beginSweep();
    void sendNext();
    void onReadyRead();

    const QElapsedTimer& m_clock;
    QTcpSocket* m_socket = nullptr;
    QTimer m_period;
    QByteArray m_pending;
    int m_next = -1; // the register the next request starts at; -1: no sweep running
    bool m_due = false;
    quint16 m_transaction = 0;
    quint8 m_function = 4;
    qint64 m_sentNs = 0;
    qint64 m_sweeps = 0;
    qint64 m_lateSweeps = 0;
    qint64 m_errors = 0;
    QList<qint64> m_responseMicros;
};
