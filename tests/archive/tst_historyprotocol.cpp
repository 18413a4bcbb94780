// The history requests without the network: strict numeric fields, the
// acknowledgement that never removes from an empty list, a select whose stamps
// are no dates, and a selection that walks the archive again as it shrinks.
#include "archive/archivereader.h"
#include "archive/historyprotocol.h"
#include "archivefile.h"
#include "model/stationstate.h"
#include "settingsfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

struct ProtocolRig {
    SettingsFixture settings;
    QTemporaryDir archive;
    StationState state;
    ArchiveReader reader{settings.store()};
    HistoryProtocol protocol{state, settings.store(), reader};

    ProtocolRig()
    {
        settings.setRoot(QStringLiteral("HistoryFolder"), archive.path());
        settings.setRoot(QStringLiteral("LastMeasure"), QStringLiteral("23092015101010"));
        state.currentConnectionsForUpdate.setRows(2);
    }

    QString addFile(int day, int month, int year, int channel, qint64 size)
    {
        return writeArchiveFile(archive.path(), day, month, year, channel, QByteArray(size, 'x'));
    }

    // The replies to each request in turn, and the bytes of every file handed
    // out, joined.
    QByteArray serve(const QList<QByteArray>& requests)
    {
        QByteArray replies;
        for (const QByteArray& request : requests) {
            HistoryProtocol::Answer answer = protocol.ServeRequest(request, 1, false);
            replies += answer.replies;
            if (answer.file)
                replies += answer.file->read(answer.fileSize);
        }
        return replies;
    }
};

const QByteArray kSelectSeptember = ":0100122092015000000"
                                    "23092015235959";
const QByteArray kSelectNothing = ":0100101012016000000"
                                  "02012016000000";
// Bytes the heap holds for the program (the sanitizer's allocator when it runs).
qint64 heapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}

const QByteArray kRefused = ":0299\n\r";
const QByteArray kNothingLeft = ":0200\n\r";

} // namespace

class TestHistoryProtocol : public QObject {
    Q_OBJECT

private slots:
    // Archive: 22.09.2015 channels 7 (10 bytes) and 12 (20 bytes), 23.09.2015 channel 1 (30).
    void requests_data()
    {
        QTest::addColumn<QList<QByteArray>>("requests");
        QTest::addColumn<QByteArray>("replies");

        const QByteArray newest = ":02 123092015000000030";
        const QByteArray second = ":021222092015000000020";
        QTest::newRow("signed index after a select that found nothing")
            << QList<QByteArray>{kSelectNothing, ":02001-0001"}
            << ":0100000\n\r" + kRefused + kNothingLeft;
        QTest::newRow("signed index, spaces around, after the list was emptied")
            << QList<QByteArray>{":0100123092015000000"
                                 "23092015235959",
                                 ":0200100000", ":0200100000", ":02001 -1  ", ":02001-1"}
            << ":0100001\n\r" + kNothingLeft + kNothingLeft + kRefused + kNothingLeft + kRefused +
                   kNothingLeft;
        QTest::newRow("a plus sign is no number and removes nothing")
            << QList<QByteArray>{kSelectSeptember, ":02001+0002"}
            << ":0100003\n\r" + kRefused + newest;
        QTest::newRow("an index cut short is no number")
            << QList<QByteArray>{kSelectSeptember, ":02001000"}
            << ":0100003\n\r" + kRefused + newest;
        QTest::newRow("an index with a zero byte inside is cut short")
            << QList<QByteArray>{kSelectSeptember, QByteArray(":0200100\0"
                                                              "02",
                                                              11)}
            << ":0100003\n\r" + kRefused + newest;
        QTest::newRow("the matching index removes the newest")
            << QList<QByteArray>{kSelectSeptember, ":0200100003", ":0200100002"}
            << ":0100003\n\r" + newest + second;
        QTest::newRow("IDs that are no three digits get no reply")
            << QList<QByteArray>{":01-0122092015000000"
                                 "23092015235959",
                                 ":01 0122092015000000"
                                 "23092015235959",
                                 ":02+0100003", ":0201", ":03x01"}
            << QByteArray();
        QTest::newRow("stamps that are no dates: empty lists, no reply")
            << QList<QByteArray>{kSelectSeptember,
                                 ":010012209201500000x"
                                 "23092015235959",
                                 ":0200199999"}
            << ":0100003\n\r" + kNothingLeft;
        QTest::newRow("a stamp with a sign or cut short is no date")
            << QList<QByteArray>{kSelectSeptember,
                                 ":01001+2092015000000"
                                 "23092015235959",
                                 ":0200199999",
                                 kSelectSeptember,
                                 ":0100122092015000000"
                                 "2309201523",
                                 ":0200199999"}
            << ":0100003\n\r" + kNothingLeft + ":0100003\n\r" + kNothingLeft;
        QTest::newRow("equal stamps answer before the ID is read")
            << QList<QByteArray>{":01x0122092015000000"
                                 "22092015000000",
                                 ":01-0123092015101010"
                                 "00000000000000"}
            << QByteArray(":0100000\n\r:0100000\n\r");
        QTest::newRow("equal stamps keep the earlier selection")
            << QList<QByteArray>{kSelectSeptember,
                                 ":01001xx" + QByteArray(12, 'x') + "xx" + QByteArray(12, 'x'),
                                 ":0200199999"}
            << ":0100003\n\r:0100000\n\r" + newest;
    }
    void requests()
    {
        QFETCH(QList<QByteArray>, requests);
        QFETCH(QByteArray, replies);
        ProtocolRig rig;
        rig.addFile(22, 9, 2015, 7, 10);
        rig.addFile(22, 9, 2015, 12, 20);
        rig.addFile(23, 9, 2015, 1, 30);
        QCOMPARE(rig.serve(requests), replies);
    }

