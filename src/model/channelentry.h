#pragma once

#include <QString>
#include <QtGlobal>

// One row of the poll list.
struct ChannelEntry {
    QString name;
    quint8 blockAddress = 0;  // low 8 bits of the stored number
    quint8 channelNumber = 0; // the block serves 0..7
    QString terminal; // "Не подключен" or "Терминал1".."Терминал10"
    QString mode;     // "Активный ПДЛ" or "По запросу"
    qint32 timeoutSeconds = 0;
};
