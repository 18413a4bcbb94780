#include "answers/answerrecord.h"
#include "answers/measurementrecord.h"
#include "archive/archivewriter.h"
#include "archive/measurementstore.h"
#include "fileevents.h"
#include "model/archivecounters.h"
#include "model/codepage1251.h"
#include "settingsfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

MeasurementRecord record(int row, unsigned day, unsigned month, unsigned year)
{
    MeasurementRecord m;
    m.row = row;
    m.day = day;
    m.month = month;
    m.year = year;
    for (size_t i = 0; i < m.columns.size(); ++i)
        m.columns[i] = QString::number(i);
    m.columns[0] = QStringLiteral("Бак ");
    m.columns[5] = QString(); // written as "-"
    return m;
}

// The line of record() with column 3 replaced, written out by hand.
QByteArray lineWith(const QByteArray& third)
{
    return "\xC1\xE0\xEA \t1\t" + third +
           "\t3\t4\t-\t6\t7\t8\t9\t10\t11\t12\t13\t14\t15\t16\t17\t18\t19\t20\t21\t22\t23"
           "\t24\t25\t26\t27\t28\t\r\n";
}

QByteArray headerFixture()
{
    QFile fixture(QStringLiteral(KX7R_SOURCE_DIR "/tests/archive/archive_header.hex"));
    return fixture.open(QIODevice::ReadOnly) ? QByteArray::fromHex(fixture.readAll())
                                             : QByteArray();
}

// A measurement as the decoder hands it on.
MeasurementRecord measured(const AnswerRecord& r)
{
    return MeasurementRecord::fromAnswer(r, QLocale::system().decimalPoint());
}

