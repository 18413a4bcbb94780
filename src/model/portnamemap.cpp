#include "portnamemap.h"

#include "settingsstore.h"

namespace {

int comNumber(const QString& comName)
{
    if (!comName.startsWith(u"COM") || comName.size() < 4 || comName.size() > 6)
        return 0;
    int n = 0;
    for (const QChar c : QStringView(comName).mid(3)) {
        if (c < u'0' || c > u'9')
            return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n >= 1 && n <= 255 ? n : 0;
}

} // namespace

QString deviceForComName(const QString& comName, const SettingsStore& settings)
{
#ifdef Q_OS_WIN
    Q_UNUSED(settings);
    return comNumber(comName) ? comName : QString();
#else
    const int n = comNumber(comName);
    if (n == 0)
        return QString();
    const QString mapped = settings.readSetting(SettingsStore::portsKey(), comName);
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}
