#include "station.h"

#include "diagnostics/channeldiagnostics.h"
#include "model/clock.h"
#include "model/integertext.h"
#include "model/logcategories.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"
#include "net/listenaddress.h"

namespace {

// One log line per Apply with its result.
Outcome logged(const char* apply, const Outcome& outcome)
{
    if (outcome)
        qCInfo(lcShell).noquote() << "Apply of" << apply << ": done";
    else
        qCWarning(lcShell).noquote() << "Apply of" << apply << ": failed:" << outcome.error();
    return outcome;
}

// The grid column of each stored channel value, in SettingsSchema::channelValues order.
constexpr int kChannelColumns[] = {QueryColumn::Name,    QueryColumn::Terminal,
                                   QueryColumn::Mode,    QueryColumn::Address,
                                   QueryColumn::Channel, QueryColumn::Timeout};
static_assert(std::size(kChannelColumns) ==
              std::tuple_size_v<decltype(SettingsSchema::channelValues)>);
} // namespace

Station::Station(SettingsStore& settings, const Clock& clock, quint16 historyPort, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock), m_historyPort(historyPort),
      m_blinker(m_state, m_timerBlink), m_access(m_state, m_settings),
      m_scheduler(m_state, m_access, m_blinker), m_supervision(m_state, m_access),
      m_archiveWriter(m_settings), m_measurementStore(m_settings, m_archiveWriter),
      m_liveServer(m_state, m_scheduler), m_publisher(m_state), m_latest(m_clock),
      m_answerCounter(m_state.counters, m_clock), m_modbus(m_state, m_latest, m_clock),
      m_decoder(m_state, m_clock, m_consumers),
      m_receiver(m_state, m_access, m_blinker, m_monitor, m_decoder), m_archiveReader(m_settings),
      m_historyService(m_state, m_settings, m_archiveReader, m_clock),
      m_web(m_state, m_latest, m_clock),
      m_liveListen(
          lcShell, QStringLiteral("live service"),
          [this] { return m_liveServer.listen(m_livePort, m_liveAddress); },
          [this] { return liveEndpoint(); }),
      m_historyListen(
          lcShell, QStringLiteral("history service"),
          [this] { return m_historyService.listen(m_historyPort, m_historyAddress); },
          [this] { return historyEndpoint(); }),
      m_httpListen(
          lcShell, QStringLiteral("web status service"),
          [this] {
              return m_web.listen(m_http.hostAddress().value_or(QHostAddress::LocalHost),
                                  m_http.portNumber().value_or(0));
          },
          [this] { return httpEndpoint(); })
{
    // One road for every accepted answer. Within a tick: LastMeasure once, each
    // archive file once, one write per live client, in that order.
    m_consumers.add(m_measurementStore);
    m_consumers.add(m_liveServer);
    m_consumers.add(m_publisher);
    m_consumers.add(m_answerCounter);
    m_consumers.add(m_latest);
    setUpTimers();
    m_archiveWriter.setCounters(&m_state.counters.archive);
    connect(&m_publisher, &MqttPublisher::stateChanged, this, &Station::countBrokerState);
    connect(&m_blinker, &IconBlinker::iconStateChanged, this, &Station::iconStateChanged);
    connect(&m_archiveWriter, &ArchiveWriter::folderCreationFailed, this,
            &Station::onArchiveFolderFailed);
    connect(&m_access, &TerminalAccess::portStateChanged, &m_publisher,
            &MqttPublisher::publishPortState);
    connect(this, &Station::channelsReassigned, &m_publisher, &MqttPublisher::clearRows);
    connect(&m_liveListen, &ListenRetry::stateChanged, this, &Station::listenStateChanged);
    connect(&m_historyListen, &ListenRetry::stateChanged, this, &Station::listenStateChanged);
    connect(&m_httpListen, &ListenRetry::stateChanged, this, &Station::listenStateChanged);
    m_web.setServiceSource([this] { return serviceSnapshot(); });
}

Station::~Station()
{
    shutdown();
}

