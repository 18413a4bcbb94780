#pragma once

#include <QChartView>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// The trend of the measurements page: one line per chosen archive column over
// a time axis, one value axis per unit (the first on the left, the next on the
// right, and so on). The wheel zooms the time around the pointer, a drag
// with the left button zooms into what it spans, the right button zooms out,
// a drag with the middle button (or Shift and the left) pans, a double click
// shows everything again. The time and the values under the pointer are told
// by pointerTextChanged.
class TrendChartView : public QChartView {
    Q_OBJECT
public:
    explicit TrendChartView(QWidget* parent = nullptr);

    // series: per column, x ms since the epoch in time order.
    void showTrend(const QList<int>& columns, const QList<QList<QPointF>>& series,
                   const QDateTime& from, const QDateTime& to);
    // One live measurement: the values of the shown columns, NaN for none.
    void appendPoint(qint64 x, const QList<double>& values);
    void clearTrend();

    const QList<int>& columns() const { return m_columns; }
    qint64 pointCount() const;
    qint64 livePoints() const { return m_livePoints; }
    QDateTimeAxis* timeAxis() const { return m_timeAxis; }
    QList<QValueAxis*> valueAxes() const { return m_valueAxes; }
    QList<QLineSeries*> lines() const { return m_lines; }
    // The text for a position in the view's coordinates; empty outside the plot.
    QString pointerText(const QPointF& position) const;
    // The chart's plot width in pixels: as many columns as a trend needs.
    int plotColumns() const;

signals:
    void pointerTextChanged(const QString& text);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void fitValueAxis(QValueAxis* axis);
    void chooseTimeFormat();

    QList<int> m_columns;
    QList<QLineSeries*> m_lines;
    QList<QValueAxis*> m_valueAxes;
    QList<int> m_axisOfLine; // index into m_valueAxes
    QDateTimeAxis* m_timeAxis = nullptr;
    qint64 m_livePoints = 0;
    bool m_panning = false;
    QPointF m_panFrom;
};
