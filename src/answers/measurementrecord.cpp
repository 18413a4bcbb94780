#include "measurementrecord.h"

#include "answerrecord.h"
#include "numberformat.h"

#include "model/codepage1251.h"

#include <QtNumeric>

namespace {

// Offsets in the full record; multi-byte values are big-endian.
constexpr int kSensorAddress = AnswerRecord::kSensorAddress;
constexpr int kRow = AnswerRecord::kRow;
constexpr int kSecond = AnswerRecord::kFullStamp, kMinute = kSecond + 1, kHour = kSecond + 2,
              kDay = kSecond + 3, kMonth = kSecond + 4, kYear = kSecond + 5;
constexpr int kName = AnswerRecord::kFullName, kNameLength = AnswerRecord::kNameLength;

enum class Raw { U8, U16, U24, I16 };

// A value column: bytes, type, scale as a power of ten (0 = plain integer), precision.
struct Column {
    int offset;
    Raw type;
    int decimals;
    int precision;
};

// Columns 4..29 in order; totalMass (column 9) is the sum of two fields.
constexpr Column kLevelS1{8, Raw::U16, 1, 5};
constexpr Column kValueColumns[] = {
    kLevelS1,
    {10, Raw::U16, 2, 5},
    {12, Raw::U16, 2, 5},
    {14, Raw::U16, 1, 5},
    {16, Raw::U24, 3, 7},
    {-1, Raw::U24, 3, 7},
    {19, Raw::U24, 3, 7},
    {22, Raw::U16, 3, 5},
    {24, Raw::U16, 1, 5},
    {26, Raw::U16, 1, 5},
    {28, Raw::U16, 3, 4},
    {30, Raw::U16, 3, 4},
    {32, Raw::I16, 1, 5},
    {34, Raw::I16, 1, 5},
    {36, Raw::I16, 1, 5},
    {38, Raw::I16, 1, 5},
    {40, Raw::I16, 1, 5},
    {42, Raw::I16, 1, 5},
    {44, Raw::I16, 1, 5},
    {46, Raw::U16, 0, 0},
    {48, Raw::U24, 0, 0},
    {51, Raw::U8, 0, 0},
    {52, Raw::U16, 2, 5},
    {54, Raw::U16, 1, 5},
    {56, Raw::U16, 1, 5},
    {60, Raw::U16, 0, 0},
};
static_assert(std::size(kValueColumns) == 26);

qint64 rawValue(const AnswerRecord& r, int offset, Raw type)
{
    switch (type) {
    case Raw::U8:
        return r[offset];
    case Raw::U16:
        return (r[offset] << 8) | r[offset + 1];
    case Raw::U24:
        return (qint64(r[offset]) << 16) | (r[offset + 1] << 8) | r[offset + 2];
    case Raw::I16:
        return qint16(quint16((r[offset] << 8) | r[offset + 1]));
    }
    return 0;
}

QString twoDigits(unsigned value)
{
    return QString::number(value).rightJustified(2, u'0');
}

// A byte of the record as at least two digits; returns the end.
char* writeTwoDigits(char* out, unsigned value)
{
    if (value >= 100)
        *out++ = char('0' + value / 100);
    *out++ = char('0' + value / 10 % 10);
    *out++ = char('0' + value % 10);
    return out;
}

// hh:mm:ss of the record's own time.
int writeTimeOfDay(const AnswerRecord& r, char* out)
{
    char* p = writeTwoDigits(out, r[kHour]);
    *p++ = ':';
    p = writeTwoDigits(p, r[kMinute]);
    *p++ = ':';
    p = writeTwoDigits(p, r[kSecond]);
    return int(p - out);
}

// Columns 2..28: visit(index, raw value, decimals, precision); decimals 0 is a
// plain integer.
template <typename Visit> void forEachNumberColumn(const AnswerRecord& r, Visit&& visit)
{
    visit(size_t(2), qint64(r[kSensorAddress]), 0, 0);
    size_t index = 3;
    for (const Column& column : kValueColumns) {
        const qint64 raw = column.offset < 0 ? rawValue(r, 19, Raw::U24) + rawValue(r, 22, Raw::U16)
                                             : rawValue(r, column.offset, column.type);
        visit(index++, raw, column.decimals, column.precision);
    }
}

} // namespace

const QStringList& MeasurementRecord::columnTitles()
{
    // Mixed alphabets as the archive carries them: Latin S, V, E, T; Cyrillic ТД
    // and the С of СS1..СS3.
    static const QStringList titles = {
        QStringLiteral("Имя"),
        QStringLiteral("Время"),
        QStringLiteral("Адрес датчика"),
        QStringLiteral("Уровень S1, мм"),
        QStringLiteral("Уровень S2, мм"),
        QStringLiteral("Уровень S3, мм"),
        QStringLiteral("V жидк, %"),
        QStringLiteral("V жидк, м3"),
        QStringLiteral("Общая масса, т"),
        QStringLiteral("Масса жидк, т"),
        QStringLiteral("Масса пара, т"),
        QStringLiteral("Пл. жидк, кг/м3"),
        QStringLiteral("Пл. пара, кг/м3"),
        QStringLiteral("E жидк"),
        QStringLiteral("E пара"),
        QStringLiteral("T1"),
        QStringLiteral("T2"),
        QStringLiteral("T3"),
        QStringLiteral("T4"),
        QStringLiteral("T5"),
        QStringLiteral("T6"),
        QStringLiteral("ТД"),
        QStringLiteral("период 1"),
        QStringLiteral("период 2"),
        QStringLiteral("период 3"),
        QStringLiteral("СS1, пФ"),
        QStringLiteral("СS2, пФ"),
        QStringLiteral("СS3, пФ"),
        QStringLiteral("АЦП"),
    };
    return titles;
}

MeasurementRecord MeasurementRecord::fromAnswer(const AnswerRecord& r, const QString& decimalPoint)
{
    MeasurementRecord m;
    m.second = r[kSecond];
    m.minute = r[kMinute];
    m.hour = r[kHour];
    m.day = r[kDay];
    m.month = r[kMonth];
    m.year = 2000u + r[kYear];
    m.row = r[kRow];

    int nameLength = 0;
    while (nameLength < kNameLength && r[kName + nameLength] != 0)
        ++nameLength;
    m.columns[0] =
        fromCp1251(QByteArray(reinterpret_cast<const char*>(r.bytes.data()) + kName, nameLength));
    char text[kScaledTextCapacity];
    m.columns[1] = QString::fromLatin1(text, writeTimeOfDay(r, text));
    m.numbers[0] = m.numbers[1] = qQNaN();
    forEachNumberColumn(r, [&](size_t index, qint64 raw, int decimals, int precision) {
        const int length = writeScaled(text, raw, decimals, precision, &m.numbers[index]);
        m.columns[index] = withDecimalPoint(QLatin1String(text, length), decimalPoint);
    });
    return m;
}

QString MeasurementRecord::stamp() const
{
    return twoDigits(day) + twoDigits(month) + QString::number(year) + twoDigits(hour) +
           twoDigits(minute) + twoDigits(second);
}

MeasurementRecord::ColumnBytes MeasurementRecord::columnBytes(const AnswerRecord& r)
{
    ColumnBytes out;
    out.lengths[1] = quint8(writeTimeOfDay(r, out.texts[1].data()));
    forEachNumberColumn(r, [&out](size_t index, qint64 raw, int decimals, int precision) {
        out.lengths[index] = quint8(writeScaled(out.texts[index].data(), raw, decimals, precision));
    });
    return out;
}
