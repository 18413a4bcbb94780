#include "archivefile.h"

#include "archive/archivepath.h"

#include <QDir>
#include <QFile>

QString writeArchiveFile(const QString& root, int day, int month, int year, int channel,
                         const QByteArray& bytes)
{
    const QString folder = ArchivePath::dayFolder(root, year, month, day);
    QDir().mkpath(folder);
    const QString path = ArchivePath::filePath(folder, channel);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}
