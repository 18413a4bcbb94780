#pragma once

#include <QLabel>

class ListenRetry;
class Station;

// Where the two TCP services listen, on the TCP page's port bar: the address
// and port of each, or that it cannot listen and keeps trying.
class ListenStateLabel : public QLabel {
    Q_OBJECT
public:
    explicit ListenStateLabel(Station& station, QWidget* parent = nullptr);

    void showState();

private:
    static QString serviceText(const ListenRetry& listen, const QString& endpoint);

    Station& m_station;
};
