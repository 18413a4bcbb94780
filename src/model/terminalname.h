#pragma once

#include <QString>

// "Терминал" followed directly by 1..10 names terminal index 0..9; any other text
// ("Не подключен", "Терминал 3", "Терминал11", empty) names none: -1.
int terminalIndex(const QString& terminalText);

// "Терминал" + (index + 1)
QString terminalText(int index);
