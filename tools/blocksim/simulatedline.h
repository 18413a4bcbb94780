#pragma once

#include "framesplitter.h"
#include "scenario.h"
#include "tankmodel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QSet>
#include <map>
#include <memory>

class PseudoTerminal;
class QSocketNotifier;
class QTimer;

// One simulated terminal: the blocks behind one serial line. It reads the
// station's request frames from its side of the line, answers them for its
// blocks and channels (spoiled by the channel's faults when asked to), lets its
// active blocks send on their own, logs every frame both ways, and can make the
// line vanish and come back. The station sees the line through a stable link
// that follows the pseudo-terminal across a vanishing.
class SimulatedLine : public QObject {
    Q_OBJECT
public:
    SimulatedLine(const Scenario::Line& line, const QString& linkDir, quint32 seed,
                  const QElapsedTimer& started, QObject* parent = nullptr);
    ~SimulatedLine() override;

    bool open(QString* error);
    // What the station opens: the link, or the given device.
    QString stationPath() const;
    const Scenario::Line& config() const { return m_line; }

    void vanish();
    void reappear();
    bool isPresent() const { return m_fd >= 0; }

    // One line of the log on standard output, stamped with the time.
    static void log(const QString& text);

private:
    void onReadable();
    void handleFrame(const QByteArray& digits);
    void sendAnswer(const Scenario::Block& block, const Scenario::Channel& channel);
    void sendActive(const Scenario::Block& block);
    void transmit(QByteArray message, const Scenario::Channel* channel, const QString& what);
    bool writeBytes(const QByteArray& bytes);
    // A block past its silent= time answers nothing; logged once.
    bool silenced(const Scenario::Block& block);
    bool faultHits(const Scenario::Channel& channel, Scenario::Fault fault);
    static QDateTime clockOf(const Scenario::Block& block);
    bool openEndpoint(QString* error);
    void closeEndpoint();
    TankModel& tank(const Scenario::Block& block, const Scenario::Channel& channel);
    void scheduleVanish(int delaySeconds);

    Scenario::Line m_line;
    QString m_linkPath;
    QString m_slavePath;
    const QElapsedTimer& m_started;
    QRandomGenerator m_random;
    quint32 m_seed = 0;
    std::unique_ptr<PseudoTerminal> m_pty;
    int m_fd = -1;
    bool m_ownDevice = false;
    bool m_dropping = false;
    QSocketNotifier* m_notifier = nullptr;
    FrameSplitter m_splitter;
    std::map<int, std::unique_ptr<TankModel>> m_tanks; // by address * 256 + channel
    QList<QTimer*> m_activeTimers;
    QSet<int> m_silencedLogged; // block addresses
};
