#pragma once

#include <QByteArray>
#include <QString>

// Writes one archive file, as the station names and places it, under root;
// returns its path.
QString writeArchiveFile(const QString& root, int day, int month, int year, int channel,
                         const QByteArray& bytes);
