// The history requests as they arrive on one connection, against a small
// archive. Input: requests one after another, each a length byte and that many
// bytes; a request may be empty, hold zero bytes or be cut short.
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
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// 31.12.2014 channel 30, 01.01.2015 channels 1 and 2, 22.09.2015 channels 7
// and 12, 23.09.2015 channel 1; LastMeasure 23.09.2015 10:10:10.
struct Archive {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("station.ini"))};
    ArchiveReader reader{store};

    Archive()
    {
        qInstallMessageHandler(quiet);
        const QString root = dir.filePath(QStringLiteral("archive"));
        store.writeSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder"), root);
        store.writeSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure"),
                           QStringLiteral("23092015101010"));
        const int files[][4] = {{31, 12, 2014, 30}, {1, 1, 2015, 1},   {1, 1, 2015, 2},
                                {22, 9, 2015, 7},   {22, 9, 2015, 12}, {23, 9, 2015, 1}};
        for (const auto& f : files) {
            const QString folder = root + u'/' + QString::number(f[2]) + u'/' + monthName(f[1]) +
                                   u'/' + QString::number(f[0]);
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/Измерения по каналу ") + QString::number(f[3]) +
                       QStringLiteral(".mes"));
            if (!file.open(QIODevice::WriteOnly))
                std::abort();
            file.write(QByteArray(f[3] * 10, 'x'));
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startFuzzApplication(false);
    static Archive archive;

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
