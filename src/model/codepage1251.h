#pragma once

#include <QByteArray>
#include <QString>

// Windows Cyrillic code page: the bytes of every text on the wire and in the archive.
// A fixed table, so builds of Qt without ICU encode the same bytes.
QByteArray toCp1251(const QString& text);
QString fromCp1251(const QByteArray& bytes);
