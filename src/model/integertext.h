#pragma once

#include <QString>
#include <optional>

// Decimal integer text as the operator or the store holds it ("300", "-5", "0042").
// Anything else, an empty text included, is not a number.
std::optional<qint32> parseInteger(const QString& text);

// "'%s' is not a valid integer value"
QString notAnIntegerMessage(const QString& text);

// A port number outside 1..65535, or not a number at all, as the operator is told.
QString portRangeMessage(const QString& text);
