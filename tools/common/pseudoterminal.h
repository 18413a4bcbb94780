#pragma once

#include <QByteArray>
#include <QString>

// A raw pseudo-terminal pair: the station opens the slave device by its path;
// the owner reads and writes the master side. The owner also keeps a slave
// descriptor open, so the master sees no hang-up between the station's re-opens.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // The kept slave descriptor: what waits on it is what the station has not read yet.
    int slaveFd() const { return m_slave; }

    bool write(const QByteArray& bytes);
    // What the master has to read now, waiting at most timeoutMs for the first byte.
    QByteArray read(int timeoutMs = 0);
    // Reads until at least count bytes came or timeoutMs passed.
    QByteArray readAtLeast(int count, int timeoutMs);

    // The device disappears (adapter pulled): the master and the kept slave close.
    void close();
    // Hangs up the line for every open of the slave (TIOCVHANGUP-like).
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
