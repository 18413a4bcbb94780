#include "archivefile.h"
#include "archivelines.h"

#include "model/codepage1251.h"
#include "trends/archivecolumns.h"
#include "trends/csvexport.h"
#include "trends/seriesreader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {
const int kS1 = ArchiveColumns::indexOf(QStringLiteral("Уровень S1, мм"));
const int kT1 = ArchiveColumns::indexOf(QStringLiteral("T1"));
const int kName = 0;

// 2024-06-15 10:00:00 in Moscow (+03:00, no clock changes) is 07:00:00 UTC.
constexpr qint64 kTenAm = 1718434800000;

QByteArray name()
{
    return toCp1251(QStringLiteral("Р-р 1, нефть"));
}

// Row 1: June 15th with four measurements, a line of garbage and a torn last
// line; June 16th missing; June 17th one measurement.
void writeArchive(const QString& root)
{
    writeArchiveFile(root, 15, 6, 2024, 1,
                     archiveHeader() +
                         archiveLine(name(), "10:00:00", {{kS1, "1000,5"}, {kT1, "15,2"}}) +
                         archiveLine(name(), "10:00:15", {{kS1, "1001"}}) +
                         archiveLine(name(), "10:00:30", {{kS1, "1002"}}) + "garbage\t\r\n" +
                         archiveLine(name(), "10:01:00", {{kS1, "999.25"}, {kT1, "14,8"}}) +
                         archiveLine(name(), "10:01:30", {{kS1, "1003"}}).chopped(2));
    writeArchiveFile(root, 17, 6, 2024, 1,
                     archiveHeader() + archiveLine(name(), "00:00:05", {{kS1, "0,0"}}));
    // Another row's file on the same day is never read.
    writeArchiveFile(root, 15, 6, 2024, 2, archiveLine(name(), "10:00:00", {{kS1, "5"}}));
}

QDateTime moscow(const QDate& day, const QTime& time)
{
    return QDateTime(day, time);
}
} // namespace

