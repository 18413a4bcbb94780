#include "terminalname.h"

#include "stationlimits.h"
#include "stationtexts.h"

int terminalIndex(const QString& terminalText)
{
    if (!terminalText.startsWith(Texts::terminalPrefix))
        return -1;
    const QStringView number = QStringView(terminalText).mid(Texts::terminalPrefix.size());
    if (number.isEmpty() || number.size() > 2 || number.front() == u'0')
        return -1;
    int n = 0;
    for (const QChar c : number) {
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n >= 1 && n <= kTerminalCount ? n - 1 : -1;
}

QString terminalText(int index)
{
    return Texts::terminalPrefix + QString::number(index + 1);
}
