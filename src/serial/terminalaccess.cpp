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

void TerminalAccess::closePort(int t)
{
    QSerialPort* port = m_state.terminals[t].port.get();
    if (!port)
        return;
#ifdef Q_OS_WIN
    // Windows cancels a write still in progress at close: let the request
    // leave within what remains of its write time first.
    if (port->isOpen() && port->bytesToWrite() > 0 && !m_writeDeadline[t].hasExpired())
        port->waitForBytesWritten(int(m_writeDeadline[t].remainingTime()));
#endif
    port->close();
}

void TerminalAccess::watchErrors(int t, QSerialPort* port)
{
    connect(
        port, &QSerialPort::errorOccurred, this, [this, port, t](QSerialPort::SerialPortError e) {
            // Only these mean the device is gone; a refused setting leaves the
            // port usable.
            if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError &&
                e != QSerialPort::WriteError)
                return;
            if (!port->isOpen() || port->property("closing").toULongLong() == m_openGeneration[t])
                return;
            // A hung-up device reports read errors in a tight loop and stays open:
            // close it once, from the event loop, and read nothing until the next open.
            const quint64 generation = m_openGeneration[t];
            port->setProperty("closing", generation);
            qCWarning(lcSerial).noquote() << "terminal" << t + 1 << "port" << port->portName()
                                          << "failed:" << port->errorString();
            QTimer::singleShot(0, port, [this, port, t, generation] {
                if (m_openGeneration[t] == generation)
                    port->close();
            });
        });
}

void TerminalAccess::applyLineSettings(int t, QSerialPort& port, const QString& baud)
{
    bool numeric = false;
    const qint32 rate = baud.toInt(&numeric);
    const bool valid = numeric && rate > 0;
    // Settings the platform refuses are ignored: the port is open all the same.
    if (!valid || !port.setBaudRate(rate)) {
        qCDebug(lcSerial).noquote() << "terminal" << t + 1 << "baud rate" << (u'"' + baud + u'"')
                                    << "refused, the line runs at" << kFallbackBaud;
        port.setBaudRate(kFallbackBaud);
    }
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(0);
    port.clear(QSerialPort::AllDirections);
    port.clearError();
}

void TerminalAccess::reportOpenFailure(int t, const QString& reason)
{
    if (m_openFailure[t] == reason)
        return;
    m_openFailure[t] = reason;
    qCWarning(lcSerial).noquote() << "terminal" << t + 1 << m_state.terminals[t].comName
                                  << "cannot be opened:" << Texts::portBusy << "-" << reason;
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
        closePort(t);

    if (!terminal.port) {
        terminal.port = std::make_unique<QSerialPort>();
        watchErrors(t, terminal.port.get());
        // The port buffers what the line delivers between ticks: keep it bounded.
        connect(terminal.port.get(), &QSerialPort::readyRead, this, [this, t] { boundBacklog(t); });
    }
    QSerialPort& port = *terminal.port;
    ++m_openGeneration[t];
    const QString device = deviceForComName(terminal.comName, m_settings);
    port.setPortName(device);
    const bool opened = !device.isEmpty() && port.open(QIODevice::ReadWrite);
    TerminalCounters& counters = m_state.counters.terminals[size_t(t)];
    if (!opened) {
        ++counters.openFailures;
        terminal.handle = TerminalPort::Handle::Invalid;
        terminal.status = Texts::portBusy;
        reportOpenFailure(t, device.isEmpty() ? QStringLiteral("no device for this name")
                                              : device + u": " + port.errorString());
        port.clearError();
        return false;
    }
    if (!m_openFailure[t].isNull()) {
        m_openFailure[t] = QString();
        qCInfo(lcSerial).noquote() << "terminal" << t + 1 << terminal.comName << "opens again";
    }
    ++counters.opens;
    terminal.handle = TerminalPort::Handle::Open;
    applyLineSettings(t, port, baud);
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
    m_state.counters.terminals[size_t(t)].floodDroppedBytes += quint64(skipped);
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
    m_state.counters.terminals[size_t(t)].bytesRead += quint64(bytes.size());
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
    const qint64 written = port->write(bytes);
    port->flush();
    m_state.counters.terminals[size_t(t)].bytesWritten += quint64(qMax<qint64>(written, 0));
#ifdef Q_OS_WIN
    m_writeDeadline[t] = QDeadlineTimer(kWriteTimeoutMs);
#endif
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
    if (opened)
        showPortState(t, Texts::portConnected, CellColour::Green);
    else if (m_state.terminals[t].comName == Texts::portUndefined)
        showPortState(t, QStringLiteral("-"), CellColour::Black);
    else
        showPortState(t, Texts::portBusy, CellColour::Red);
}

void TerminalAccess::showPortState(int t, const QString& text, CellColour colour)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    CellGrid& grid = m_state.rsSettings;
    const int column = t + 1;
    const bool changed = grid.text(RsRow::Status, column) != text;
    using PortState = TerminalCounters::PortState;
    m_state.counters.terminals[size_t(t)].portState = text == Texts::portConnected
                                                          ? PortState::Connected
                                                      : text == Texts::portBusy ? PortState::Busy
                                                                                : PortState::None;
    grid.setCell(RsRow::Status, column, text, colour);
    if (changed)
        emit portStateChanged(t, text);
}
