#pragma once

#include "answers/answerconsumerlist.h"
#include "answers/answerdecoder.h"
#include "answers/latestanswers.h"
#include "answers/liveserver.h"
#include "archive/archivereader.h"
#include "archive/archivewriter.h"
#include "archive/historyservice.h"
#include "archive/measurementstore.h"
#include "broker/brokersettings.h"
#include "broker/mqttpublisher.h"
#include "diagnostics/answercounter.h"
#include "modbus/modbusservice.h"
#include "modbus/modbussettings.h"
#include "model/outcome.h"
#include "model/stationstate.h"
#include "net/listenretry.h"
#include "serial/iconblinker.h"
#include "serial/linemonitor.h"
#include "serial/pollscheduler.h"
#include "serial/receiver.h"
#include "serial/supervision.h"
#include "serial/terminalaccess.h"
#include "web/httpsettings.h"
#include "web/webservice.h"

#include <QHostAddress>
#include <QObject>
#include <QPoint>
#include <QTimer>

class Clock;
class SettingsStore;

// The composition root: owns the station's tables, the four timers, the serial
// behaviours, the decoder, the archive and both TCP services; starts them in
// their order and holds the logic behind every "Применить". Created before the
// window and destroyed after it; runs the same with or without one.
class Station : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kLayoutLivePort = 5000;
    static constexpr quint16 kHistoryPort = 5001;
    static constexpr int kDiagnosticsMs = 60000; // counters to the broker once a minute

    Station(SettingsStore& settings, const Clock& clock, quint16 historyPort = kHistoryPort,
            QObject* parent = nullptr);
    ~Station() override;

    // Construction steps: tables from the store, both services, terminals opened,
    // supervision enabled, archive folder read. With startTimers the receive and
    // send timers run as the layout enables them; tests call the ticks directly.
    void start(bool startTimers = true);
    // The stored settings into the tables: live port, poll list, terminals and
    // the broker's; opens and listens on nothing.
    void readStoredSettings();
    // Closes both services with their clients and stops the timers.
    void shutdown();
    // Listen addresses given on the command line, before start(): they win over
    // the stored ones. A null text leaves that service's stored address.
    void overrideListenAddresses(const QString& live, const QString& history);
    // The web status service's address and port from the command line, before
    // start(); a null text leaves the stored value, an empty port turns it off.
    void overrideHttp(const QString& address, const QString& port);

    // A failed Apply leaves failedCell, when given, at the grid cell (column x,
    // row y) it stopped on, and null otherwise.
    Outcome applyPollList(QPoint* failedCell = nullptr);
    Outcome applyTerminals();
    Outcome applyTcpPort(const QString& portText);
    Outcome applyArchiveFolder(const QString& folder);
    // HistoryFolder as stored now: shown again at every page change.
    QString readArchiveFolder() const;
    // Stores the KX7R_QUERRY\MQTT values and restarts publishing with them.
    Outcome applyBroker(const BrokerSettings& broker);
    // Stores the KX7R_QUERRY\MODBUS values once the server runs with them (or
    // is off); when it cannot listen, it goes back to the previous ones.
    Outcome applyModbus(const ModbusSettings& modbus);

    // What the window and main() work with.
    StationState& state() { return m_state; }
    SettingsStore& settings() { return m_settings; }
    LineMonitor& monitor() { return m_monitor; }
    LiveServer& liveServer() { return m_liveServer; }
    MqttPublisher& publisher() { return m_publisher; }
    const LatestAnswers& latestAnswers() const { return m_latest; }
    LatestAnswers& latestAnswers() { return m_latest; }
    const Clock& clock() const { return m_clock; }
    // Whether each service listens or keeps trying, and where ("*:5000").
    const ListenRetry& liveListen() const { return m_liveListen; }
    const ListenRetry& historyListen() const { return m_historyListen; }
    QString liveEndpoint() const;
    QString historyEndpoint() const;
    ModbusService& modbus() { return m_modbus; }
    WebService& web() { return m_web; }
    const ListenRetry& httpListen() const { return m_httpListen; }
    QString httpEndpoint() const;
    // What every channel, terminal and service did since start-up.
    const StationCounters& counters() const { return m_state.counters; }

signals:
    void iconStateChanged(int iconState);
    // An error box for the operator (headless: a log line).
    void messageRaised(const QString& caption, const QString& text);
    // The archive folder could not be created (already logged).
    void archiveFolderFailed(const QString& folder);
    // An applied poll list gave these rows (k) another name, terminal, block
    // address or channel, or emptied them: what was known of them is void.
    void channelsReassigned(const QList<int>& rows);
    // A service began or stopped listening, or began to retry.
    void listenStateChanged();

private:
    // The tests' look at the parts the window never touches (tests/support).
    friend struct StationProbe;

    void setUpTimers();
    void readLivePort();
    void readListenSettings();
    QHostAddress storedAddress(const QString& valueName, const QString& override,
                               const char* service) const;
    void startServices();
    void startWeb();
    ServiceSnapshot serviceSnapshot() const;
    void readChannels();
    void readTerminals();
    void openTerminals();
    int storedInteger(const QString& key, const QString& valueName, const QString& text);
    void onArchiveFolderFailed(const QString& folder);
    void countBrokerState();
    void publishDiagnostics();

    SettingsStore& m_settings;
    const Clock& m_clock;
    quint16 m_historyPort;
    StationState m_state;

    QTimer m_timerWaitAnsewer;
    QTimer m_rsTimer;
    QTimer m_timerSendQuerry;
    QTimer m_timerBlink;
    QTimer m_diagnosticsTimer; // each row's counters to the broker

    LineMonitor m_monitor;
    IconBlinker m_blinker;
    TerminalAccess m_access;
    PollScheduler m_scheduler;
    Supervision m_supervision;
    ArchiveWriter m_archiveWriter;
    MeasurementStore m_measurementStore;
    LiveServer m_liveServer;
    MqttPublisher m_publisher;
    LatestAnswers m_latest;
    AnswerCounter m_answerCounter;
    ModbusService m_modbus;         // serves m_latest's values
    AnswerConsumerList m_consumers; // the archive, the live service, the broker, the latest values
    AnswerDecoder m_decoder;
    Receiver m_receiver;
    ArchiveReader m_archiveReader;
    HistoryService m_historyService;
    WebService m_web; // reads the tables and m_latest

    quint16 m_livePort = kLayoutLivePort;
    QHostAddress m_liveAddress{QHostAddress::Any};
    QHostAddress m_historyAddress{QHostAddress::Any};
    QString m_liveAddressOverride;
    QString m_historyAddressOverride;
    ListenRetry m_liveListen;
    ListenRetry m_historyListen;
    HttpSettings m_http;
    QString m_httpAddressOverride;
    QString m_httpPortOverride;
    ListenRetry m_httpListen;
    int m_missingNumbers = 0;
};
