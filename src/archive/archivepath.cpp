#include "archivepath.h"

#include "monthnames.h"

#include <QDir>

QString ArchivePath::monthName(int month)
{
    return ::monthName(month);
}

QString ArchivePath::yearFolder(const QString& root, int year)
{
    return root + QDir::separator() + QString::number(year);
}

QString ArchivePath::monthFolder(const QString& root, int year, int month)
{
    return yearFolder(root, year) + QDir::separator() + monthName(month);
}

QString ArchivePath::dayFolder(const QString& root, int year, int month, int day)
{
    return monthFolder(root, year, month) + QDir::separator() + QString::number(day);
}

QString ArchivePath::fileName(int channel)
{
    return QStringLiteral("Измерения по каналу ") + QString::number(channel) +
           QStringLiteral(".mes");
}

QString ArchivePath::filePath(const QString& dayFolder, int channel)
{
    return dayFolder + QDir::separator() + fileName(channel);
}

QString ArchivePath::relativePath(int day, int month, int year, int channel)
{
    const QString name = monthName(month);
    if (name.isEmpty() || day < 1 || day > 31 || year < 0 || channel < 1)
        return {};
    return QString::number(year) + u'/' + name + u'/' + QString::number(day) + u'/' +
           fileName(channel);
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
