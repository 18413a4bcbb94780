#pragma once

#include "model/settingsstore.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A settings file in a temporary folder, filled the way the operator's Applies
// would have stored it.
class SettingsFixture {
public:
    SettingsFixture();

    QString path() const { return m_dir.filePath(QStringLiteral("station.ini")); }
    QString dirPath() const { return m_dir.path(); }
    SettingsStore& store() { return *m_store; }

    void setChannel(int row, const QString& name, const QString& terminal, const QString& mode,
                    const QString& address, const QString& channel, const QString& timeout);
    void setTerminal(int number, const QString& comName,
                     const QString& baud = QStringLiteral("9600"));
    // COMn -> device (the station's port-name mapping).
    void mapPort(const QString& comName, const QString& device);
    void setRoot(const QString& value, const QString& text);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
};
