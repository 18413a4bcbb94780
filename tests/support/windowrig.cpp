#include "windowrig.h"

#include "model/stationlimits.h"
#include "model/stationtexts.h"

WindowRig::WindowRig(const QString& channelName, const QString& historyFolder)
{
    fixture.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
    fixture.setRoot(QStringLiteral("HistoryFolder"),
                    historyFolder.isEmpty() ? fixture.dirPath() : historyFolder);
    for (int row = 1; row <= kChannelCount; ++row)
        fixture.setChannel(row, channelName + u' ' + QString::number(row), Texts::notConnected,
                           Texts::modeOnRequest, QString::number(row), QStringLiteral("0"),
                           QStringLiteral("5"));
    for (int n = 1; n <= kTerminalCount; ++n)
        fixture.setTerminal(n, Texts::portUndefined);
    station = std::make_unique<Station>(fixture.store(), clock, quint16(0));
    station->start(false);
    window = std::make_unique<TFormMain>(*station);
}
