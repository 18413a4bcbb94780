#include "archivefile.h"

#include "archive/monthnames.h"

#include <QDir>
#include <QFile>

QString writeArchiveFile(const QString& root, int day, int month, int year, int channel,
                         const QByteArray& bytes)
{
    const QString folder =
        root + u'/' + QString::number(year) + u'/' + monthName(month) + u'/' + QString::number(day);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/Измерения по каналу ") +
                         QString::number(channel) + QStringLiteral(".mes");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}
