#include "grideditors.h"

#include "model/stationlimits.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"

namespace {
constexpr int kComPortCount = 255;

CellEditor dropDown(const QStringList& items)
{
    return {CellEditor::Kind::DropDown, items};
}
} // namespace

CellEditor GridEditors::queryListEditor(int row, int column)
{
    if (row < 1 || row > kChannelCount)
        return {};
    switch (column) {
    case QueryColumn::Name:
    case QueryColumn::Version: // typed into, never stored
        return {CellEditor::Kind::FreeText, {}};
    case QueryColumn::Terminal:
        return dropDown(terminalItems());
    case QueryColumn::Mode:
        return dropDown(modeItems());
    case QueryColumn::Address:
    case QueryColumn::Channel:
    case QueryColumn::Timeout:
        return {CellEditor::Kind::Numeric, {}};
    default:
        return {};
    }
}

CellEditor GridEditors::rsSettingsEditor(int row, int column)
{
    if (column < 1 || column > kTerminalCount)
        return {};
    switch (row) {
    case RsRow::ComName:
        return dropDown(comNameItems());
    case RsRow::BaudRate:
        return dropDown(baudRateItems());
    case RsRow::DataBits:
        return dropDown(dataBitsItems());
    case RsRow::StopBits:
        return dropDown(stopBitsItems());
    case RsRow::Parity:
        return dropDown(parityItems());
    default:
        return {};
    }
}

QStringList GridEditors::terminalItems()
{
    QStringList items{Texts::notConnected};
    for (int t = 0; t < kTerminalCount; ++t)
        items.append(terminalText(t));
    return items;
}

QStringList GridEditors::modeItems()
{
    return {Texts::modeActive, Texts::modeOnRequest};
}

QStringList GridEditors::comNameItems()
{
    QStringList items{Texts::portUndefined};
    for (int n = 1; n <= kComPortCount; ++n)
        items.append(QStringLiteral("COM") + QString::number(n));
    return items;
}

QStringList GridEditors::baudRateItems()
{
    return {QStringLiteral("1200"),  QStringLiteral("2400"),  QStringLiteral("4800"),
            QStringLiteral("9600"),  QStringLiteral("19200"), QStringLiteral("38400"),
            QStringLiteral("57600"), QStringLiteral("115200")};
}

QStringList GridEditors::dataBitsItems()
{
    return {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
}

QStringList GridEditors::stopBitsItems()
{
    return {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
}

QStringList GridEditors::parityItems()
{
    return {QStringLiteral("Чет"), QStringLiteral("Нечет"), QStringLiteral("Нет"),
            QStringLiteral("Маркер"), QStringLiteral("Пробел")};
}
