#include "modbuspage.h"

#include "applystatus.h"

#include "modbus/modbusregistermap.h"
#include "modbus/modbusservice.h"
#include "modbus/modbussettings.h"
#include "shell/station.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
constexpr int kBoxWidth = 200;

QLineEdit* lineEdit(const QString& name, const QString& placeholder, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    edit->setFixedWidth(kBoxWidth);
    return edit;
}
} // namespace

ModbusPage::ModbusPage(Station& station, QWidget* parent) : QWidget(parent), m_station(station)
{
    setObjectName(QStringLiteral("tsModbus"));
    m_address = lineEdit(QStringLiteral("txtModbusAddress"), QStringLiteral("127.0.0.1"), this);
    m_port = lineEdit(QStringLiteral("txtModbusPort"), QStringLiteral("выключен (например, 1502)"),
                      this);
    m_unitId = lineEdit(QStringLiteral("txtModbusUnitId"), QStringLiteral("1"), this);
    m_wordOrder = new QComboBox(this);
    m_wordOrder->setObjectName(QStringLiteral("cbModbusWordOrder"));
    m_wordOrder->addItems({QStringLiteral("ABCD"), QStringLiteral("CDAB")});
    m_wordOrder->setFixedWidth(kBoxWidth);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Адрес сервера"), m_address);
    form->addRow(QStringLiteral("Порт (пусто: выключен)"), m_port);
    form->addRow(QStringLiteral("Номер устройства (Unit ID)"), m_unitId);
    form->addRow(QStringLiteral("Порядок слов float32"), m_wordOrder);
    for (QLineEdit* edit : {m_address, m_port, m_unitId})
        connect(edit, &QLineEdit::textEdited, this, &ModbusPage::showPending);
    connect(m_wordOrder, &QComboBox::activated, this, &ModbusPage::showPending);

    auto* map = new QLabel(
        QStringLiteral("Входные регистры и те же регистры хранения, только чтение. Канал n: "
                       "с адреса (n − 1) × %1; состояние станции: с адреса %2.")
            .arg(ModbusRegisterMap::kRowBlockSize)
            .arg(ModbusRegisterMap::kStationBlock),
        this);
    map->setObjectName(QStringLiteral("lblModbusMap"));
    map->setWordWrap(true);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblModbusStatus"));
    auto* apply = new QPushButton(QStringLiteral("Применить"), this);
    apply->setObjectName(QStringLiteral("btnApplyModbus"));
    connect(apply, &QPushButton::clicked, this, &ModbusPage::btnApplyModbusClick);
    m_applyStatus = new ApplyStatus(QStringLiteral("lblModbusApplyStatus"), this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_status, 1);
    bar->addWidget(m_applyStatus);
    bar->addWidget(apply);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(map);
    layout->addStretch(1);
    layout->addLayout(bar);

    showStored();
    showStatus();
    connect(&m_station.modbus(), &ModbusService::stateChanged, this, &ModbusPage::showStatus);
}

void ModbusPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    showStored();
}

void ModbusPage::showStored()
{
    const ModbusSettings stored = ModbusSettings::read(m_station.settings());
    m_address->setText(stored.address);
    m_port->setText(stored.port);
    m_unitId->setText(stored.unitId);
    m_wordOrder->setCurrentIndex(stored.wordOrderValue() == ModbusSettings::WordOrder::CDAB ? 1
                                                                                            : 0);
    if (m_applyStatus->isPending())
        m_applyStatus->clearStatus();
}

void ModbusPage::showPending()
{
    m_applyStatus->showPending(QStringLiteral("Не применено"));
}

void ModbusPage::btnApplyModbusClick()
{
    ModbusSettings modbus;
    modbus.address = m_address->text().trimmed();
    modbus.port = m_port->text().trimmed();
    modbus.unitId = m_unitId->text().trimmed();
    modbus.wordOrder = m_wordOrder->currentText();
    const Outcome outcome = m_station.applyModbus(modbus);
    if (outcome) {
        m_applyStatus->showApplied(QStringLiteral("Настройки Modbus TCP применены"));
    } else {
        m_applyStatus->showRefused(QStringLiteral("Не применено"));
        emit applyFailed(outcome.error());
    }
    showStatus();
}

void ModbusPage::showStatus()
{
    const ModbusService& service = m_station.modbus();
    if (!service.isListening()) {
        m_status->setText(QStringLiteral("Modbus TCP: сервер выключен"));
        return;
    }
    const ModbusSettings& settings = service.settings();
    m_status->setText(QStringLiteral("Modbus TCP: слушает %1:%2, устройство %3, клиентов: %4")
                          .arg(settings.hostAddress()->toString())
                          .arg(service.port())
                          .arg(*settings.unitIdNumber())
                          .arg(service.clientCount()));
}
