#pragma once

#include <QGroupBox>

class ApplyStatus;
class QLabel;
class QLineEdit;
class Station;

// The MQTT section of the "Дополнительные настройки" page: the
// KX7R_QUERRY\MQTT values, their "Применить", and a status line with the
// broker's connection and the number of queued messages.
class BrokerSettingsBox : public QGroupBox {
    Q_OBJECT
public:
    explicit BrokerSettingsBox(Station& station, QWidget* parent = nullptr);

    void btnApplyMqttClick();
    // Shows the stored values again.
    void showStored();

signals:
    void applyFailed(const QString& text);

private:
    void showStatus();
    void showPending();

    Station& m_station;
    QList<QLineEdit*> m_edits; // in BrokerSettings::fields() order
    QLabel* m_status = nullptr;
    ApplyStatus* m_applyStatus = nullptr;
};
