#pragma once

#include <QString>
#include <QtGlobal>

// raw x 10^-decimals written in the general number format with precision P:
// rounded to P significant digits, halves away from zero, on the exact decimal
// value (integer arithmetic, no binary floating point), fixed notation, trailing
// fraction zeros dropped, the given decimal separator. number, when given,
// receives the value the text shows (the double nearest to it).
QString formatScaled(qint64 raw, int decimals, int precision, const QString& decimalPoint,
                     double* number = nullptr);