void Station::setUpTimers()
{
    m_timerWaitAnsewer.setObjectName(QStringLiteral("TimerWaitAnsewer"));
    m_timerWaitAnsewer.setInterval(100);
    m_rsTimer.setObjectName(QStringLiteral("RSTimer"));
    m_rsTimer.setInterval(1000);
    m_timerSendQuerry.setObjectName(QStringLiteral("TimerSendQuerry"));
    m_timerSendQuerry.setInterval(2000);
    m_timerBlink.setObjectName(QStringLiteral("TimerBlink"));
    m_timerBlink.setInterval(200);
    connect(&m_timerWaitAnsewer, &QTimer::timeout, &m_supervision,
            &Supervision::TimerWaitAnsewerTimer);
    connect(&m_rsTimer, &QTimer::timeout, &m_receiver, &Receiver::RSTimerTimer);
    connect(&m_timerSendQuerry, &QTimer::timeout, &m_scheduler,
            &PollScheduler::TimerSendQuerryTimer);
    connect(&m_timerBlink, &QTimer::timeout, &m_blinker, &IconBlinker::TimerBlinkTimer);
    m_diagnosticsTimer.setInterval(kDiagnosticsMs);
    connect(&m_diagnosticsTimer, &QTimer::timeout, this, &Station::publishDiagnostics);
}

void Station::start(bool startTimers)
{
    m_state.historyClientSeq = 1;
    m_state.counters.startedMsecs = m_clock.now().toMSecsSinceEpoch();
    m_state.iconState = 0;
    emit iconStateChanged(0);
    readStoredSettings();
    startServices();
    openTerminals();
    if (startTimers) {
        m_timerWaitAnsewer.start();
        m_rsTimer.start();
        m_timerSendQuerry.start();
        m_diagnosticsTimer.start();
    }
}

void Station::readStoredSettings()
{
    readLivePort();
    readListenSettings();
    readChannels();
    readTerminals();
    m_publisher.start(BrokerSettings::read(m_settings), BrokerSettings::spoolPath(m_settings));
}

void Station::shutdown()
{
    m_timerWaitAnsewer.stop();
    m_rsTimer.stop();
    m_timerSendQuerry.stop();
    m_timerBlink.stop();
    m_diagnosticsTimer.stop();
    m_scheduler.stopPause();
    m_liveListen.stop();
    m_historyListen.stop();
    m_httpListen.stop();
    m_web.stop();
    m_liveServer.stop();
    m_historyService.stop();
    m_publisher.stop();
    m_modbus.stop();
}

// A stored number that is missing or not decimal counts as 0, reported once.
int Station::storedInteger(const QString& key, const QString& valueName, const QString& text)
{
    if (const auto value = parseInteger(text))
        return *value;
    if (text.isEmpty()) { // never applied: summarised after the table is read
        ++m_missingNumbers;
        return 0;
    }
    qCWarning(lcShell).noquote() << "stored value" << key + valueName
                                 << "is not a number:" << (u'"' + text + u'"') << "- using 0";
    return 0;
}

void Station::readLivePort()
{
    const QString text = m_settings.readSetting(SettingsStore::rootKey(), SettingsSchema::tcpPort);
    const auto port = parseInteger(text);
    if (port && *port >= 0 && *port <= 65535) {
        m_livePort = quint16(*port);
        return;
    }
    m_livePort = kLayoutLivePort;
    qCWarning(lcShell).noquote() << "stored value"
                                 << SettingsStore::rootKey() + SettingsSchema::tcpPort
                                 << "is not a port:" << (u'"' + text + u'"')
                                 << "- the live service uses" << kLayoutLivePort;
}

void Station::overrideListenAddresses(const QString& live, const QString& history)
{
    m_liveAddressOverride = live;
    m_historyAddressOverride = history;
}

void Station::overrideHttp(const QString& address, const QString& port)
{
    m_httpAddressOverride = address;
    m_httpPortOverride = port;
}

// A stored address that names none leaves the service on loopback only: a
// typing error must not open it to every network.
QHostAddress Station::storedAddress(const QString& valueName, const QString& override,
                                    const char* service) const
{
    const QString text =
        override.isNull() ? m_settings.readSetting(SettingsStore::rootKey(), valueName) : override;
    if (const auto address = ListenAddress::parse(text))
        return *address;
    qCWarning(lcShell).noquote() << "stored value" << SettingsStore::rootKey() + valueName
                                 << "refused:" << ListenAddress::rejection(text) << "- the"
                                 << service << "listens on 127.0.0.1 only";
    return QHostAddress(QHostAddress::LocalHost);
}

