#pragma once

#include <QList>
#include <QString>
#include <optional>

// The archive's columns by their titles (the archive header's), for choosing
// what a trend draws or an export writes: indexes 0..28 in archive order.
class ArchiveColumns {
public:
    static int indexOf(const QString& title); // -1 for no column
    static QString title(int column);
    // Titles separated by ';' (spaces around each are ignored), in any order:
    // their indexes in archive order, once each. "Время" is always the first
    // export column and is left out here. An unknown title gives none and names it.
    static std::optional<QList<int>> parseList(const QString& text, QString* unknown = nullptr);
    // Every column but the time of day.
    static QList<int> allButTime();
    // Whether the column holds a number (all but the name and the time of day).
    static bool isNumber(int column);
    // The unit a value axis is labelled with: the title's part after its comma,
    // "°C" for the temperatures, and for a plain number its own title.
    static QString unitOf(int column);
};
