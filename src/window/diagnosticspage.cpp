#include "diagnosticspage.h"

#include "cellgridview.h"

#include "shell/station.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 22;

CellEditor noEditor(int, int)
{
    return {};
}
} // namespace

DiagnosticsPage::DiagnosticsPage(Station& station, QWidget* parent)
    : QWidget(parent), m_station(station)
{
    setObjectName(QStringLiteral("tsDiagnostics"));
    m_channels = new CellGridView(m_grids.channels(), &noEditor, this);
    m_channels->setObjectName(QStringLiteral("tblDiagnosticsChannels"));
    m_channels->setColumnWidths({24, 110, 80, 70, 80, 72, 64, 72, 66, 124, 70, 80});
    m_channels->setColumnsFitWidth(true);
    m_channels->setRowHeights(kRowHeight);

    m_terminals = new CellGridView(m_grids.terminals(), &noEditor, this);
    m_terminals->setObjectName(QStringLiteral("tblDiagnosticsTerminals"));
    m_terminals->setColumnWidths({80, 80, 80, 66, 100, 88, 94, 60, 76, 96, 90, 96});
    m_terminals->setColumnsFitWidth(true);
    m_terminals->setRowHeights(kRowHeight);
    m_terminals->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Ten terminals and the heading, whole.
    m_terminals->setFixedHeight((kTerminalCount + 1) * kRowHeight + 2 * m_terminals->frameWidth() +
                                m_terminals->horizontalScrollBar()->sizeHint().height());

    m_services = new QLabel(this);
    m_services->setObjectName(QStringLiteral("lblDiagnosticsServices"));
    m_services->setWordWrap(true);
    m_services->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_channels, 1);
    layout->addWidget(m_terminals);
    layout->addWidget(m_services);

    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &DiagnosticsPage::refresh);
    refresh();
}

void DiagnosticsPage::refresh()
{
    m_grids.refresh(m_station.state());
    m_services->setText(m_grids.servicesText());
}

void DiagnosticsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    m_refreshTimer.start();
}

void DiagnosticsPage::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_refreshTimer.stop();
}
