#include "answerstatustext.h"

#include "model/stationtexts.h"

QString answerStatusText(quint8 status, quint8 sensorAddress)
{
    switch (status & 0x0F) {
    case 1:
        return QStringLiteral("ПДЛ ожидает ответа от датчика");
    case 2:
        return QStringLiteral("Нет сигнала от датчика (адрес ") + QString::number(sensorAddress) +
               u')';
    case 3:
        return QStringLiteral("Нет тарировочной таблицы");
    case 4:
        return QStringLiteral("ПДЛ не опрашивает этот канал");
    case 5:
        return QStringLiteral("Недопустимый номер канала (0..7)");
    default:
        return Texts::dataReceived;
    }
}
