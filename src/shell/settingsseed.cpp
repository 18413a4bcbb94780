#include "settingsseed.h"

#include "configcheck.h"

#include "model/settingsschema.h"
#include "model/settingsstore.h"

#include <QFileInfo>
#include <QSettings>

namespace SettingsSeed {

Outcome rebuild(const QString& seed, const QString& target)
{
    if (const Outcome usable = ConfigCheck::readable(seed); !usable)
        return usable;
    const QString lastMeasureKey = QStringLiteral("KX7R_QUERRY/") + SettingsSchema::lastMeasure;
    QString lastMeasure;
    if (QFileInfo::exists(target))
        lastMeasure = QSettings(target, QSettings::IniFormat).value(lastMeasureKey).toString();

    const QSettings from(seed, QSettings::IniFormat);
    QSettings to(target, QSettings::IniFormat);
    to.clear();
    for (const QString& key : from.allKeys())
        to.setValue(key, from.value(key));
    if (!lastMeasure.isEmpty())
        to.setValue(lastMeasureKey, lastMeasure);
    to.sync();
    if (to.status() != QSettings::NoError)
        return Outcome::failure(QStringLiteral("%1 cannot be written").arg(target));
    return Outcome::success();
}

} // namespace SettingsSeed
