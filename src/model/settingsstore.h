#pragma once

#include "outcome.h"

#include <QHash>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

// The per-user configuration store. Key paths are the system's backslash paths
// ("KX7R_QUERRY\MEASURING_CHANNELS\CHANNEL01\"), every value is text, a missing
// value reads as empty and every write reaches the store before it returns.
// A write the store refuses is reported once and forgotten: reads return what
// the store holds, and nothing is written later on its behalf.
// Windows: the registry under HKEY_CURRENT_USER; elsewhere an INI file whose
// groups are the key path's parts.
class SettingsStore {
public:
    // Empty file name: the platform's per-user default.
    explicit SettingsStore(const QString& iniFile = {});
    ~SettingsStore();

    QString readSetting(const QString& keyPath, const QString& valueName) const;
    // Whether the value is stored at all, for values whose absence means a default.
    bool hasSetting(const QString& keyPath, const QString& valueName) const;
    Outcome writeSetting(const QString& keyPath, const QString& valueName, const QString& text);

    QString fileName() const;

    // Writes between begin and end reach the file together at the end (one
    // rewrite of the file instead of one per value); reads see them at once.
    // endBatch reports a store that could not be written.
    void beginBatch();
    Outcome endBatch();

    static QString rootKey() { return QStringLiteral("KX7R_QUERRY\\"); }
    static QString channelKey(int row);     // row 1..30 -> ...\MEASURING_CHANNELS\CHANNEL01\.
    static QString terminalKey(int number); // 1..10 -> ...\RS\TERMINAL1\.
    static QString portsKey() { return QStringLiteral("KX7R_QUERRY\\RS\\PORTS\\"); }

private:
    static QString settingsKey(const QString& keyPath, const QString& valueName);

    void open();
    Outcome flush(const QString& valueName);

    QString m_iniFile;
    std::unique_ptr<QSettings> m_settings;
    // What the store held under each key written since the last sync.
    QHash<QString, QVariant> m_previous;
    bool m_refused = false;
    int m_batchDepth = 0;
    QString m_batchFirstValue;
};
