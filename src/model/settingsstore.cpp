#include "settingsstore.h"

#include "logcategories.h"

#include <QStringList>

SettingsStore::SettingsStore(const QString& iniFile)
{
#ifdef Q_OS_WIN
    if (iniFile.isEmpty())
        m_settings = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"),
                                                 QSettings::NativeFormat);
#endif
    if (!m_settings) {
        if (iniFile.isEmpty())
            m_settings =
                std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("kx7r"), QStringLiteral("kx7r-station"));
        else
            m_settings = std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
    }
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

Outcome SettingsStore::writeSetting(const QString& keyPath, const QString& valueName,
                                    const QString& text)
{
    m_settings->setValue(settingsKey(keyPath, valueName), text);
    if (m_batchDepth > 0) {
        if (m_batchFirstValue.isNull())
            m_batchFirstValue = valueName;
        return Outcome::success();
    }
    return flush(valueName);
}

void SettingsStore::beginBatch()
{
    ++m_batchDepth;
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
    if (m_settings->status() != QSettings::NoError || !m_settings->isWritable()) {
        qCWarning(lcModel).noquote()
            << "cannot write" << valueName << "to" << m_settings->fileName();
        return Outcome::failure(QStringLiteral("Failed to set data for '%1'").arg(valueName));
    }
    return Outcome::success();
}
