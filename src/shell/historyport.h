#pragma once

#include <QString>
#include <optional>

class SettingsStore;

// The history service's port: --history-port wins, else the value HistoryPort
// under KX7R_QUERRY, else 5001.
class HistoryPort {
public:
    static constexpr quint16 kDefault = 5001;

    // The stored text; empty when absent.
    static QString storedText(const SettingsStore& settings);
    // The stored port; kDefault when absent or empty, nullopt when the text is
    // no port 1..65535.
    static std::optional<quint16> stored(const SettingsStore& settings);
    // What the service listens on: the override when given, else the stored
    // port, else kDefault.
    static quint16 effective(const SettingsStore& settings, std::optional<quint16> override);
};
