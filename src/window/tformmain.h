#pragma once

#include <QMainWindow>

class Station;

// The main window: four pages over the station's grids and operations.
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(Station& station, QWidget* parent = nullptr);

private:
    Station& m_station;
};
