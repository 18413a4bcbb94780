// The real station polling the simulated field: requests on the lines in
// order, answers archived, relayed and mirrored, silent blocks timed out and a
// vanished line recovered.
#include "fieldrun.h"

#include "serial/hexframe.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTest>

namespace {

QString requestText(int address, int channel)
{
    return QString::fromLatin1(HexFrame::requestFrame(quint8(address), quint8(channel)).chopped(2));
}

QList<QByteArray> dataLines(const QByteArray& file)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end = file.indexOf("\r\n"); end >= 0; end = file.indexOf("\r\n", start)) {
        lines.append(file.mid(start, end + 2 - start));
        start = end + 2;
    }
    if (!lines.isEmpty())
        lines.removeFirst(); // the header
    return lines;
}

} // namespace

class TestPolling : public QObject {
    Q_OBJECT

private slots:
    void requestsGoOutInPollListOrder()
    {
        FieldRun run;
        QVERIFY(run.startSimulator("line 1\nblock 1\n"
                                   "channel 0 std69 timeout=2\n"
                                   "channel 1 std63 timeout=2\n"
                                   "channel 2 status:0x02 timeout=2\n"));
        QVERIFY2(run.startStation(), run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.frames(1, "rx").size() >= 4, 20000);
        const QStringList expected = {requestText(1, 0), requestText(1, 1), requestText(1, 2),
                                      requestText(1, 0)};
        QCOMPARE(run.frames(1, "rx").mid(0, 4), expected);
        QVERIFY(run.stopStation());
    }

