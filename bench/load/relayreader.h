#pragma once

#include "framesplitter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QTcpSocket;

// The live client that reads everything: cuts the stream into relay frames and
// notes when each answer's frame arrived, by the sequence number the line
// feeder put into it.
class RelayReader : public QObject {
    Q_OBJECT
public:
    RelayReader(const QElapsedTimer& clock, QObject* parent = nullptr);

    bool connectTo(quint16 port);
    qint64 frames() const { return m_frames; }
    qint64 badFrames() const { return m_badFrames; }
    // Sequence number -> arrival (ms of the clock); a repeat is counted, not stored.
    const QHash<quint32, qint64>& arrivedAt() const { return m_arrivedAt; }
    qint64 repeats() const { return m_repeats; }

private:
    void onReadyRead();

    const QElapsedTimer& m_clock;
    QTcpSocket* m_socket = nullptr;
    FrameSplitter m_splitter;
    qint64 m_frames = 0;
    qint64 m_badFrames = 0;
    qint64 m_repeats = 0;
    QHash<quint32, qint64> m_arrivedAt;
};
