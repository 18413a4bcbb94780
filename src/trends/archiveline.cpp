#include "archiveline.h"

#include "archive/archivewriter.h"

#include <QtNumeric>

namespace {
// Archive values have at most eight digits; beyond fifteen a double would round.
constexpr int kMaxDigits = 15;

const QByteArray& headerLine()
{
    static const QByteArray header = ArchiveWriter::headerLine();
    return header;
}
} // namespace

ArchiveLine::Kind ArchiveLine::parse(QByteArrayView line)
{
    if (!line.endsWith('\n'))
        return Kind::Unreadable;
    if (line == QByteArrayView(headerLine()))
        return Kind::Header;
    line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    // Every field, the last one too, ends in a TAB.
    int column = 0;
    qsizetype start = 0;
    while (start < line.size()) {
        const qsizetype tab = line.indexOf('\t', start);
        if (tab < 0 || column == kColumnCount)
            return Kind::Unreadable;
        m_fields[size_t(column++)] = line.sliced(start, tab - start);
        start = tab + 1;
    }
    if (column != kColumnCount)
        return Kind::Unreadable;
    if (!parseTime(m_fields[kTimeColumn], &m_secondOfDay))
        return Kind::Unreadable;
    m_numbers[kNameColumn] = m_numbers[kTimeColumn] = qQNaN();
    for (int c = kFirstNumberColumn; c < kColumnCount; ++c) {
        if (isEmpty(c))
            m_numbers[size_t(c)] = qQNaN();
        else if (!parseNumber(m_fields[size_t(c)], &m_numbers[size_t(c)]))
            return Kind::Unreadable;
    }
    return Kind::Measurement;
}

bool ArchiveLine::parseNumber(QByteArrayView text, double* value)
{
    qsizetype i = 0;
    const bool negative = text.startsWith('-');
    if (negative)
        ++i;
    qint64 mantissa = 0;
    int digits = 0;
    int fraction = -1; // digits after the separator; -1: none seen
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > kMaxDigits)
                return false;
            mantissa = mantissa * 10 + (c - '0');
            if (fraction >= 0)
                ++fraction;
        } else if ((c == ',' || c == '.') && fraction < 0 && digits > 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || fraction == 0)
        return false;
    // Both exact in a double, so the quotient is the double nearest the text.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double magnitude = double(mantissa) / kPowers[fraction < 0 ? 0 : fraction];
    *value = negative ? -magnitude : magnitude;
    return true;
}

bool ArchiveLine::parseTime(QByteArrayView text, int* secondOfDay)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return false;
    int parts[3];
    for (int p = 0; p < 3; ++p) {
        const char tens = text[p * 3];
        const char ones = text[p * 3 + 1];
        if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
            return false;
        parts[p] = (tens - '0') * 10 + (ones - '0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return false;
    *secondOfDay = parts[0] * 3600 + parts[1] * 60 + parts[2];
    return true;
}