    void answersAreArchivedRelayedAndMirrored()
    {
        FieldRun run;
        QVERIFY(run.startSimulator("line 1\nblock 1\n"
                                   "channel 0 std69 name=Tank_A timeout=2\n"
                                   "channel 1 status:0x02 name=NoSensor timeout=2\n"
                                   "line 2\nblock 7 active=2\n"
                                   "channel 3 std69 name=Active timeout=6\n"
                                   "channel 4 compact64 name=Compact timeout=6\n"));
        QVERIFY2(run.startStation(), run.stationLog().constData());

        QProcess live;
        live.start(FieldRun::binary(QStringLiteral("kx7r-live")),
                   {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                    QString::number(run.livePort())});
        QVERIFY(live.waitForStarted());
        QMap<int, QJsonObject> relayed; // by row
        QByteArray liveOut;
        auto collect = [&] {
            liveOut += live.readAllStandardOutput();
            for (const QByteArray& line : liveOut.split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                if (!o.isEmpty())
                    relayed.insert(o.value(QStringLiteral("row")).toInt(), o);
            }
            return relayed.size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(collect() >= 4, 20000);
        QCOMPARE(relayed.value(1).value(QStringLiteral("kind")).toString(),
                 QStringLiteral("measurement"));
        QCOMPARE(relayed.value(1).value(QStringLiteral("name")).toString(),
                 QStringLiteral("Tank A"));
        QCOMPARE(relayed.value(1).value(QStringLiteral("values")).toObject().size(), 29);
        QCOMPARE(relayed.value(2).value(QStringLiteral("kind")).toString(),
                 QStringLiteral("status"));
        QCOMPARE(relayed.value(2).value(QStringLiteral("status")).toInt(), 2);
        QVERIFY(relayed.value(2)
                    .value(QStringLiteral("statusText"))
                    .toString()
                    .startsWith(QStringLiteral("Нет сигнала от датчика (адрес ")));
        const QJsonObject values = relayed.value(1).value(QStringLiteral("values")).toObject();
        QCOMPARE(values.value(QStringLiteral("Имя")).toString(), QStringLiteral("Tank A"));
        QVERIFY(values.value(QStringLiteral("Время")).isString());
        QVERIFY(values.value(QStringLiteral("Уровень S1, мм")).isDouble());
        QVERIFY(values.value(QStringLiteral("АЦП")).isDouble());
        QCOMPARE(relayed.value(4).value(QStringLiteral("kind")).toString(),
                 QStringLiteral("measurement"));
        live.terminate();
        live.waitForFinished(3000);

        // Every archived line is exactly the line of one answer the block sent.
        QTRY_VERIFY_WITH_TIMEOUT(
            dataLines(FieldRun::archiveFileOfRow(run.archivePath(), 1)).size() >= 2, 10000);
        run.stopSimulator();
        QTest::qWait(1500); // what was on the lines reaches the archive
        QList<QByteArray> expectedRow1;
        for (const QString& frame : run.frames(1, "tx"))
            expectedRow1.append(FieldRun::archiveLineOf(frame, 0, QStringLiteral("Tank A")));
        QList<QByteArray> expectedRow3;
        for (const QString& frame : run.frames(2, "tx"))
            expectedRow3.append(FieldRun::archiveLineOf(frame, 2, QStringLiteral("Active")));
        for (const auto& [row, expected] :
             {std::pair{1, expectedRow1}, std::pair{3, expectedRow3}}) {
            const QByteArray file = FieldRun::archiveFileOfRow(run.archivePath(), row);
            QVERIFY2(file.startsWith(FieldRun::archiveHeader()), file.left(200).constData());
            const auto lines = dataLines(file);
            QVERIFY(!lines.isEmpty());
            for (const QByteArray& line : lines)
                QVERIFY2(expected.contains(line), line.constData());
        }
        QVERIFY(FieldRun::archiveFileOfRow(run.archivePath(), 2).isEmpty()); // status only
        QVERIFY(FieldRun::archiveFileOfRow(run.archivePath(), 4).isEmpty()); // compact only

        // The history client ends with the very same files.
        const QString mirror = run.path(QStringLiteral("mirror"));
        QByteArray err;
        const int code = FieldRun::runClient(
            QStringLiteral("kx7r-history"),
            {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
             QString::number(run.historyPort()), QStringLiteral("--out"), mirror},
            nullptr, &err);
        QVERIFY2(code == 0, err.constData());
        const auto archived = FieldRun::archiveFiles(run.archivePath());
        QCOMPARE(archived.size(), 2);
        QCOMPARE(FieldRun::archiveFiles(mirror), archived);
        QVERIFY(run.stopStation());
    }

    void aSilentBlockTimesOutAndPollingGoesOn()
    {
        FieldRun run;
        QVERIFY(run.startSimulator("line 1\nblock 1\n"
                                   "channel 0 std69 fault=silent timeout=1\n"
                                   "channel 1 std69 name=Talks timeout=1\n"));
        QVERIFY2(run.startStation(), run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.frames(1, "rx").size() >= 3, 20000);
        QCOMPARE(run.frames(1, "rx").mid(0, 3),
                 QStringList({requestText(1, 0), requestText(1, 1), requestText(1, 0)}));
        QTRY_VERIFY_WITH_TIMEOUT(
            !dataLines(FieldRun::archiveFileOfRow(run.archivePath(), 2)).isEmpty(), 10000);
        QVERIFY(FieldRun::archiveFileOfRow(run.archivePath(), 1).isEmpty());
        QVERIFY(run.stopStation());
    }

    void aVanishedLineIsReportedAndRecovered()
    {
        FieldRun run;
        QVERIFY(run.startSimulator("line 1 vanish=4:5\nblock 1\n"
                                   "channel 0 std69 name=Comes_back timeout=1\n"));
        QVERIFY2(run.startStation(), run.stationLog().constData());
        const qsizetype stationBefore = run.stationLog().size();
        QTRY_VERIFY_WITH_TIMEOUT(!run.simRows(QStringLiteral("line 1 vanished")).isEmpty(), 8000);
        const int linesBefore =
            int(dataLines(FieldRun::archiveFileOfRow(run.archivePath(), 1)).size());
        QTRY_VERIFY_WITH_TIMEOUT(run.simRows(QStringLiteral("line 1 ready")).size() == 2, 10000);
        const QString report = QString::fromUtf8(run.stationLog().mid(stationBefore));
        QVERIFY2(report.contains(QStringLiteral("terminal 1")), qPrintable(report));

        const qsizetype simBack = run.simLog().lastIndexOf("line 1 ready");
        QTRY_VERIFY_WITH_TIMEOUT(!run.frames(1, "rx", simBack).isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            dataLines(FieldRun::archiveFileOfRow(run.archivePath(), 1)).size() > linesBefore,
            10000);
        QVERIFY(run.stopStation());
    }
};

QTEST_GUILESS_MAIN(TestPolling)
#include "tst_polling.moc"
