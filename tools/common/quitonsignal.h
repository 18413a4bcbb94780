#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM end the tool's event loop through a self-pipe, so every
// tool stops in order (links removed, files closed) on Ctrl-C.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

signals:
    void signalled(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};
