#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Windows Cyrillic code page: the bytes of every text on the wire and in the archive.
// A fixed table, so builds of Qt without ICU encode the same bytes.
QByteArray toCp1251(const QString& text);
QString fromCp1251(const QByteArray& bytes);
// The UTF-8 of the bytes, written to out (three bytes per byte at most); returns
// its length. For writers of bytes, which want no QString.
qsizetype writeUtf8FromCp1251(QByteArrayView bytes, char* out);