void Station::readListenSettings()
{
    m_liveAddress =
        storedAddress(SettingsSchema::listenAddress, m_liveAddressOverride, "live service");
    m_historyAddress = storedAddress(SettingsSchema::historyListenAddress, m_historyAddressOverride,
                                     "history service");
    const QString forward =
        m_settings.readSetting(SettingsStore::rootKey(), SettingsSchema::forwardRequests).trimmed();
    const bool valid = forward.isEmpty() || forward == u"0" || forward == u"1";
    if (!valid)
        qCWarning(lcShell).noquote()
            << "stored value" << SettingsStore::rootKey() + SettingsSchema::forwardRequests
            << "is neither 0 nor 1:" << (u'"' + forward + u'"') << "- forwarded requests are off";
    m_liveServer.setForwardingEnabled(forward.isEmpty() || forward == u"1");
    if (!m_liveServer.forwardingEnabled())
        qCInfo(lcShell) << "live clients' requests are not forwarded to the lines";
}

QString Station::liveEndpoint() const
{
    return ListenAddress::endpoint(m_liveAddress,
                                   m_liveServer.isListening() ? m_liveServer.port() : m_livePort);
}

QString Station::historyEndpoint() const
{
    return ListenAddress::endpoint(
        m_historyAddress, m_historyService.isListening() ? m_historyService.port() : m_historyPort);
}

// A port that cannot be listened on now is tried again until it can.
void Station::startServices()
{
    m_liveListen.start();
    m_historyListen.start();
    if (const Outcome modbus = m_modbus.start(ModbusSettings::read(m_settings)); !modbus)
        qCWarning(lcShell).noquote() << modbus.error();
    startWeb();
}

// Values that cannot be used leave the web status service off: a typing
// error must not open it where nobody meant.
void Station::startWeb()
{
    m_http = HttpSettings::read(m_settings);
    if (!m_httpAddressOverride.isNull())
        m_http.address = m_httpAddressOverride;
    if (!m_httpPortOverride.isNull())
        m_http.port = m_httpPortOverride;
    if (!m_http.enabled()) {
        qCInfo(lcShell) << "web status service off: no port set";
        return;
    }
    if (const QString error = m_http.invalidity(); !error.isEmpty()) {
        qCWarning(lcShell).noquote() << "web status service off:" << HttpSettings::key() << error;
        return;
    }
    m_httpListen.start();
}

QString Station::httpEndpoint() const
{
    if (!m_http.enabled() || !m_http.hostAddress() || !m_http.portNumber())
        return {};
    return ListenAddress::endpoint(*m_http.hostAddress(),
                                   m_web.isListening() ? m_web.port() : *m_http.portNumber());
}

ServiceSnapshot Station::serviceSnapshot() const
{
    using State = ListenRetry::State;
    ServiceSnapshot snapshot;
    snapshot.services = {
        {QStringLiteral("live"), liveEndpoint(), m_liveListen.state() == State::Listening,
         m_liveServer.clientCount()},
        {QStringLiteral("history"), historyEndpoint(), m_historyListen.state() == State::Listening,
         m_state.currentConnectionsForUpdate.rows() - 1},
        {QStringLiteral("modbus"),
         m_modbus.isListening()
             ? ListenAddress::endpoint(*m_modbus.settings().hostAddress(), m_modbus.port())
             : QString(),
         m_modbus.isListening(), m_modbus.clientCount()},
        {QStringLiteral("http"), httpEndpoint(), m_web.isListening(), m_web.clientCount()},
    };
    snapshot.broker = {m_publisher.isEnabled(), m_publisher.isConnected(), m_publisher.queued(),
                       m_publisher.statusText()};
    return snapshot;
}

