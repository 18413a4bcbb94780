#pragma once

#include <QString>
#include <array>

// The names of the values in the configuration store, written once for the
// station, the simulator's configuration writer and the tests. The keys
// themselves come from SettingsStore (rootKey, channelKey, terminalKey).
namespace SettingsSchema {

// Under the root key "KX7R_QUERRY\".
inline const QString tcpPort = QStringLiteral("TCP_IP_Port");
inline const QString historyFolder = QStringLiteral("HistoryFolder");
inline const QString lastMeasure = QStringLiteral("LastMeasure");
// Where the two TCP services listen: a numeric address, or empty or "*" for
// every interface; and whether live clients may forward requests ("1", the
// default when absent, or "0").
inline const QString listenAddress = QStringLiteral("ListenAddress");
inline const QString historyListenAddress = QStringLiteral("HistoryListenAddress");
inline const QString forwardRequests = QStringLiteral("ForwardRequests");
// The history service's port (absent: 5001); --history-port wins over it.
inline const QString historyPort = QStringLiteral("HistoryPort");

// Under each poll-list row's key, in the order Apply writes them.
inline const QString channelName = QStringLiteral("ChannelName");
inline const QString channelTerminal = QStringLiteral("Terminal");
inline const QString channelMode = QStringLiteral("Regime");
inline const QString channelAddress = QStringLiteral("AddresBO");
inline const QString channelNumber = QStringLiteral("ChannelBONumber");
inline const QString channelTimeout = QStringLiteral("Timeout");
inline const std::array<QString, 6> channelValues = {
    channelName, channelTerminal, channelMode, channelAddress, channelNumber, channelTimeout};

// Under each terminal's key, in the order of the terminal grid's rows 1..5.
inline const QString comName = QStringLiteral("COMName");
inline const QString baudRate = QStringLiteral("BaudRate");
inline const QString dataBits = QStringLiteral("DataBits");
inline const QString stopBits = QStringLiteral("StopBits");
inline const QString parity = QStringLiteral("Parity");
inline const std::array<QString, 5> terminalValues = {comName, baudRate, dataBits, stopBits,
                                                      parity};

} // namespace SettingsSchema
