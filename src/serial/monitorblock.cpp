#include "monitorblock.h"

namespace MonitorBlock {

namespace {
QString hexByte(quint8 byte)
{
    return QString::number(byte, 16).toUpper().rightJustified(2, u'0');
}
} // namespace

QString rule()
{
    return u'+' + QString(33, u'-') + u'+';
}

QStringList lines(int terminalNumber, const QString& comName, QByteArrayView bytes,
                  bool withTopRule)
{
    const qsizetype n = bytes.size();
    auto at = [&](qsizetype i) { return quint8(bytes[i]); };

    QStringList out;
    if (withTopRule)
        out.append(rule());
    out.append(QStringLiteral("Терминал ") + QString::number(terminalNumber) + u" (" + comName +
               u')');
    if (n >= 1)
        out.append(QStringLiteral("Адрес ПДЛ: ") + QString::number(at(0)));
    if (n >= 2)
        out.append(QStringLiteral("Сообщение: #") + QString::number(at(1)));

    // Data bytes 2 .. n-2; later lines are indented as far as "   Данные:".
    const QString firstPrefix = QStringLiteral("   Данные:");
    const QString nextPrefix(firstPrefix.size(), u' ');
    QString line;
    int onLine = 0;
    for (qsizetype i = 2; i <= n - 2; ++i) {
        if (onLine == kBytesPerDataLine) {
            out.append(line);
            onLine = 0;
        }
        if (onLine == 0)
            line = i == 2 ? firstPrefix : nextPrefix;
        line += u' ' + hexByte(at(i));
        ++onLine;
    }
    if (onLine > 0)
        out.append(line);

    if (n >= 1)
        out.append(QStringLiteral("      CRC: ") + hexByte(at(n - 1)));
    out.append(rule());
    return out;
}

} // namespace MonitorBlock
