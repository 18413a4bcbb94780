#include "trendchartview.h"

#include "trends/archivecolumns.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {
constexpr double kZoomInFactor = 0.8;
constexpr double kZoomOutFactor = 1.25;
constexpr qint64 kMinSpanMs = 10'000;

QString valueText(double value)
{
    return QString::number(value, 'g', 10);
}
} // namespace

TrendChartView::TrendChartView(QWidget* parent) : QChartView(new QChart, parent)
{
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->setMargins(QMargins(4, 4, 4, 4));
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
}

void TrendChartView::clearTrend()
{
    chart()->removeAllSeries();
    for (QAbstractAxis* axis : chart()->axes()) {
        chart()->removeAxis(axis);
        delete axis;
    }
    m_lines.clear();
    m_valueAxes.clear();
    m_axisOfLine.clear();
    m_columns.clear();
    m_timeAxis = nullptr;
    m_livePoints = 0;
}

void TrendChartView::showTrend(const QList<int>& columns, const QList<QList<QPointF>>& series,
                               const QDateTime& from, const QDateTime& to)
{
    clearTrend();
    m_columns = columns;
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setTickCount(7);
    m_timeAxis->setRange(from, to);
    chart()->addAxis(m_timeAxis, Qt::AlignBottom);
    connect(m_timeAxis, &QDateTimeAxis::rangeChanged, this, &TrendChartView::chooseTimeFormat);
    chooseTimeFormat();

    QStringList units;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const QString unit = ArchiveColumns::unitOf(columns[i]);
        qsizetype axisIndex = units.indexOf(unit);
        if (axisIndex < 0) {
            axisIndex = units.size();
            units.append(unit);
            auto* axis = new QValueAxis;
            axis->setTitleText(unit);
            chart()->addAxis(axis, axisIndex % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
            m_valueAxes.append(axis);
        }
        auto* line = new QLineSeries;
        line->setName(ArchiveColumns::title(columns[i]));
        line->replace(series.value(i));
        chart()->addSeries(line);
        line->attachAxis(m_timeAxis);
        line->attachAxis(m_valueAxes[axisIndex]);
        m_lines.append(line);
        m_axisOfLine.append(int(axisIndex));
    }
    for (QValueAxis* axis : std::as_const(m_valueAxes))
        fitValueAxis(axis);
}

void TrendChartView::fitValueAxis(QValueAxis* axis)
{
    double low = qInf();
    double high = -qInf();
    const qsizetype axisIndex = m_valueAxes.indexOf(axis);
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_axisOfLine[i] != axisIndex)
            continue;
        for (const QPointF& p : m_lines[i]->points()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    }
    if (low > high) {
        axis->setRange(0, 1);
        return;
    }
    const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.05);
    axis->setRange(low - margin, high + margin);
    axis->applyNiceNumbers();
}

void TrendChartView::appendPoint(qint64 x, const QList<double>& values)
{
    if (!m_timeAxis)
        return;
    bool added = false;
    for (qsizetype i = 0; i < m_lines.size() && i < values.size(); ++i) {
        const double y = values[i];
        if (!std::isfinite(y))
            continue;
        m_lines[i]->append(double(x), y);
        added = true;
        QValueAxis* axis = m_valueAxes[m_axisOfLine[i]];
        if (y < axis->min() || y > axis->max())
            fitValueAxis(axis);
    }
    if (!added)
        return;
    ++m_livePoints;
    // The time axis follows the live values unless the operator looks elsewhere.
    const qint64 max = m_timeAxis->max().toMSecsSinceEpoch();
    if (x > max && !chart()->isZoomed())
        m_timeAxis->setMax(QDateTime::fromMSecsSinceEpoch(x));
}

qint64 TrendChartView::pointCount() const
{
    qint64 count = 0;
    for (const QLineSeries* line : m_lines)
        count += line->count();
    return count;
}

int TrendChartView::plotColumns() const
{
    const int width = int(chart()->plotArea().width());
    return width > 50 ? width : std::max(200, this->width() - 120);
}

