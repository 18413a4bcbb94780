#include "archivepath.h"

#include "archive/monthnames.h"

// The station's own table, so the tools find exactly the folders it writes.
QString ArchivePath::monthName(int month)
{
    return ::monthName(month);
}

QString ArchivePath::relativePath(int day, int month, int year, int channel)
{
    const QString name = monthName(month);
    if (name.isEmpty() || day < 1 || day > 31 || year < 0 || channel < 1)
        return {};
    return QString::number(year) + u'/' + name + u'/' + QString::number(day) + u'/' +
           QStringLiteral("Измерения по каналу ") + QString::number(channel) +
           QStringLiteral(".mes");
}

QString ArchivePath::relativePath(const QString& ddmmyyyy, int channel)
{
    if (ddmmyyyy.size() != 8)
        return {};
    bool okDay = false;
    bool okMonth = false;
    bool okYear = false;
    const int day = ddmmyyyy.first(2).toInt(&okDay);
    const int month = ddmmyyyy.sliced(2, 2).toInt(&okMonth);
    const int year = ddmmyyyy.sliced(4, 4).toInt(&okYear);
    if (!okDay || !okMonth || !okYear)
        return {};
    return relativePath(day, month, year, channel);
}
