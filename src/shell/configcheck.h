#pragma once

#include "model/outcome.h"

#include <QList>
#include <QString>
#include <optional>

class SettingsStore;

// What the station would refuse in a settings store, value by value, and what
// it would run with: the listen addresses, the poll list and the terminals.
// Used by --check-config, which opens nothing.
class ConfigCheck {
public:
    struct Finding {
        bool error = false; // else a warning: the station runs, maybe not as meant
        QString value;      // key path and value name
        QString reason;
    };

    // Whether a settings file can be used at all: it exists and can be read, is
    // UTF-8 text and every line is a comment, a [group] or a key=value line.
    static Outcome readable(const QString& file);

    // The history port and the address overrides as the command line gives
    // them (nullopt, null: the stored ones).
    ConfigCheck(const SettingsStore& settings, std::optional<quint16> historyPortOverride,
                const QString& liveAddressOverride = {},
                const QString& historyAddressOverride = {});

    const QList<Finding>& findings() const { return m_findings; }
    int errorCount() const;
    // The findings, the services, the poll list and the terminals, for a person.
    QString report() const;

private:
    QString read(const QString& key, const QString& value) const;
    void add(bool error, const QString& key, const QString& value, const QString& reason);
    void checkRoot();
    void checkChannels();
    void checkTerminals();
    void checkBroker();
    void checkModbus();
    void checkHttp();
    QString httpText() const;
    void checkAddress(const QString& valueName, const QString& override);
    QString servicesText() const;
    QString modbusText() const;
    QString pollListText() const;
    QString terminalsText() const;

    const SettingsStore& m_settings;
    std::optional<quint16> m_historyPortOverride;
    QString m_liveAddressOverride;
    QString m_historyAddressOverride;
    QList<Finding> m_findings;
};
