#pragma once

#include <QString>
#include <QStringList>
#include <array>

struct AnswerRecord;

// One archive line: the 29 column texts of a measurement decoded from a full
// AnswerRecord, its date and time and its poll-list row. Built by the
// measurement store, written by the archive writer.
struct MeasurementRecord {
    static constexpr int kColumnCount = 29;

    std::array<QString, kColumnCount> columns;
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
};
