#pragma once

#include <QLatin1String>
#include <QString>
#include <QtGlobal>

// raw x 10^-decimals written in the general number format with precision P:
// rounded to P significant digits, halves away from zero, on the exact decimal
// value (integer arithmetic, no binary floating point), fixed notation, trailing
// fraction zeros dropped. number, when given, receives the value the text shows
// (the double nearest to it). decimals is 0..18.

// Room for the longest text writeScaled makes.
constexpr int kScaledTextCapacity = 24;

// The text with '.' as the decimal point, written to out (kScaledTextCapacity
// bytes); returns its length. For writers of bytes, which want no QString.
int writeScaled(char* out, qint64 raw, int decimals, int precision, double* number = nullptr);

// The text with the given decimal separator.
QString formatScaled(qint64 raw, int decimals, int precision, const QString& decimalPoint,
                     double* number = nullptr);

// A text of writeScaled with its '.' (if any) replaced by decimalPoint.
QString withDecimalPoint(QLatin1String text, const QString& decimalPoint);
