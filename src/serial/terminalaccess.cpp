#include "terminalaccess.h"

#include "model/logcategories.h"
#include "model/portnamemap.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"

#include <QSerialPort>
#include <QTimer>

TerminalAccess::TerminalAccess(StationState& state, const SettingsStore& settings, QObject* parent)
    : QObject(parent), m_state(state), m_settings(settings)
{
}

void TerminalAccess::closePort(TerminalPort& terminal)
{
    if (terminal.port)
        terminal.port->close();
}

bool TerminalAccess::OpenTerminal(int t, const QString& baud)
{
    if (t < 0 || t >= kTerminalCount)
        return false;
    TerminalPort& terminal = m_state.terminals[t];
    if (terminal.comName == Texts::portUndefined) {
        // Nothing is touched: a port still held from an earlier assignment stays open.
        terminal.status = Texts::portUndefined;
        return false;
    }
    if (terminal.handle != TerminalPort::Handle::NeverOpened)
        closePort(terminal);

    if (!terminal.port) {
        terminal.port = std::make_unique<QSerialPort>();
        QSerialPort* port = terminal.port.get();
        // A hung-up device reports read errors in a tight loop and stays open:
        // close it once, from the event loop, and read nothing until the next open.
        connect(
            port, &QSerialPort::errorOccurred, this,
            [this, port, t](QSerialPort::SerialPortError e) {
                if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError || !port->isOpen())
                    return;
                if (port->property("closing").toBool())
                    return;
                port->setProperty("closing", true);
                qCWarning(lcSerial).noquote() << "terminal" << t + 1 << "port" << port->portName()
                                              << "failed:" << port->errorString();
                QTimer::singleShot(0, port, [port] {
                    port->close();
                    port->setProperty("closing", false);
                });
            });
        // The port buffers what the line delivers between ticks: keep it bounded.
        connect(port, &QSerialPort::readyRead, this, [this, t] { boundBacklog(t); });
    }
    QSerialPort& port = *terminal.port;
    port.setProperty("closing", false);
    const QString device = deviceForComName(terminal.comName, m_settings);
    port.setPortName(device);
    const bool opened = !device.isEmpty() && port.open(QIODevice::ReadWrite);
    if (!opened) {
        terminal.handle = TerminalPort::Handle::Invalid;
        terminal.status = Texts::portBusy;
        return false;
    }
    terminal.handle = TerminalPort::Handle::Open;
    // Settings the platform refuses are ignored: the port is open all the same.
    port.setBaudRate(baud.toInt());
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(0);
    port.clear(QSerialPort::AllDirections);
    terminal.status = Texts::portConnected;
    return true;
}

bool TerminalAccess::isInvalid(int t) const
{
    return t < 0 || t >= kTerminalCount ||
           m_state.terminals[t].handle == TerminalPort::Handle::Invalid;
}

void TerminalAccess::boundBacklog(int t)
{
    QSerialPort* port = m_state.terminals[t].port.get();
    const qint64 excess = port ? port->bytesAvailable() - kReadBacklogLimit : 0;
    if (excess <= 0)
        return;
    Backlog& backlog = m_backlogs[t];
    if (backlog.episodeDropped == 0)
        qCWarning(lcSerial).noquote()
            << "terminal" << t + 1 << m_state.terminals[t].comName << "delivers more than"
            << kReadBacklogLimit << "bytes between two receive ticks: dropping the oldest";
    const qint64 skipped = qMax<qint64>(port->skip(excess), 0);
    backlog.dropped += skipped;
    backlog.episodeDropped += skipped;
    backlog.droppedSinceRead = true;
}

QByteArray TerminalAccess::readArrived(int t)
{
    if (t < 0 || t >= kTerminalCount)
        return {};
    TerminalPort& terminal = m_state.terminals[t];
    QSerialPort* port = terminal.port.get();
    if (!port || !port->isOpen()) {
        terminal.bytesTransferred = 0;
        return {};
    }
    // Take what the device holds now; a timer handler may run outside the
    // port's own read notifications.
    port->waitForReadyRead(0);
    boundBacklog(t);
    Backlog& backlog = m_backlogs[t];
    if (!backlog.droppedSinceRead && backlog.episodeDropped > 0) {
        qCInfo(lcSerial).noquote()
            << "terminal" << t + 1 << terminal.comName << "is back under the bound after"
            << backlog.episodeDropped << "bytes dropped";
        backlog.episodeDropped = 0;
    }
    backlog.droppedSinceRead = false;
    const QByteArray bytes = port->readAll();
    terminal.bytesTransferred = quint32(bytes.size());
    return bytes;
}

qint64 TerminalAccess::droppedBytes(int t) const
{
    return t >= 0 && t < kTerminalCount ? m_backlogs[t].dropped : 0;
}

void TerminalAccess::write(int t, const QByteArray& bytes)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    TerminalPort& terminal = m_state.terminals[t];
    QSerialPort* port = terminal.port.get();
    if (!port || !port->isOpen()) {
        terminal.bytesTransferred = 0;
        return;
    }
    port->write(bytes);
    port->flush();
    terminal.bytesTransferred = quint32(bytes.size());
    if (port->bytesToWrite() > 0) {
        QTimer::singleShot(kWriteTimeoutMs, port, [port] {
            if (port->isOpen() && port->bytesToWrite() > 0)
                port->clear(QSerialPort::Output);
        });
    }
}

void TerminalAccess::showOpenResult(int t, bool opened)
{
    const int column = t + 1;
    if (opened)
        m_state.rsSettings.setCell(RsRow::Status, column, Texts::portConnected, CellColour::Green);
    else if (m_state.terminals[t].comName == Texts::portUndefined)
        m_state.rsSettings.setCell(RsRow::Status, column, QStringLiteral("-"), CellColour::Black);
    else
        m_state.rsSettings.setCell(RsRow::Status, column, Texts::portBusy, CellColour::Red);
}
