#pragma once

#include <QWidget>

class ApplyStatus;
class QComboBox;
class QLabel;
class QLineEdit;
class Station;

// The "Modbus TCP" page, after the station's own pages: the KX7R_QUERRY\MODBUS
// values, their "Применить", and a status line with the server's address and
// its clients. Shown again as stored each time the page is opened.
class ModbusPage : public QWidget {
    Q_OBJECT
public:
    explicit ModbusPage(Station& station, QWidget* parent = nullptr);

    void btnApplyModbusClick();
    void showStored();

signals:
    void applyFailed(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showStatus();
    void showPending();

    Station& m_station;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_unitId = nullptr;
    QComboBox* m_wordOrder = nullptr;
    QLabel* m_status = nullptr;
    ApplyStatus* m_applyStatus = nullptr;
};
