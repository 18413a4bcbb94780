#include "diagnosticsgrids.h"

#include "model/stationcounters.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"

#include <QDateTime>

namespace {
const QString kNone = QStringLiteral("-");

QString number(quint64 value)
{
    return QString::number(value);
}
} // namespace

DiagnosticsGrids::DiagnosticsGrids()
    : m_channels(kChannelCount + 1, ChannelColumns),
      m_terminals(kTerminalCount + 1, TerminalColumns)
{
    m_channels.setHeadings({QStringLiteral("№"), QStringLiteral("Наименование"),
                            QStringLiteral("Терминал"), QStringLiteral("Запросов"),
                            QStringLiteral("От клиентов"), QStringLiteral("Измерений"),
                            QStringLiteral("Статусов"), QStringLiteral("Без ответа"),
                            QStringLiteral("Отвечено"), QStringLiteral("Последний ответ"),
                            QStringLiteral("Ответ, мс"), QStringLiteral("Средний, мс")});
    m_channels.setRowNumbers(Row, kChannelCount);
    m_terminals.setHeadings({QStringLiteral("Терминал"), QStringLiteral("Порт"),
                             QStringLiteral("Состояние"), QStringLiteral("Открытий"),
                             QStringLiteral("Ошибок открытия"), QStringLiteral("Принято байт"),
                             QStringLiteral("Передано байт"), QStringLiteral("Кадров"),
                             QStringLiteral("Ошибок LRC"), QStringLiteral("Неверной длины"),
                             QStringLiteral("Переполнений"), QStringLiteral("Сброшено байт")});
    for (int t = 0; t < kTerminalCount; ++t)
        m_terminals.setText(t + 1, TerminalName, terminalText(t));
    for (CellGrid* grid : {&m_channels, &m_terminals})
        for (int column = 0; column < grid->columns(); ++column)
            grid->setColumnEditable(column, false);
}

QString DiagnosticsGrids::answeredText(quint64 answers, quint64 timeouts)
{
    const quint64 settled = answers + timeouts;
    if (settled == 0)
        return kNone;
    return QString::number(answers * 100 / settled) + QStringLiteral(" %");
}

void DiagnosticsGrids::refresh(const StationState& state)
{
    refreshChannels(state);
    refreshTerminals(state);
    m_servicesText = servicesText(state.counters);
}

void DiagnosticsGrids::refreshChannels(const StationState& state)
{
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelCounters& c = state.counters.channels[size_t(k)];
        const int row = k + 1;
        m_channels.setText(row, Name, state.channels[size_t(k)].name);
        m_channels.setText(row, Terminal, state.channels[size_t(k)].terminal);
        m_channels.setText(row, Requests, number(c.requestsSent));
        m_channels.setText(row, Forwarded, number(c.forwardedRequests));
        m_channels.setText(row, Measurements, number(c.measurementsAccepted));
        m_channels.setText(row, StatusAnswers, number(c.statusAnswersAccepted));
        m_channels.setCell(row, Timeouts, number(c.timeouts),
                           c.timeouts > 0 ? CellColour::Red : CellColour::Black);
        const quint64 answers = c.answersAccepted();
        const quint64 settled = answers + c.timeouts;
        const CellColour share = settled == 0                                   ? CellColour::Black
                                 : answers * 100 >= kGoodSharePercent * settled ? CellColour::Green
                                                                                : CellColour::Red;
        m_channels.setCell(row, Answered, answeredText(answers, c.timeouts), share);
        m_channels.setText(row, LastAnswer,
                           c.lastAcceptedMsecs == 0
                               ? kNone
                               : QDateTime::fromMSecsSinceEpoch(c.lastAcceptedMsecs)
                                     .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
        const ResponseHistogram& times = c.responseTime;
        m_channels.setText(row, LastResponse, times.count == 0 ? kNone : number(times.lastMs));
        m_channels.setText(row, MeanResponse,
                           times.count == 0 ? kNone : number(times.sumMs / times.count));
    }
}

void DiagnosticsGrids::refreshTerminals(const StationState& state)
{
    for (int t = 0; t < kTerminalCount; ++t) {
        const TerminalCounters& c = state.counters.terminals[size_t(t)];
        const int row = t + 1;
        m_terminals.setText(row, Port, state.terminals[size_t(t)].comName);
        switch (c.portState) {
        case TerminalCounters::PortState::Connected:
            m_terminals.setCell(row, PortState, Texts::portConnected, CellColour::Green);
            break;
        case TerminalCounters::PortState::Busy:
            m_terminals.setCell(row, PortState, Texts::portBusy, CellColour::Red);
            break;
        case TerminalCounters::PortState::None:
            m_terminals.setCell(row, PortState, kNone, CellColour::Black);
            break;
        }
        m_terminals.setText(row, Opens, number(c.opens));
        m_terminals.setText(row, OpenFailures, number(c.openFailures));
        m_terminals.setText(row, BytesRead, number(c.bytesRead));
        m_terminals.setText(row, BytesWritten, number(c.bytesWritten));
        m_terminals.setText(row, Frames, number(c.framesAccepted));
        m_terminals.setCell(row, LrcErrors, number(c.lrcErrors),
                            c.lrcErrors > 0 ? CellColour::Red : CellColour::Black);
        m_terminals.setText(row, BadLength, number(c.unacceptedLength));
        m_terminals.setText(row, Overflows, number(c.overflowFrames));
        m_terminals.setText(row, FloodDropped, number(c.floodDroppedBytes));
    }
}

QString DiagnosticsGrids::servicesText(const StationCounters& counters)
{
    const LiveCounters& live = counters.live;
    const HistoryCounters& history = counters.history;
    const ArchiveCounters& archive = counters.archive;
    const BrokerCounters& broker = counters.broker;
    return QStringLiteral("Клиенты TCP: %1 сейчас, %2 подключений, %3 отклонено, %4 кадров "
                          "отправлено, %5 сброшено, %6 неверных запросов.\n"
                          "Архив TCP: %7 сеансов, %8 файлов (%9 байт), %10 неверных запросов, "
                          "%11 закрыто по простою.\n")
               .arg(number(live.clientsNow), number(live.connectionsAccepted),
                    number(live.connectionsRefused), number(live.framesSent),
                    number(live.framesDropped), number(live.badRequests), number(history.sessions),
                    number(history.filesSent), number(history.bytesSent))
               .arg(number(history.badRequests), number(history.idleCloses)) +
           QStringLiteral("Архив: %1 строк записано, %2 не записано, %3 ошибок папки. "
                          "MQTT: %4, в очереди %5, опубликовано %6, потеряно %7, "
                          "переподключений %8.")
               .arg(number(archive.linesWritten), number(archive.writeFailures),
                    number(archive.folderFailures),
                    broker.connected ? QStringLiteral("подключен") : QStringLiteral("нет связи"),
                    number(broker.queued), number(broker.published), number(broker.dropped),
                    number(broker.reconnects));
}
