#pragma once

#include "historyselection.h"

#include <QByteArray>
#include <QStringList>
#include <array>
#include <memory>

class ArchiveReader;
class QFile;
class SettingsStore;
struct StationState;

// The history service's requests without the network: one request's bytes in,
// the replies and the file to stream out. Holds every client ID's selection,
// which outlives the connections.
class HistoryProtocol {
public:
    static constexpr int kIdCount = 1000; // three-digit IDs 000..999

    struct Answer {
        QByteArray replies;
        std::unique_ptr<QFile> file; // to be sent after the replies, ...
        qint64 fileSize = 0;         // ... this many bytes of it
        QStringList badInput;        // what the request did wrong, for the connection's log
    };

    HistoryProtocol(StationState& state, const SettingsStore& settings,
                    const ArchiveReader& reader);
    ~HistoryProtocol();

    // One request as read from the connection shown in grid row row; sending
    // tells that a file is still being sent on that connection.
    Answer ServeRequest(QByteArray request, int row, bool sending);

    const HistorySelection& selection(int id) const { return m_selections[size_t(id)]; }

private:
    QByteArray identify(const QByteArray& request, int row);
    QByteArray select(const QByteArray& request);
    QByteArray describe(const QByteArray& request);
    Answer fetch(const QByteArray& request, bool sending);
    QByteArray lastMeasure() const;
    HistorySelection* selectionOf(const QByteArray& request);

    StationState& m_state;
    const SettingsStore& m_settings;
    const ArchiveReader& m_reader;
    std::array<HistorySelection, kIdCount> m_selections;
    QStringList m_badInput; // the current request's faults
};
