#include "modbuspoller.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QtEndian>

namespace {
constexpr int kHeaderBytes = 7; // transaction, protocol, length, unit
}

ModbusPoller::ModbusPoller(const QElapsedTimer& clock, int periodMs, QObject* parent)
    : QObject(parent), m_clock(clock), m_socket(new QTcpSocket(this))
{
    m_period.setInterval(periodMs);
    m_period.setTimerType(Qt::PreciseTimer);
    connect(&m_period, &QTimer::timeout, this, &ModbusPoller::beginSweep);
    connect(m_socket, &QTcpSocket::readyRead, this, &ModbusPoller::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { ++m_errors; });
}

bool ModbusPoller::connectTo(quint16 port)
{
    m_socket->connectToHost(QHostAddress::LocalHost, port);
    if (!m_socket->waitForConnected(3000))
        return false;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void ModbusPoller::start()
{
    m_period.start();
    beginSweep();
}

void ModbusPoller::stop()
{
    m_period.stop();
    m_next = -1;
    m_due = false;
}

void ModbusPoller::beginSweep()
{
    if (m_next >= 0) {
        m_due = true;
        ++m_lateSweeps;
        return;
    }
    m_next = 0;
    sendNext();
}

void ModbusPoller::sendNext()
{
    if (m_next >= kRegisterCount) {
        ++m_sweeps;
        m_next = -1;
        m_function = m_function == 4 ? 3 : 4;
        if (std::exchange(m_due, false))
            beginSweep();
        return;
    }
    const int count = qMin(kPerRequest, kRegisterCount - m_next);
    char frame[12];
    qToBigEndian(++m_transaction, frame);
    qToBigEndian(quint16(0), frame + 2);
    qToBigEndian(quint16(6), frame + 4);
    frame[6] = 1;
    frame[7] = char(m_function);
    qToBigEndian(quint16(m_next), frame + 8);
    qToBigEndian(quint16(count), frame + 10);
    m_sentNs = m_clock.nsecsElapsed();
    m_socket->write(frame, sizeof frame);
}

void ModbusPoller::onReadyRead()
{
    m_pending += m_socket->readAll();
    while (m_pending.size() >= kHeaderBytes) {
        const auto length = qFromBigEndian<quint16>(m_pending.constData() + 4);
        const qsizetype frameSize = 6 + length;
        if (m_pending.size() < frameSize)
            return;
        const QByteArray frame = m_pending.first(frameSize);
        m_pending.remove(0, frameSize);
        if (m_next < 0)
            continue; // a reply after stop()
        const int count = qMin(kPerRequest, kRegisterCount - m_next);
        const bool right = qFromBigEndian<quint16>(frame.constData()) == m_transaction &&
                           quint8(frame[7]) == m_function && frame.size() == 9 + 2 * count;
        if (right)
            m_responseMicros.append((m_clock.nsecsElapsed() - m_sentNs) / 1000);
        else
            ++m_errors;
        m_next += count;
        sendNext();
    }
}