void Station::readChannels()
{
    m_missingNumbers = 0;
    for (int k = 0; k < kChannelCount; ++k) {
        const int row = k + 1;
        const QString key = SettingsStore::channelKey(row);
        ChannelEntry& channel = m_state.channels[k];
        auto read = [&](const QString& value) { return m_settings.readSetting(key, value); };
        auto readInteger = [&](const QString& value) {
            return storedInteger(key, value, read(value));
        };
        channel.name = read(SettingsSchema::channelName);
        channel.blockAddress = quint8(readInteger(SettingsSchema::channelAddress));
        channel.channelNumber = quint8(readInteger(SettingsSchema::channelNumber));
        channel.terminal = read(SettingsSchema::channelTerminal);
        channel.mode = read(SettingsSchema::channelMode);
        channel.timeoutSeconds = readInteger(SettingsSchema::channelTimeout);

        CellGrid& grid = m_state.queryList;
        grid.setText(row, QueryColumn::Name, channel.name);
        grid.setText(row, QueryColumn::Terminal, channel.terminal);
        grid.setText(row, QueryColumn::Mode, channel.mode);
        grid.setText(row, QueryColumn::Address, QString::number(channel.blockAddress));
        grid.setText(row, QueryColumn::Channel, QString::number(channel.channelNumber));
        grid.setText(row, QueryColumn::Timeout, QString::number(channel.timeoutSeconds));

        m_state.countdownSeconds[k] = channel.timeoutSeconds;
        m_state.poll.configured(k, channel);
    }
    m_state.rebuildQueues();
    if (m_missingNumbers > 0)
        qCInfo(lcShell) << m_missingNumbers
                        << "poll-list numbers are not stored yet and count as 0";
}

void Station::readTerminals()
{
    for (int t = 0; t < kTerminalCount; ++t) {
        const QString key = SettingsStore::terminalKey(t + 1);
        TerminalPort& terminal = m_state.terminals[t];
        QString* fields[] = {&terminal.comName, &terminal.baudRate, &terminal.dataBits,
                             &terminal.stopBits, &terminal.parity};
        for (int i = 0; i < 5; ++i) {
            *fields[i] = m_settings.readSetting(key, SettingsSchema::terminalValues[size_t(i)]);
            m_state.rsSettings.setText(RsRow::ComName + i, t + 1, *fields[i]);
        }
        m_receiver.resetFraming(t);
    }
}

void Station::openTerminals()
{
    for (int t = 0; t < kTerminalCount; ++t) {
        const TerminalPort& terminal = m_state.terminals[t];
        const bool opened = m_access.OpenTerminal(t, terminal.baudRate);
        m_access.showOpenResult(t, opened);
        if (terminal.comName == Texts::portUndefined || terminal.comName.isEmpty())
            continue;
        // A failed open is logged with its reason by the terminal access.
        if (opened)
            qCInfo(lcShell).noquote() << "terminal" << t + 1 << terminal.comName << "opened";
    }
}

Outcome Station::applyPollList(QPoint* failedCell)
{
    const CellGrid& grid = m_state.queryList;
    if (failedCell)
        *failedCell = QPoint();
    for (int row = 1; row <= kChannelCount; ++row) {
        for (int column : {QueryColumn::Address, QueryColumn::Channel, QueryColumn::Timeout}) {
            const QString text = grid.text(row, column);
            if (!parseInteger(text)) {
                if (failedCell)
                    *failedCell = QPoint(column, row);
                qCWarning(lcShell).noquote()
                    << "poll list row" << row << "column" << column << "is not a number";
                return logged("the poll list", Outcome::failure(notAnIntegerMessage(text)));
            }
        }
    }

    // The 180 values reach the store in one rewrite of it.
    QList<int> reassigned;
    m_settings.beginBatch();
    for (int row = 1; row <= kChannelCount; ++row) {
        const int k = row - 1;
        ChannelEntry& channel = m_state.channels[k];
        const ChannelEntry before = channel;
        channel.name = grid.text(row, QueryColumn::Name);
        channel.terminal = grid.text(row, QueryColumn::Terminal);
        channel.mode = grid.text(row, QueryColumn::Mode);
        channel.blockAddress = quint8(*parseInteger(grid.text(row, QueryColumn::Address)));
        channel.channelNumber = quint8(*parseInteger(grid.text(row, QueryColumn::Channel)));
        channel.timeoutSeconds = *parseInteger(grid.text(row, QueryColumn::Timeout));

        const QString key = SettingsStore::channelKey(row);
        for (size_t i = 0; i < SettingsSchema::channelValues.size(); ++i)
            m_settings.writeSetting(key, SettingsSchema::channelValues[i],
                                    grid.text(row, kChannelColumns[i]));
        m_state.countdownSeconds[k] = channel.timeoutSeconds;
        if (channel.name != before.name || channel.terminal != before.terminal ||
            channel.blockAddress != before.blockAddress ||
            channel.channelNumber != before.channelNumber)
            reassigned.append(k);
    }
    m_state.rebuildQueues();
    m_state.poll.reset(m_state.channels);
    const Outcome stored = m_settings.endBatch();
    for (int k : reassigned)
        m_latest.forgetRow(k);
    if (!reassigned.isEmpty())
        emit channelsReassigned(reassigned);
    return logged("the poll list", stored);
}

