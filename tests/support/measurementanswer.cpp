#include "measurementanswer.h"

#include "model/stationtexts.h"

#include <cmath>

AcceptedAnswer measurementAnswer(int row, double base)
{
    MeasurementRecord m;
    for (int i = 0; i < MeasurementRecord::kColumnCount; ++i)
        m.numbers[size_t(i)] = i < 2 ? std::nan("") : base + i;
    m.columns[0] = QStringLiteral("Резервуар 4");
    m.columns[1] = QStringLiteral("09:30:05");
    m.year = 2026;
    m.month = 12;
    m.day = 10;
    m.hour = 9;
    m.minute = 30;
    m.second = 5;
    m.row = row;
    AcceptedAnswer a;
    a.row = row;
    a.terminal = 1;
    a.kind = AcceptedAnswer::Kind::Measurement;
    a.status = 0x10;
    a.statusText = Texts::dataReceived;
    a.measurement = m;
    return a;
}
