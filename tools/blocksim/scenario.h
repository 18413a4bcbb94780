#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The simulated field: lines, the blocks on each line and the channels of each
// block, with the answer kind and the faults of every channel. Read from a
// scenario file or built in; the blocksim and its --write-config both work
// from it.
class Scenario {
public:
    enum class Kind {
        Standard69,
        Standard63,
        Compact58,
        Compact64,
        Status12,
        Status6,
        CompactStatus
    };
    enum class Fault { Silent, BadLrc, Lowercase, Split, Noise };

    struct FaultRate {
        Fault fault = Fault::Silent;
        int percent = 100;
    };
    struct Channel {
        int number = 0;
        Kind kind = Kind::Standard69;
        int status = 0; // status byte of the status kinds
        QString name;
        int timeoutSeconds = 0; // 0: chosen by the block's mode
        QList<FaultRate> faults;
    };
    struct Block {
        int address = 1;
        int activeSeconds = 0; // > 0: sends on its own every so many seconds
        bool badClock = false; // the clock bytes fail the station's bounds
        QList<Channel> channels;
        int silentFromSeconds = -1; // >= 0: answers nothing from so long after the start
        // Valid: the clock stands at this wall time. UTC only so that no zone
        // moves a time its clocks skipped.
        QDateTime setClock{};
    };
    struct Vanish {
        int startSeconds = 0;
        int durationSeconds = 0;
        int periodSeconds = 0; // 0: once
    };
    struct Line {
        int number = 1; // terminal 1..10
        QString device; // empty: a pseudo-terminal of our own
        std::optional<Vanish> vanish;
        QList<Block> blocks;
    };

    QList<Line> lines;

    // Four lines and 30 channels covering both modes, every answer kind and every fault.
    static Scenario builtIn();
    // Nullopt and a message naming the line for a text that is no scenario.
    static std::optional<Scenario> parse(const QString& text, QString* error);
    // Only the first count lines of the built-in field (--lines N).
    void keepLines(int count);

    int channelCount() const;
    static QString kindName(Kind kind);
};