MeasurementRecord answerAt(int k, int day, int hour, int minute, int second)
{
    AnswerRecord r;
    r[4] = quint8(k);
    r[62] = quint8(second), r[63] = quint8(minute), r[64] = quint8(hour);
    r[65] = quint8(day), r[66] = 9, r[67] = 15;
    return measured(r);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestArchiveWriter : public QObject {
    Q_OBJECT
private slots:
    void headerLineBytes()
    {
        const QString expected = QStringLiteral(
            "Имя\tВремя\tАдрес датчика\tУровень S1, мм\tУровень S2, мм\tУровень S3, мм\tV жидк, "
            "%\tV жидк, м3\tОбщая масса, т\tМасса жидк, т\tМасса пара, т\tПл. жидк, кг/м3\tПл. "
            "пара, кг/м3\tE жидк\tE пара\tT1\tT2\tT3\tT4\tT5\tT6\tТД\tпериод 1\tпериод 2\tпериод "
            "3\tСS1, пФ\tСS2, пФ\tСS3, пФ\tАЦП\t\r\n");
        QCOMPARE(ArchiveWriter::headerLine(), toCp1251(expected));
        QCOMPARE(ArchiveWriter::headerLine().left(4), QByteArray("\xC8\xEC\xFF\t"));

        // The bytes as written out independently, mixed Latin and Cyrillic letters included.
        QFile fixture(QStringLiteral(KX7R_SOURCE_DIR "/tests/archive/archive_header.hex"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        QCOMPARE(ArchiveWriter::headerLine(), QByteArray::fromHex(fixture.readAll()));
    }

    void firstAndSecondMeasurementOfADay()
    {
        SettingsFixture settings;
        const QString root = settings.dirPath() + u"/A";
        settings.setRoot(QStringLiteral("HistoryFolder"), root);
        ArchiveWriter writer(settings.store());
        ArchiveCounters counters;
        writer.setCounters(&counters);
        writer.AppendToArchive(record(0, 1, 3, 2016));
        const QString path = root + u"/2016/Март/1/Измерения по каналу 1.mes";
        const QByteArray line = ArchiveWriter::dataLine(record(0, 1, 3, 2016));
        QCOMPARE(
            line,
            QByteArray("\xC1\xE0\xEA \t1\t2\t3\t4\t-\t6\t7\t8\t9\t10\t11\t12\t13\t14\t15\t16\t17"
                       "\t18\t19\t20\t21\t22\t23\t24\t25\t26\t27\t28\t\r\n"));
        QCOMPARE(readFile(path), ArchiveWriter::headerLine() + line);
        writer.AppendToArchive(record(0, 1, 3, 2016));
        QCOMPARE(readFile(path), ArchiveWriter::headerLine() + line + line);
        QCOMPARE(counters.linesWritten, quint64(2));
        QCOMPARE(counters.writeFailures + counters.folderFailures, quint64(0));
    }

    void yearChangeAndTrailingSeparator()
    {
        SettingsFixture settings;
        const QString root = settings.dirPath() + u"/B/";
        settings.setRoot(QStringLiteral("HistoryFolder"), root);
        ArchiveWriter writer(settings.store());
        writer.AppendToArchive(record(29, 31, 12, 2015));
        writer.AppendToArchive(record(29, 1, 1, 2016));
        QVERIFY(
            QFile::exists(settings.dirPath() + u"/B/2015/Декабрь/31/Измерения по каналу 30.mes"));
        QVERIFY(QFile::exists(settings.dirPath() + u"/B/2016/Январь/1/Измерения по каналу 30.mes"));
    }

    void emptyExistingFileGetsNoHeader()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        const QString folder = settings.dirPath() + u"/2024/Июнь/15";
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + u"/Измерения по каналу 3.mes";
        QFile empty(path);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        ArchiveWriter writer(settings.store());
        writer.AppendToArchive(record(2, 15, 6, 2024));
        QCOMPARE(readFile(path), ArchiveWriter::dataLine(record(2, 15, 6, 2024)));
    }

    // A line that cannot reach its file is reported, not dropped silently.
    void fileThatCannotBeOpenedIsLogged()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        QVERIFY(QDir().mkpath(settings.dirPath() + u"/2016/Март/1/Измерения по каналу 1.mes"));
        ArchiveWriter writer(settings.store());
        ArchiveCounters counters;
        writer.setCounters(&counters);
        QSignalSpy failed(&writer, &ArchiveWriter::folderCreationFailed);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral(
                                 "^cannot open .*/1/Измерения по каналу 1\\.mes : .+")));
        writer.AppendToArchive(record(0, 1, 3, 2016));
        QCOMPARE(failed.size(), 0);
        QCOMPARE(counters.writeFailures, quint64(1));
        QCOMPARE(counters.linesWritten, quint64(0));
    }

    void monthWithoutAFolderIsNotArchived()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        ArchiveWriter writer(settings.store());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("has no month")));
        writer.AppendToArchive(record(0, 1, 13, 2016));
        QVERIFY(!QFileInfo::exists(settings.dirPath() + u"/2016"));
    }

    void rootThatCannotBeCreated()
    {
        SettingsFixture settings;
        QFile blocker(settings.dirPath() + u"/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        settings.setRoot(QStringLiteral("HistoryFolder"), blocker.fileName());
        ArchiveWriter writer(settings.store());
        ArchiveCounters counters;
        writer.setCounters(&counters);
        QSignalSpy failed(&writer, &ArchiveWriter::folderCreationFailed);
        writer.AppendToArchive(record(0, 1, 3, 2016));
        writer.AppendToArchive(record(0, 1, 3, 2016));
        QCOMPARE(failed.size(), 2);
        QCOMPARE(counters.folderFailures, quint64(2));
        QCOMPARE(counters.linesWritten, quint64(0));
    }

    // LastMeasure advances before the archive step, even when that step fails.
    void storeWritesLastMeasureThenTheLine()
    {
        SettingsFixture settings;
        QFile blocker(settings.dirPath() + u"/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        settings.setRoot(QStringLiteral("HistoryFolder"), blocker.fileName());
        ArchiveWriter writer(settings.store());
        MeasurementStore store(settings.store(), writer);
        AnswerRecord r;
        r[62] = 3, r[63] = 5, r[64] = 7, r[65] = 22, r[66] = 9, r[67] = 15;
        store.StoreMeasurement(measured(r));
        QCOMPARE(
            settings.store().readSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure")),
            QStringLiteral("22092015070503"));

        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        r[4] = 6;
        store.StoreMeasurement(measured(r));
        const QByteArray file =
            readFile(settings.dirPath() + u"/2015/Сентябрь/22/Измерения по каналу 7.mes");
        QVERIFY(file.startsWith(ArchiveWriter::headerLine()));
        QVERIFY(file.mid(ArchiveWriter::headerLine().size()).startsWith("-\t07:05:03\t0\t"));
    }

    // One receive tick: each file opened and closed once, its lines in arrival
    // order, a header only in the file the tick creates.
    void oneTickOpensEachFileOnce()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        const QString folder = settings.dirPath() + u"/2016/Март/1";
        const QString first = QStringLiteral("Измерения по каналу 1.mes");
        const QString second = QStringLiteral("Измерения по каналу 2.mes");
        ArchiveWriter writer(settings.store());
        writer.AppendToArchive(record(0, 1, 3, 2016));
        FileEvents events(folder);
        QVERIFY(events.isValid());

        QList<MeasurementRecord> tick;
        for (int row : {0, 1, 0, 0, 1}) {
            MeasurementRecord m = record(row, 1, 3, 2016);
            m.columns[2] = QStringLiteral("t%1").arg(tick.size());
            tick.append(m);
        }
        MeasurementRecord nextDay = record(0, 2, 3, 2016);
        nextDay.columns[2] = QStringLiteral("next day");
        tick.insert(2, nextDay);
        writer.AppendToArchive(tick);
        events.collect();

        const QByteArray header = headerFixture();
        QCOMPARE(readFile(folder + u'/' + first),
                 header + lineWith("2") + lineWith("t0") + lineWith("t2") + lineWith("t3"));
        QCOMPARE(readFile(folder + u'/' + second), header + lineWith("t1") + lineWith("t4"));
        QCOMPARE(readFile(settings.dirPath() + u"/2016/Март/2/" + first),
                 header + lineWith("next day"));
        for (const QString& name : {first, second}) {
            QCOMPARE(events.opened(name), 1);
            QCOMPARE(events.closedAfterWrite(name), 1);
        }
    }

    // A tick's measurements reach the store at its end: LastMeasure written once,
    // with the stamp of the tick's last measurement (not its latest), then the lines.
    void storeHoldsATicksMeasurementsUntilItEnds()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        settings.setRoot(QStringLiteral("LastMeasure"), QStringLiteral("01012015000000"));
        ArchiveWriter writer(settings.store());
        MeasurementStore store(settings.store(), writer);
        FileEvents settingsFile(settings.dirPath());
        QVERIFY(settingsFile.isValid());
        const QString ini = QFileInfo(settings.path()).fileName();
        auto rewrites = [&] {
            settingsFile.collect();
            return settingsFile.movedIn(ini) + settingsFile.closedAfterWrite(ini);
        };
        // What one write of one value does to the file, however the store does it.
        settings.setRoot(QStringLiteral("Probe"), QStringLiteral("1"));
        const int oneWrite = rewrites();
        QVERIFY(oneWrite > 0);
        auto lastMeasure = [&] {
            return settings.store().readSetting(SettingsStore::rootKey(),
                                                QStringLiteral("LastMeasure"));
        };

        store.beginTick();
        store.StoreMeasurement(answerAt(6, 22, 7, 5, 3));
        store.StoreMeasurement(answerAt(6, 22, 8, 0, 0));
        store.StoreMeasurement(answerAt(7, 22, 7, 30, 0));
        QCOMPARE(lastMeasure(), QStringLiteral("01012015000000"));
        QVERIFY(!QFileInfo::exists(settings.dirPath() + u"/2015"));
        QCOMPARE(rewrites(), oneWrite);
        store.endTick();

        QCOMPARE(lastMeasure(), QStringLiteral("22092015073000"));
        QCOMPARE(rewrites(), 2 * oneWrite);
        const QString folder = settings.dirPath() + u"/2015/Сентябрь/22/";
        const QList<QByteArray> row7 = readFile(folder + u"Измерения по каналу 7.mes").split('\n');
        QCOMPARE(row7.size(), 4); // header, two lines, nothing after the last LF
        QVERIFY(row7[1].startsWith("-\t07:05:03\t"));
        QVERIFY(row7[2].startsWith("-\t08:00:00\t"));
        const QList<QByteArray> row8 = readFile(folder + u"Измерения по каналу 8.mes").split('\n');
        QCOMPARE(row8.size(), 3);
        QVERIFY(row8[1].startsWith("-\t07:30:00\t"));

        // Outside a tick every measurement is stored at once, as before.
        store.StoreMeasurement(answerAt(7, 23, 1, 2, 3));
        QCOMPARE(lastMeasure(), QStringLiteral("23092015010203"));
    }

    // A tick that takes more than the store holds is stored in parts, in order.
    void anOverlongTickIsStoredInParts()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), settings.dirPath());
        ArchiveWriter writer(settings.store());
        MeasurementStore store(settings.store(), writer);
        const QString file = settings.dirPath() + u"/2015/Сентябрь/22/Измерения по каналу 1.mes";
        store.beginTick();
        for (int i = 0; i < 2048; ++i)
            store.StoreMeasurement(answerAt(0, 22, i / 3600, i / 60 % 60, i % 60));
        // The 2048th measurement, at 00:34:07, filled the store.
        QCOMPARE(
            settings.store().readSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure")),
            QStringLiteral("22092015003407"));
        QCOMPARE(readFile(file).count('\n'), 1 + 2048);
        store.StoreMeasurement(answerAt(0, 22, 1, 0, 0));
        QCOMPARE(readFile(file).count('\n'), 1 + 2048);
        store.endTick();
        const QList<QByteArray> lines = readFile(file).split('\n');
        QCOMPARE(lines.size(), 1 + 2049 + 1);
        QVERIFY(lines[2048].contains("\t00:34:07\t"));
        QVERIFY(lines[2049].contains("\t01:00:00\t"));
    }
};

QTEST_GUILESS_MAIN(TestArchiveWriter)
#include "tst_archivewriter.moc"