Outcome Station::applyTerminals()
{
    m_settings.beginBatch();
    for (int t = 0; t < kTerminalCount; ++t) {
        const int column = t + 1;
        TerminalPort& terminal = m_state.terminals[t];
        QString* fields[] = {&terminal.comName, &terminal.baudRate, &terminal.dataBits,
                             &terminal.stopBits, &terminal.parity};
        for (int i = 0; i < 5; ++i)
            *fields[i] = m_state.rsSettings.text(RsRow::ComName + i, column);
        const QString key = SettingsStore::terminalKey(column);
        for (int i = 0; i < 5; ++i)
            m_settings.writeSetting(key, SettingsSchema::terminalValues[size_t(i)], *fields[i]);
        m_receiver.resetFraming(t);
        const bool opened = m_access.OpenTerminal(t, terminal.baudRate);
        m_access.showOpenResult(t, opened);
        if (opened)
            qCInfo(lcShell).noquote() << "terminal" << column << terminal.comName << "opened";
    }
    return logged("the terminal settings", m_settings.endBatch());
}

Outcome Station::applyTcpPort(const QString& portText)
{
    const auto port = parseInteger(portText);
    if (!port)
        return logged("the TCP port", Outcome::failure(notAnIntegerMessage(portText)));
    if (*port < 1 || *port > 65535)
        return logged("the TCP port", Outcome::failure(portRangeMessage(portText)));
    const quint16 previous = m_livePort;
    m_liveListen.stop();
    m_liveServer.stop();
    m_livePort = quint16(*port);
    const Outcome listening = m_liveListen.tryOnce();
    if (!listening) {
        // The stored port must always start: go back to the one that worked,
        // and keep trying it if it is gone too.
        m_livePort = previous;
        m_liveListen.start();
        return logged("the TCP port", listening);
    }
    return logged("the TCP port", m_settings.writeSetting(SettingsStore::rootKey(),
                                                          SettingsSchema::tcpPort, portText));
}

Outcome Station::applyArchiveFolder(const QString& folder)
{
    return logged(
        "the archive folder",
        m_settings.writeSetting(SettingsStore::rootKey(), SettingsSchema::historyFolder, folder));
}

QString Station::readArchiveFolder() const
{
    return m_settings.readSetting(SettingsStore::rootKey(), SettingsSchema::historyFolder);
}

void Station::onArchiveFolderFailed(const QString& folder)
{
    qCWarning(lcArchive).noquote() << Texts::archiveFolderMessage << folder;
    emit archiveFolderFailed(folder);
}

void Station::countBrokerState()
{
    BrokerCounters& broker = m_state.counters.broker;
    const bool wasConnected = broker.connected;
    broker.connected = m_publisher.isConnected();
    // A subscriber sees the counters at once after a (re)connect, not a minute later.
    if (broker.connected && !wasConnected)
        publishDiagnostics();
    broker.queued = quint64(qMax(m_publisher.queued(), 0));
    broker.dropped = quint64(qMax<qint64>(m_publisher.droppedCount(), 0));
}

void Station::publishDiagnostics()
{
    if (!m_publisher.isConnected())
        return;
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelEntry& channel = m_state.channels[size_t(k)];
        if (!channel.name.isEmpty())
            m_publisher.publishDiagnostics(
                k, ChannelDiagnostics::json(k, channel.name, m_state.counters.channels[size_t(k)]));
    }
}

Outcome Station::applyBroker(const BrokerSettings& broker)
{
    const Outcome stored = broker.write(m_settings);
    if (stored)
        m_publisher.start(broker, BrokerSettings::spoolPath(m_settings));
    return stored;
}

Outcome Station::applyModbus(const ModbusSettings& modbus)
{
    if (const QString error = modbus.invalidity(); !error.isEmpty())
        return logged("the Modbus settings", Outcome::failure(error));
    const ModbusSettings previous = m_modbus.settings();
    const Outcome started = m_modbus.start(modbus);
    if (!started) {
        if (const Outcome restored = m_modbus.start(previous); !restored)
            qCWarning(lcShell).noquote() << restored.error();
        return logged("the Modbus settings", started);
    }
    return logged("the Modbus settings", modbus.write(m_settings));
}