// The archive read back as trends and CSV, against files made by hand and
// values worked out by hand (Moscow time, so every offset is +03:00).
class TestTrendRead : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        writeArchive(m_dir.path());
    }

    void trendKeepsLowestAndHighestPerColumn()
    {
        TrendRequest request;
        request.root = m_dir.path();
        request.channel = 1;
        request.from = moscow(QDate(2024, 6, 15), QTime(10, 0, 0));
        request.to = moscow(QDate(2024, 6, 15), QTime(10, 1, 59));
        request.columns = {kS1, kT1};
        request.buckets = 2; // 10:00:00..10:00:59 and 10:01:00..10:01:59
        const TrendData data = SeriesReader::read(request);

        QCOMPARE(data.series.size(), 2);
        // 1001 at 10:00:15 is neither the lowest nor the highest of its minute.
        const QList<QPointF> level{{double(kTenAm), 1000.5},
                                   {double(kTenAm + 30000), 1002},
                                   {double(kTenAm + 60000), 999.25}};
        QCOMPARE(data.series[0], level);
        // Empty fields ("-") are no points.
        const QList<QPointF> temperature{{double(kTenAm), 15.2}, {double(kTenAm + 60000), 14.8}};
        QCOMPARE(data.series[1], temperature);
        QCOMPARE(data.summary.lines, 4);
        QCOMPARE(data.summary.unreadableLines, 2); // the garbage and the torn last line
    }

    void trendOverMissingDay()
    {
        TrendRequest request;
        request.root = m_dir.path();
        request.channel = 1;
        request.from = QDate(2024, 6, 15).startOfDay();
        request.to = QDate(2024, 6, 17).endOfDay();
        request.columns = {kS1};
        request.buckets = 1000;
        const TrendData data = SeriesReader::read(request);

        QCOMPARE(data.summary.days, 3);
        QCOMPARE(data.summary.filesRead, 2);
        QCOMPARE(data.summary.missingDays, 1);
        QCOMPARE(data.summary.lines, 5);
        // June 17th 00:00:05 +03:00 is June 16th 21:00:05 UTC: two days and 14 h 5 s after ten.
        const qint64 seventeenth = kTenAm + (2 * 86400 - 10 * 3600 + 5) * 1000LL;
        QCOMPARE(data.series[0].constLast(), QPointF(double(seventeenth), 0));
        QCOMPARE(data.series[0].size(), 5);
    }

    void trendStopsWhenCancelled()
    {
        TrendRequest request;
        request.root = m_dir.path();
        request.channel = 1;
        request.from = QDate(2024, 6, 15).startOfDay();
        request.to = QDate(2024, 6, 17).endOfDay();
        request.columns = {kS1};
        const TrendData data = SeriesReader::read(request, [](int done, int) { return done < 1; });
        QVERIFY(data.summary.cancelled);
        QCOMPARE(data.summary.filesRead, 1);
    }

    void csvBytes_data()
    {
        QTest::addColumn<QList<int>>("columns");
        QTest::addColumn<bool>("bom");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray rows = QStringLiteral( //
                                    "2024-06-15T10:00:00+03:00,\"Р-р 1, нефть\",1000.5,15.2\r\n"
                                    "2024-06-15T10:00:15+03:00,\"Р-р 1, нефть\",1001,\r\n"
                                    "2024-06-15T10:00:30+03:00,\"Р-р 1, нефть\",1002,\r\n"
                                    "2024-06-15T10:01:00+03:00,\"Р-р 1, нефть\",999.25,14.8\r\n"
                                    "2024-06-17T00:00:05+03:00,\"Р-р 1, нефть\",0.0,\r\n")
                                    .toUtf8();
        const QByteArray header = QStringLiteral("Время,Имя,\"Уровень S1, мм\",T1\r\n").toUtf8();
        QTest::newRow("name level temperature")
            << QList<int>{kName, kS1, kT1} << false << header + rows;
        QTest::newRow("with byte-order mark")
            << QList<int>{kName, kS1, kT1} << true << "\xEF\xBB\xBF" + header + rows;
    }

    void csvBytes()
    {
        QFETCH(QList<int>, columns);
        QFETCH(bool, bom);
        QFETCH(QByteArray, expected);
        CsvRequest request;
        request.root = m_dir.path();
        request.channel = 1;
        request.first = QDate(2024, 6, 15);
        request.last = QDate(2024, 6, 17);
        request.columns = columns;
        request.byteOrderMark = bom;
        QBuffer out;
        QVERIFY(out.open(QIODevice::WriteOnly));
        const CsvResult result = CsvExport::write(out, request);
        QCOMPARE(result.error, QString());
        QCOMPARE(out.data(), expected);
        QCOMPARE(result.summary.unreadableLines, 2);
        QCOMPARE(result.summary.missingDays, 1);
    }

    void csvHeaderOfEveryColumn()
    {
        // The 28 titles in archive order; those with a comma quoted.
        const QByteArray expected =
            QStringLiteral("Время,Имя,Адрес датчика,\"Уровень S1, мм\",\"Уровень S2, мм\","
                           "\"Уровень S3, мм\",\"V жидк, %\",\"V жидк, м3\",\"Общая масса, т\","
                           "\"Масса жидк, т\",\"Масса пара, т\",\"Пл. жидк, кг/м3\","
                           "\"Пл. пара, кг/м3\",E жидк,E пара,T1,T2,T3,T4,T5,T6,ТД,период 1,"
                           "период 2,период 3,\"СS1, пФ\",\"СS2, пФ\",\"СS3, пФ\",АЦП\r\n")
                .toUtf8();
        QCOMPARE(CsvExport::headerLine(ArchiveColumns::allButTime()), expected);
    }

private:
    QTemporaryDir m_dir;
};

int main(int argc, char* argv[])
{
    // Local times with a known offset, the same on every machine.
    qputenv("TZ", "Europe/Moscow");
    tzset();
    QCoreApplication app(argc, argv);
    TestTrendRead test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trendread.moc"
