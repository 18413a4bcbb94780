#include "integertext.h"

std::optional<qint32> parseInteger(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        const bool sign = i == 0 && (c == u'-' || c == u'+');
        if (!sign && (c < u'0' || c > u'9'))
            return std::nullopt;
    }
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString notAnIntegerMessage(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString portRangeMessage(const QString& text)
{
    return QStringLiteral("Порт '%1' недопустим: номер порта должен быть от 1 до 65535").arg(text);
}
