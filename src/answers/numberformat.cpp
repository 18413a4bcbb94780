#include "numberformat.h"

QString formatScaled(qint64 raw, int decimals, int precision, const QString& decimalPoint,
                     double* number)
{
    const bool negative = raw < 0;
    quint64 magnitude = negative ? quint64(-raw) : quint64(raw);

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

    if (number) {
        // Both operands are exact, so the quotient is the double nearest to the text.
        double divisor = 1;
        for (int i = 0; i < scale; ++i)
            divisor *= 10;
        const double value = double(magnitude) / divisor;
        *number = negative && magnitude != 0 ? -value : value;
    }
    QString text = QString::number(magnitude);
    if (scale > 0) {
        if (text.size() <= scale)
            text.prepend(QString(scale - text.size() + 1, u'0'));
        text.insert(text.size() - scale, decimalPoint);
    }
    if (negative && magnitude != 0)
        text.prepend(u'-');
    return text;
}
