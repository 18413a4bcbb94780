#include "stationstate.h"

#include "stationtexts.h"
#include "terminalname.h"

StationState::StationState()
{
    queryList.setHeadings({QStringLiteral("ID"), QStringLiteral("Имя канала"),
                           QStringLiteral("Терминал"), QStringLiteral("Режим"),
                           QStringLiteral("Адрес ПДЛ"), QStringLiteral("Номер канала"),
                           QStringLiteral("Таймаут, сек"), QStringLiteral("Статус"),
                           QStringLiteral("Время ожидания"), QStringLiteral("Версия ПО датчика")});
    for (int row = 1; row <= kChannelCount; ++row)
        queryList.setText(row, QueryColumn::Id, QString::number(row));
    for (int c : {QueryColumn::Name, QueryColumn::Terminal, QueryColumn::Mode, QueryColumn::Address,
                  QueryColumn::Channel, QueryColumn::Timeout, QueryColumn::Version})
        queryList.setColumnEditable(c, true);

    QStringList headings{QString()};
    for (int t = 0; t < kTerminalCount; ++t)
        headings.append(terminalText(t));
    rsSettings.setHeadings(headings);
    const QStringList labels{QString(),
                             QStringLiteral("СОМ порт"), // Cyrillic С, О, М
                             QStringLiteral("Скорость"),
                             QStringLiteral("Биты данных"),
                             QStringLiteral("Стоповые биты"),
                             QStringLiteral("Четность"),
                             QStringLiteral("Статус")};
    for (int row = 1; row < labels.size(); ++row)
        rsSettings.setText(row, 0, labels[row]);
    for (int c = 1; c <= kTerminalCount; ++c)
        rsSettings.setColumnEditable(c, true);
    rsSettings.setRowEditable(RsRow::Status, false);

    currentConnections.setHeadings({QStringLiteral("№"), QStringLiteral("Локальный IP адрес"),
                                    QStringLiteral("Локальный порт"),
                                    QStringLiteral("Удаленный IP адрес"),
                                    QStringLiteral("Удаленный порт")});
    currentConnectionsForUpdate.setHeadings(
        {QStringLiteral("ID"), QStringLiteral("Локальный IP адрес"),
         QStringLiteral("Локальный порт"), QStringLiteral("Удаленный IP адрес"),
         QStringLiteral("Удаленный порт")});
}

void StationState::rebuildQueues()
{
    for (PollQueue& queue : pollQueues)
        queue.clear();
    for (int k = 0; k < kChannelCount; ++k) {
        const int t = terminalIndex(channels[k].terminal);
        if (t >= 0 && channels[k].mode == Texts::modeOnRequest)
            pollQueues[t].append(k);
    }
}
