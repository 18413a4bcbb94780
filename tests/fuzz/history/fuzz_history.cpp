// The history requests as they arrive on one connection, against a small
// archive. Input: requests one after another, each a length byte and that many
// bytes; a request may be empty, hold zero bytes or be cut short. A request that
// begins with a zero byte is the station's doing instead, between two requests:
// "\0F" applies the other archive folder, "\0+" n and "\0-" n add or remove
// file n of the table below in the folder applied.
#include "../fuzzapplication.h"

#include "archive/archivereader.h"
#include "archive/historyprotocol.h"
#include "archive/monthnames.h"
#include "model/logcategories.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "net/badinputlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Day, month, year, channel. The first six are the archive at the start, the
// first and the last the other folder's.
constexpr int kFiles[][4] = {{31, 12, 2014, 30}, {1, 1, 2015, 1},   {1, 1, 2015, 2},
                             {22, 9, 2015, 7},   {22, 9, 2015, 12}, {23, 9, 2015, 1},
                             {21, 9, 2015, 5},   {23, 9, 2015, 2}};
constexpr int kFileCount = int(std::size(kFiles));

// LastMeasure 23.09.2015 10:10:10.
struct Archive {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("station.ini"))};
    ArchiveReader reader{store};
    const QString roots[2] = {dir.filePath(QStringLiteral("archive")),
                              dir.filePath(QStringLiteral("other"))};
    int applied = 0;
    bool changed = true;

    Archive()
    {
        qInstallMessageHandler(quiet);
        store.writeSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure"),
                           QStringLiteral("23092015101010"));
    }

    // Every input starts from the same two folders.
    void reset()
    {
        if (!changed)
            return;
        changed = false;
        for (const QString& root : roots)
            QDir(root).removeRecursively();
        for (int n = 0; n < 6; ++n)
            add(roots[0], n);
        add(roots[1], 0);
        add(roots[1], kFileCount - 1);
        apply(0);
    }

    void apply(int root)
    {
        applied = root;
        store.writeSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder"), roots[root]);
    }

    static QString path(const QString& root, int n)
    {
        const auto& f = kFiles[n];
        return root + u'/' + QString::number(f[2]) + u'/' + monthName(f[1]) + u'/' +
               QString::number(f[0]) + QStringLiteral("/Измерения по каналу ") +
               QString::number(f[3]) + QStringLiteral(".mes");
    }

    static void add(const QString& root, int n)
    {
        const QString file = path(root, n);
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            std::abort();
        out.write(QByteArray(kFiles[n][3] * 10, 'x'));
    }

    // A request that is the station's doing; false for a client's request.
    bool act(const QByteArray& request)
    {
        if (request.size() < 2 || request[0] != '\0')
            return false;
        changed = true;
        const int n = request.size() > 2 ? quint8(request[2]) % kFileCount : 0;
        if (request[1] == 'F')
            apply(1 - applied);
        else if (request[1] == '+')
            add(roots[applied], n);
        else if (request[1] == '-')
            QFile::remove(path(roots[applied], n));
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startFuzzApplication(false);
    static Archive archive;
    archive.reset();

    StationState state;
    state.currentConnectionsForUpdate.setRows(2);
    HistoryProtocol protocol(state, archive.store, archive.reader);
    BadInputLog log{lcArchive, QStringLiteral("history client fuzz")};
    bool sending = false;
    size_t at = 0;
    while (at < size) {
        const size_t length = qMin<size_t>(data[at], size - at - 1);
        const QByteArray request(reinterpret_cast<const char*>(data + at + 1), qsizetype(length));
        at += 1 + length;
        if (archive.act(request))
            continue;
        HistoryProtocol::Answer answer = protocol.ServeRequest(request, 1, sending);
        for (const QString& what : answer.badInput)
            log.report(what);
        if (answer.file) {
            // The announced bytes are there to be sent.
            if (answer.fileSize < 0 || answer.file->read(answer.fileSize).size() != answer.fileSize)
                std::abort();
        }
        sending = !sending && answer.file != nullptr;
    }
    return 0;
}
