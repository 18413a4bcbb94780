#include "numberformat.h"

#include <algorithm>

int writeScaled(char* out, qint64 raw, int decimals, int precision, double* number)
{
    const bool negative = raw < 0;
    quint64 magnitude = negative ? 0 - quint64(raw) : quint64(raw);

    // Keep at most `precision` significant digits of the exact value.
    int digits = 0;
    for (quint64 v = magnitude; v > 0; v /= 10)
        ++digits;
    int scale = decimals;
    if (digits > precision) {
        const int drop = qMin(digits - precision, decimals);
        quint64 divisor = 1;
        for (int i = 0; i < drop; ++i)
            divisor *= 10;
        const quint64 rest = magnitude % divisor;
        magnitude /= divisor;
        if (rest * 2 >= divisor)
            ++magnitude;
        scale -= drop;
    }
    // Trailing zeros of the fraction go.
    while (scale > 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --scale;
    }

    const bool minus = negative && magnitude != 0;
    if (number) {
        // Both operands are exact, so the quotient is the double nearest to the text.
        double divisor = 1;
        for (int i = 0; i < scale; ++i)
            divisor *= 10;
        const double value = double(magnitude) / divisor;
        *number = minus ? -value : value;
    }

    // Digits from the last one back, the point after `scale` of them, and at
    // least one digit before the point.
    char reversed[kScaledTextCapacity];
    int n = 0;
    int written = 0;
    do {
        if (written == scale && scale > 0)
            reversed[n++] = '.';
        reversed[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
        ++written;
    } while (magnitude > 0 || written <= scale);
    if (minus)
        reversed[n++] = '-';
    std::reverse_copy(reversed, reversed + n, out);
    return n;
}

QString formatScaled(qint64 raw, int decimals, int precision, const QString& decimalPoint,
                     double* number)
{
    char text[kScaledTextCapacity];
    const int length = writeScaled(text, raw, decimals, precision, number);
    return withDecimalPoint(QLatin1String(text, length), decimalPoint);
}

QString withDecimalPoint(QLatin1String text, const QString& decimalPoint)
{
    QString out(text);
    if (const qsizetype point = text.indexOf(u'.'); point >= 0)
        out.replace(point, 1, decimalPoint);
    return out;
}
