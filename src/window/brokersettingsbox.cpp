#include "brokersettingsbox.h"

#include "applystatus.h"

#include "broker/brokersettings.h"
#include "broker/mqttpublisher.h"
#include "model/integertext.h"
#include "shell/station.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Captions and widget names in BrokerSettings::fields() order.
struct Field {
    const char16_t* caption;
    const char16_t* name;
};
constexpr Field kFields[] = {
    {u"Адрес брокера", u"txtMqttHost"},
    {u"Порт", u"txtMqttPort"},
    {u"Идентификатор клиента", u"txtMqttClientId"},
    {u"Префикс тем", u"txtMqttTopicPrefix"},
    {u"Имя пользователя", u"txtMqttUsername"},
    {u"Пароль", u"txtMqttPassword"},
    {u"Сертификат CA (TLS)", u"txtMqttTls"},
    {u"QoS (1 или 2)", u"txtMqttQos"},
    {u"Очередь, МиБ", u"txtMqttSpoolMiB"},
    {u"Файл пароля", u"txtMqttPasswordFile"},
};
constexpr int kBoxWidth = 449;
} // namespace

BrokerSettingsBox::BrokerSettingsBox(Station& station, QWidget* parent)
    : QGroupBox(QStringLiteral("Публикация в MQTT брокер"), parent), m_station(station)
{
    setObjectName(QStringLiteral("gbMqtt"));
    auto* form = new QFormLayout;
    for (const Field& field : kFields) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromUtf16(field.name));
        edit->setFixedWidth(kBoxWidth);
        form->addRow(QString::fromUtf16(field.caption), edit);
        connect(edit, &QLineEdit::textEdited, this, &BrokerSettingsBox::showPending);
        m_edits.append(edit);
    }
    m_edits[5]->setEchoMode(QLineEdit::Password);
    m_edits[1]->setPlaceholderText(QString::number(BrokerSettings::kDefaultPort));
    m_edits[3]->setPlaceholderText(QStringLiteral("kx7r"));
    m_edits[7]->setPlaceholderText(QStringLiteral("1"));
    m_edits[8]->setPlaceholderText(QString::number(BrokerSettings::kDefaultSpoolMiB));

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblMqttStatus"));
    // The page has a second "Применить", for the archive folder: this one says what it takes.
    auto* apply = new QPushButton(QStringLiteral("Применить настройки MQTT"), this);
    apply->setObjectName(QStringLiteral("btnApplyMqtt"));
    connect(apply, &QPushButton::clicked, this, &BrokerSettingsBox::btnApplyMqttClick);

    m_applyStatus = new ApplyStatus(QStringLiteral("lblMqttApplyStatus"), this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_status, 1);
    bar->addWidget(m_applyStatus);
    bar->addWidget(apply);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(bar);

    showStored();
    showStatus();
    connect(&m_station.publisher(), &MqttPublisher::stateChanged, this,
            &BrokerSettingsBox::showStatus);
}

void BrokerSettingsBox::showStored()
{
    const BrokerSettings stored = BrokerSettings::read(m_station.settings());
    const auto fields = BrokerSettings::fields();
    for (int i = 0; i < fields.size(); ++i)
        m_edits[i]->setText(stored.*fields[i].second);
    if (m_applyStatus->isPending())
        m_applyStatus->clearStatus();
}

void BrokerSettingsBox::showPending()
{
    m_applyStatus->showPending(QStringLiteral("Не применено"));
}

void BrokerSettingsBox::btnApplyMqttClick()
{
    BrokerSettings broker;
    const auto fields = BrokerSettings::fields();
    for (int i = 0; i < fields.size(); ++i)
        broker.*fields[i].second = m_edits[i]->text().trimmed();
    if (!broker.portNumber()) {
        m_applyStatus->showRefused(QStringLiteral("Не применено"));
        emit applyFailed(portRangeMessage(broker.port));
        return;
    }
    const Outcome outcome = m_station.applyBroker(broker);
    if (outcome) {
        m_applyStatus->showApplied(QStringLiteral("Настройки MQTT применены"));
    } else {
        // The store's own text names a registry value in English; this section speaks Russian.
        m_applyStatus->showRefused(QStringLiteral("Не сохранено"));
        emit applyFailed(QStringLiteral("Настройки MQTT не сохранены: хранилище настроек не "
                                        "принимает запись"));
    }
    showStatus();
}

void BrokerSettingsBox::showStatus()
{
    m_status->setText(m_station.publisher().statusText());
}
