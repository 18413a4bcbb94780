#pragma once

#include <QString>

// Folder name of month 1..12 in the archive tree ("Январь" .. "Декабрь"); empty
// for any other number, which has no folder.
QString monthName(int month);