    // A selection hands out what its select found, from the folder of that
    // moment, whatever happens to the archive meanwhile; the next select sees it.
    // After a select of 20..22.09 and a first describe, the archive changes; then
    // fetch, acknowledge 2, fetch, acknowledge 1, fetch, acknowledge 0, select again.
    void selectionIsFixedAtTheSelect_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArrayList>("replies");

        // Every file is 10 bytes: "old" or "new", DDMM, '/', two-digit channel.
        const QByteArrayList all{"old2209/01", ":02 121092015000000010",
                                 "old2109/01", ":02 120092015000000010",
                                 "old2009/01", kNothingLeft};
        QTest::newRow("a file appears on an older day")
            << QStringLiteral("add 21.09 channel 5") << all + QByteArrayList{":0100004\n\r"};
        QTest::newRow("the archive folder changes")
            << QStringLiteral("folder with other files") << all + QByteArrayList{":0100002\n\r"};
        QTest::newRow("the archive folder changes to an empty one")
            << QStringLiteral("empty folder") << all + QByteArrayList{":0100000\n\r"};
        // The removed file's describe and fetch get nothing; its acknowledgement
        // still removes it.
        QTest::newRow("a selected file is removed")
            << QStringLiteral("remove 21.09 channel 1")
            << QByteArrayList{
                   "old2209/01",  "", "", ":02 120092015000000010", "old2009/01", kNothingLeft,
                   ":0100002\n\r"};
    }
    void selectionIsFixedAtTheSelect()
    {
        QFETCH(QString, change);
        QFETCH(QByteArrayList, replies);
        ProtocolRig rig;
        QTemporaryDir other;
        const auto add = [](const QString& root, const char* tag, int day, int channel) {
            const QByteArray bytes = tag + QByteArray::number(day) + "09/" +
                                     QByteArray::number(channel).rightJustified(2, '0');
            return writeArchiveFile(root, day, 9, 2015, channel, bytes);
        };
        QStringList selected;
        for (int day = 20; day <= 22; ++day)
            selected += add(rig.archive.path(), "old", day, 1);
        const QByteArray select = ":0100120092015000000"
                                  "22092015235959";
        QCOMPARE(rig.serve({select, ":0200100003"}),
                 QByteArray(":0100003\n\r:02 122092015000000010"));

        if (change == u"add 21.09 channel 5") {
            add(rig.archive.path(), "old", 21, 5);
        } else if (change == u"remove 21.09 channel 1") {
            QVERIFY(QFile::remove(selected[1]));
        } else {
            if (change == u"folder with other files") {
                add(other.path(), "new", 22, 1);
                add(other.path(), "new", 21, 3);
            }
            rig.settings.setRoot(QStringLiteral("HistoryFolder"), other.path());
        }
        QByteArrayList got;
        for (const QByteArray& request : QByteArrayList{
                 ":03001", ":0200100002", ":03001", ":0200100001", ":03001", ":0200100000", select})
            got += rig.serve({request});
        QCOMPARE(got, replies);
    }

    // The list is walked again from the archive as it shrinks; what the writer
    // adds after the select waits for the next select.
    void filesAddedAfterTheSelectWait()
    {
        ProtocolRig rig;
        rig.addFile(30, 12, 2014, 30, 1);
        rig.addFile(2, 1, 2015, 4, 2);
        rig.addFile(2, 1, 2015, 9, 3);
        QCOMPARE(rig.serve({":0100101012014000000"
                            "31122015000000"}),
                 QByteArray(":0100003\n\r"));
        rig.addFile(2, 1, 2015, 6, 4);  // the newest day grows below the newest file
        rig.addFile(2, 1, 2015, 10, 5); // and above it
        rig.addFile(3, 1, 2015, 1, 6);  // a later day
        QCOMPARE(rig.serve({":0200199999", ":0200100002", ":0200100001", ":0200100000"}),
                 QByteArray(":02 902012015000000003"
                            ":02 402012015000000002"
                            ":023030122014000000001") +
                     kNothingLeft);
        QCOMPARE(rig.serve({":0100101012014000000"
                            "31122015000000"}),
                 QByteArray(":0100006\n\r"));
    }

    // Every ID selecting a period holds no list of its files: 1000 lists of 300
    // paths would take about 100 MB.
    void selectionsHoldNoFileLists()
    {
        ProtocolRig rig;
        for (int day = 1; day <= 10; ++day)
            for (int channel = 1; channel <= 30; ++channel)
                rig.addFile(day, 3, 2016, channel, 0);
        const qint64 before = heapBytes();
        for (int id = 0; id < HistoryProtocol::kIdCount; ++id) {
            const QByteArray select = ":01" + QByteArray::number(id).rightJustified(3, '0') +
                                      "01012016000000"
                                      "31122016235959";
            QCOMPARE(rig.protocol.ServeRequest(select, 1, false).replies, ":0100300\n\r");
        }
        const qint64 grown = heapBytes() - before;
        qInfo("1000 selections of 300 files hold %lld bytes", grown);
        QVERIFY2(grown < 20 * 1024 * 1024, qPrintable(QString::number(grown)));
        QCOMPARE(rig.serve({":0299999999"}), ":023010032016000000000");
    }

    // A whole session's fetch hands the described file out with its announced size.
    void fetchHandsOutTheDescribedFile()
    {
        ProtocolRig rig;
        const QString path = rig.addFile(22, 9, 2015, 7, 10);
        QCOMPARE(rig.serve({kSelectSeptember, ":0200100001"}),
                 QByteArray(":0100001\n\r:02 722092015000000010"));
        HistoryProtocol::Answer answer = rig.protocol.ServeRequest(":03001", 1, false);
        QVERIFY(answer.file);
        QCOMPARE(answer.file->fileName(), path);
        QCOMPARE(answer.fileSize, 10);
        QVERIFY(!rig.protocol.ServeRequest(":03001", 1, true).file); // one file at a time
    }
};

QTEST_GUILESS_MAIN(TestHistoryProtocol)
#include "tst_historyprotocol.moc"
