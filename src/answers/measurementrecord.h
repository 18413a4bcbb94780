#pragma once

#include "numberformat.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <array>

struct AnswerRecord;

// A measurement decoded once from a full AnswerRecord: the 29 column texts of
// its archive line, the same values as numbers, its date and time and its
// poll-list row. Built by the answer decoder, carried in the AcceptedAnswer,
// written by the archive writer and published by the broker.
struct MeasurementRecord {
    static constexpr int kColumnCount = 29;

    std::array<QString, kColumnCount> columns;
    // The value each text shows; NaN for the name and the time of day (columns 0, 1).
    std::array<double, kColumnCount> numbers{};
    unsigned day = 0;
    unsigned month = 0;
    unsigned year = 0; // 2000..2255
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    int row = 0; // poll-list index k

    // The 29 titles of the archive header.
    static const QStringList& columnTitles();
    // decimalPoint: the user's regional decimal symbol.
    static MeasurementRecord fromAnswer(const AnswerRecord& record, const QString& decimalPoint);
    // DDMMYYYYhhmmss
    QString stamp() const;

    // Columns 1..28 of a record as fromAnswer makes them, with '.' for the
    // decimal point, in Latin-1 and without a QString each: for writers of
    // bytes. Column 0, the name, is left empty.
    struct ColumnBytes {
        std::array<std::array<char, kScaledTextCapacity>, kColumnCount> texts;
        std::array<quint8, kColumnCount> lengths{};

        QByteArrayView operator[](int column) const
        {
            return {texts[size_t(column)].data(), lengths[size_t(column)]};
        }
    };
    static ColumnBytes columnBytes(const AnswerRecord& record);
};
