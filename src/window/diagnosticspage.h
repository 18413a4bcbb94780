#pragma once

#include "diagnostics/diagnosticsgrids.h"

#include <QTimer>
#include <QWidget>

class CellGridView;
class QLabel;
class Station;

// The "Диагностика" page, after the station's own pages: what every channel
// and terminal did since start-up, in two grids of the window's style, and a
// line for the services. Refreshed once a second while it is shown.
class DiagnosticsPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 1000;

    explicit DiagnosticsPage(Station& station, QWidget* parent = nullptr);

    void refresh();
    const QTimer& refreshTimer() const { return m_refreshTimer; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Station& m_station;
    DiagnosticsGrids m_grids;
    QTimer m_refreshTimer;
    CellGridView* m_channels = nullptr;
    CellGridView* m_terminals = nullptr;
    QLabel* m_services = nullptr;
};
