#pragma once

#include <QByteArrayView>
#include <array>

// One line of an archive file taken apart where it lies, without copying: the
// 29 TAB-terminated fields of a measurement, its time of day, and the numbers
// of its value columns whatever decimal symbol the station wrote them with.
// The first step of everything that reads the archive back (trends, export).
class ArchiveLine {
public:
    static constexpr int kColumnCount = 29;
    static constexpr int kNameColumn = 0;
    static constexpr int kTimeColumn = 1;
    static constexpr int kFirstNumberColumn = 2;

    enum class Kind {
        Measurement,
        Header,     // the file's title line
        Unreadable, // torn (no line end), too few or many fields, a field that is no number
    };

    // line: the bytes up to and including its LF, or what is left at the end
    // of a file (which then has no line end and is torn).
    Kind parse(QByteArrayView line);

    // Of the last line that parsed as a measurement.
    QByteArrayView field(int column) const { return m_fields[size_t(column)]; }
    int secondOfDay() const { return m_secondOfDay; }
    // NaN for an empty field ("-") and for the name and time columns.
    double number(int column) const { return m_numbers[size_t(column)]; }
    bool isEmpty(int column) const { return m_fields[size_t(column)] == QByteArrayView("-"); }

    // Decimal text with ',' or '.' as its separator; false for anything else.
    static bool parseNumber(QByteArrayView text, double* value);
    // hh:mm:ss, 00:00:00 .. 23:59:59.
    static bool parseTime(QByteArrayView text, int* secondOfDay);

private:
    std::array<QByteArrayView, kColumnCount> m_fields;
    std::array<double, kColumnCount> m_numbers{};
    int m_secondOfDay = 0;
};
