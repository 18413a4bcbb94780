#include "measurementrecord.h"

#include "answers/answerrecord.h"

const QStringList& MeasurementRecord::columnTitles()
{
    static const QStringList titles;
    return titles;
}

MeasurementRecord MeasurementRecord::fromAnswer(const AnswerRecord&, QChar)
{
    return MeasurementRecord();
}

QString MeasurementRecord::stamp() const
{
    return QString();
}
