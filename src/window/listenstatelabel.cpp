#include "listenstatelabel.h"

#include "net/listenretry.h"
#include "shell/station.h"

ListenStateLabel::ListenStateLabel(Station& station, QWidget* parent)
    : QLabel(parent), m_station(station)
{
    setObjectName(QStringLiteral("lblListenState"));
    setTextFormat(Qt::PlainText);
    connect(&m_station, &Station::listenStateChanged, this, &ListenStateLabel::showState);
    showState();
}

QString ListenStateLabel::serviceText(const ListenRetry& listen, const QString& endpoint)
{
    switch (listen.state()) {
    case ListenRetry::State::Listening:
        return QStringLiteral("прием на ") + endpoint;
    case ListenRetry::State::Retrying:
        return endpoint + QStringLiteral(" не открывается, повтор каждые %1 с")
                              .arg(ListenRetry::kRetryMs / 1000);
    case ListenRetry::State::Stopped:
        break;
    }
    return QStringLiteral("остановлена");
}

void ListenStateLabel::showState()
{
    const ListenRetry& live = m_station.liveListen();
    const ListenRetry& history = m_station.historyListen();
    QString text = QStringLiteral("Служба TCP/IP: ") + serviceText(live, m_station.liveEndpoint()) +
                   QStringLiteral("; служба архива: ") +
                   serviceText(history, m_station.historyEndpoint());
    if (!m_station.liveServer().forwardingEnabled())
        text += QStringLiteral("; запросы клиентов не передаются");
    setText(text);
    QStringList errors;
    for (const ListenRetry* listen : {&live, &history})
        if (!listen->error().isEmpty())
            errors.append(listen->error());
    setToolTip(errors.join(u'\n'));
    setStyleSheet(errors.isEmpty() ? QString() : QStringLiteral("color: rgb(255,0,0);"));
}
