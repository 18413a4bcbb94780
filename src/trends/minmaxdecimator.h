#pragma once

#include <QList>
#include <QPointF>
#include <QtGlobal>
#include <vector>

// Thins a series to what a chart of a given width can show: the time range is
// cut into one bucket per pixel column, and each bucket keeps its lowest and
// its highest point, in time order. However many points go in, at most two per
// bucket come out, so a month costs no more memory than an hour.
class MinMaxDecimator {
public:
    // x in ms since the epoch, [from, to]; points outside are dropped.
    MinMaxDecimator(qint64 from, qint64 to, int buckets);

    void add(qint64 x, double y);
    // Time order; a bucket of one point gives one point.
    QList<QPointF> points() const;
    qint64 added() const { return m_added; }

    static constexpr int kMaxBuckets = 8192;

private:
    struct Bucket {
        qint64 minX = 0;
        qint64 maxX = 0;
        double minY = 0;
        double maxY = 0;
        bool used = false;
    };

    qint64 m_from;
    qint64 m_span; // to - from + 1
    std::vector<Bucket> m_buckets;
    qint64 m_added = 0;
};
