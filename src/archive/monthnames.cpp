#include "monthnames.h"

#include <array>

QString monthName(int month)
{
    static const std::array<QString, 12> names = {
        QStringLiteral("Январь"),  QStringLiteral("Февраль"), QStringLiteral("Март"),
        QStringLiteral("Апрель"),  QStringLiteral("Май"),     QStringLiteral("Июнь"),
        QStringLiteral("Июль"),    QStringLiteral("Август"),  QStringLiteral("Сентябрь"),
        QStringLiteral("Октябрь"), QStringLiteral("Ноябрь"),  QStringLiteral("Декабрь")};
    return month >= 1 && month <= 12 ? names[size_t(month - 1)] : QString();
}
