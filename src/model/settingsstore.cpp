#include "settingsstore.h"

#include "logcategories.h"

#include <QStringList>

SettingsStore::SettingsStore(const QString& iniFile) : m_iniFile(iniFile)
{
    open();
}

void SettingsStore::open()
{
    m_settings.reset();
#ifdef Q_OS_WIN
    if (m_iniFile.isEmpty())
        m_settings = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"),
                                                 QSettings::NativeFormat);
#endif
    if (!m_settings) {
        if (m_iniFile.isEmpty())
            m_settings =
                std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("kx7r"), QStringLiteral("kx7r-station"));
        else
            m_settings = std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
    }
    // Qt parses an INI file's sections on demand and, once a section is named
    // with slashes ([KX7R_QUERRY/RS/PORTS], as an administrator may write it),
    // finds no value of [KX7R_QUERRY] until the whole file is parsed.
    m_settings->allKeys();
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

QString SettingsStore::channelKey(int row)
{
    return rootKey() +
           QStringLiteral("MEASURING_CHANNELS\\CHANNEL%1\\").arg(row, 2, 10, QChar(u'0'));
}

QString SettingsStore::terminalKey(int number)
{
    return rootKey() + QStringLiteral("RS\\TERMINAL%1\\").arg(number);
}

// The key path's parts become nested groups; QSettings' INI format would
// otherwise escape the backslashes into one flat key.
QString SettingsStore::settingsKey(const QString& keyPath, const QString& valueName)
{
    QStringList parts = keyPath.split(u'\\', Qt::SkipEmptyParts);
    parts.append(valueName);
    return parts.join(u'/');
}

QString SettingsStore::readSetting(const QString& keyPath, const QString& valueName) const
{
    const QVariant value = m_settings->value(settingsKey(keyPath, valueName));
    if (!value.isValid())
        return QString();
    // An INI value with an unquoted comma reads back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool SettingsStore::hasSetting(const QString& keyPath, const QString& valueName) const
{
    return m_settings->contains(settingsKey(keyPath, valueName));
}

Outcome SettingsStore::writeSetting(const QString& keyPath, const QString& valueName,
                                    const QString& text)
{
    if (m_batchDepth == 0 && m_refused) {
        // A QSettings keeps its first error: a fresh one tells later writes apart.
        open();
        m_refused = false;
    }
    const QString key = settingsKey(keyPath, valueName);
    if (!m_previous.contains(key))
        m_previous.insert(key, m_settings->value(key));
    m_settings->setValue(key, text);
    if (m_batchDepth > 0) {
        if (m_batchFirstValue.isNull())
            m_batchFirstValue = valueName;
        return Outcome::success();
    }
    return flush(valueName);
}

void SettingsStore::beginBatch()
{
    if (m_batchDepth++ == 0 && m_refused) {
        open();
        m_refused = false;
    }
}

Outcome SettingsStore::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return Outcome::success();
    const QString first = m_batchFirstValue;
    m_batchFirstValue = QString();
    return first.isNull() ? Outcome::success() : flush(first);
}

Outcome SettingsStore::flush(const QString& valueName)
{
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError && m_settings->isWritable()) {
        m_previous.clear();
        return Outcome::success();
    }
    qCWarning(lcModel).noquote() << "cannot write" << valueName << "to" << m_settings->fileName();
    // Qt keeps refused values in a cache shared by every QSettings of the file
    // and writes them with the next sync that succeeds: put back what the store
    // held, so they are neither read back nor written later.
    for (auto it = m_previous.cbegin(); it != m_previous.cend(); ++it) {
        if (it.value().isValid())
            m_settings->setValue(it.key(), it.value());
        else
            m_settings->remove(it.key());
    }
    m_previous.clear();
    m_settings->sync();
    m_refused = true;
    return Outcome::failure(QStringLiteral("Failed to set data for '%1'").arg(valueName));
}