QString TrendChartView::pointerText(const QPointF& position) const
{
    if (!m_timeAxis || m_lines.isEmpty())
        return {};
    const QPointF inChart = chart()->mapFromScene(mapToScene(position.toPoint()));
    if (!chart()->plotArea().contains(inChart))
        return {};
    const qint64 x = qint64(chart()->mapToValue(inChart, m_lines.constFirst()).x());
    QString text =
        QDateTime::fromMSecsSinceEpoch(x).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    // Each line's value nearest in time to the pointer.
    const double halfSpan =
        double(m_timeAxis->min().msecsTo(m_timeAxis->max())) / chart()->plotArea().width() * 4;
    for (const QLineSeries* line : m_lines) {
        const QList<QPointF> points = line->points();
        const auto after = std::lower_bound(points.cbegin(), points.cend(), double(x),
                                            [](const QPointF& p, double v) { return p.x() < v; });
        const QPointF* nearest = nullptr;
        if (after != points.cend())
            nearest = &*after;
        if (after != points.cbegin()) {
            const QPointF* before = &*(after - 1);
            if (!nearest || double(x) - before->x() < nearest->x() - double(x))
                nearest = before;
        }
        if (nearest && std::abs(nearest->x() - double(x)) <= std::max(halfSpan, 1000.0))
            text += QStringLiteral("   ") + line->name() + QStringLiteral(": ") +
                    valueText(nearest->y());
    }
    return text;
}

void TrendChartView::chooseTimeFormat()
{
    if (!m_timeAxis)
        return;
    const qint64 span = m_timeAxis->min().msecsTo(m_timeAxis->max());
    if (span <= 15 * 60 * 1000)
        m_timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    else if (span <= 2 * 86400 * 1000LL)
        m_timeAxis->setFormat(QStringLiteral("dd.MM hh:mm"));
    else
        m_timeAxis->setFormat(QStringLiteral("dd.MM.yy"));
}

void TrendChartView::wheelEvent(QWheelEvent* event)
{
    if (!m_timeAxis || event->angleDelta().y() == 0)
        return QChartView::wheelEvent(event);
    const QPointF inChart = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    const QRectF plot = chart()->plotArea();
    const double share = std::clamp((inChart.x() - plot.left()) / plot.width(), 0.0, 1.0);
    const double factor = event->angleDelta().y() > 0 ? kZoomInFactor : kZoomOutFactor;
    // Zooms the plot rectangle's width about the pointer: the value there stays put.
    const double width = std::max(plot.width() * factor, 1.0);
    const qint64 span = m_timeAxis->min().msecsTo(m_timeAxis->max());
    if (factor < 1 && double(span) * factor < kMinSpanMs)
        return event->accept();
    const double left = plot.left() + (plot.width() - width) * share;
    chart()->zoomIn(QRectF(left, plot.top(), width, plot.height()));
    event->accept();
}

void TrendChartView::mousePressEvent(QMouseEvent* event)
{
    const bool pan = event->button() == Qt::MiddleButton ||
                     (event->button() == Qt::LeftButton && event->modifiers() & Qt::ShiftModifier);
    if (pan) {
        m_panning = true;
        m_panFrom = event->position();
        return event->accept();
    }
    if (event->button() == Qt::RightButton)
        return event->accept();
    QChartView::mousePressEvent(event);
}

void TrendChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_panning) {
        const QPointF delta = event->position() - m_panFrom;
        m_panFrom = event->position();
        chart()->scroll(-delta.x(), 0);
        return event->accept();
    }
    emit pointerTextChanged(pointerText(event->position()));
    QChartView::mouseMoveEvent(event);
}

void TrendChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panning && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        m_panning = false;
        return event->accept();
    }
    if (event->button() == Qt::RightButton) {
        // Out along the time only: the values keep their scale.
        const QRectF plot = chart()->plotArea();
        chart()->zoomIn(
            QRectF(plot.left() - plot.width() / 2, plot.top(), plot.width() * 2, plot.height()));
        return event->accept();
    }
    QChartView::mouseReleaseEvent(event);
}

void TrendChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    chart()->zoomReset();
    event->accept();
}

void TrendChartView::leaveEvent(QEvent* event)
{
    emit pointerTextChanged({});
    QChartView::leaveEvent(event);
}
