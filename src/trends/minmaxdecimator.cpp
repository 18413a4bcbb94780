#include "minmaxdecimator.h"

#include <algorithm>

MinMaxDecimator::MinMaxDecimator(qint64 from, qint64 to, int buckets)
    : m_from(from), m_span(std::max<qint64>(to - from + 1, 1)),
      m_buckets(size_t(std::clamp(buckets, 1, kMaxBuckets)))
{
}

void MinMaxDecimator::add(qint64 x, double y)
{
    if (x < m_from || x - m_from >= m_span || y != y)
        return;
    // x - from < span <= ~2^42 ms for centuries, times buckets stays far below 2^63.
    Bucket& b = m_buckets[size_t((x - m_from) * qint64(m_buckets.size()) / m_span)];
    ++m_added;
    if (!b.used) {
        b = Bucket{x, x, y, y, true};
        return;
    }
    if (y < b.minY) {
        b.minY = y;
        b.minX = x;
    }
    if (y > b.maxY) {
        b.maxY = y;
        b.maxX = x;
    }
}

QList<QPointF> MinMaxDecimator::points() const
{
    QList<QPointF> out;
    for (const Bucket& b : m_buckets) {
        if (!b.used)
            continue;
        const QPointF low(double(b.minX), b.minY);
        const QPointF high(double(b.maxX), b.maxY);
        if (b.minX == b.maxX && b.minY == b.maxY) {
            out.append(low);
        } else if (b.minX <= b.maxX) {
            out.append(low);
            out.append(high);
        } else {
            out.append(high);
            out.append(low);
        }
    }
    return out;
}
