// SCADA hosts' own Modbus clients, mbpoll and pymodbus, against the real
// station polling the simulated field: a block's registers carry the values of
// the archive line of the same answer, in both word orders; quality turns stale
// when the block falls silent while its values stay; writes and reads outside
// the map are refused with their exceptions.
#include "fieldrun.h"
#include "programrun.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <cmath>

namespace {

// Row 1 answers until its block falls silent; row 2 answers its status for good.
const QByteArray kField = "line 1\nblock 1 silent=8\n"
                          "channel 0 std69 name=Tank_A timeout=1\n"
                          "line 2\nblock 2\n"
                          "channel 0 status:0x02 name=NoSensor timeout=1\n";

const QString kPython = QStringLiteral("/usr/bin/python3");

QString clientScript()
{
    return QStringLiteral(KX7R_SOURCE_DIR "/tests/e2e/modbusclient.py");
}

// One line of output per request, as modbusclient.py prints them.
QStringList pymodbus(quint16 port, const QString& order, const QStringList& requests)
{
    const ProgramRun run = runProgram(
        kPython, QStringList{clientScript(), QString::number(port), order} + requests, 30000);
    if (run.code != 0)
        qWarning("pymodbus: %s", run.err.constData());
    return QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
}

QList<double> numbersOf(const QString& line)
{
    QList<double> values;
    for (const QString& word : line.split(u' ', Qt::SkipEmptyParts))
        values.append(word.toDouble());
    return values;
}

// values: written after the host, as mbpoll takes them.
ProgramRun mbpoll(quint16 port, const QStringList& arguments, const QStringList& values = {})
{
    return runProgram(QStringLiteral("mbpoll"),
                      QStringList{QStringLiteral("-m"), QStringLiteral("tcp"), QStringLiteral("-p"),
                                  QString::number(port), QStringLiteral("-a"), QStringLiteral("1"),
                                  QStringLiteral("-0"), QStringLiteral("-1"), QStringLiteral("-o"),
                                  QStringLiteral("3")} +
                          arguments + QStringList{QStringLiteral("127.0.0.1")} + values,
                      30000);
}

// mbpoll's "[ADDRESS]: \tVALUE" lines: the values in address order.
QList<double> mbpollValues(const QByteArray& out)
{
    QList<double> values;
    const QRegularExpression re(QStringLiteral("^\\[\\d+\\]:\\s+(\\S+)"));
    for (const QString& line : QString::fromUtf8(out).split(u'\n')) {
        const auto m = re.match(line.trimmed());
        if (m.hasMatch())
            values.append(m.captured(1).toDouble());
    }
    return values;
}

// The last measurement of a row in the archive, from its text alone: the date
// from the day folder, the time and the 27 values from the line.
struct ArchivedMeasurement {
    QList<int> dateTime; // year, month, day, hour, minute, second
    QList<double> values;
};

std::optional<ArchivedMeasurement> lastArchived(const QString& root, int row)
{
    const QString name = QStringLiteral("Измерения по каналу %1.mes").arg(row);
    const QStringList months = {
        QStringLiteral("Январь"),  QStringLiteral("Февраль"), QStringLiteral("Март"),
        QStringLiteral("Апрель"),  QStringLiteral("Май"),     QStringLiteral("Июнь"),
        QStringLiteral("Июль"),    QStringLiteral("Август"),  QStringLiteral("Сентябрь"),
        QStringLiteral("Октябрь"), QStringLiteral("Ноябрь"),  QStringLiteral("Декабрь")};
    const auto files = FieldRun::archiveFiles(root);
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QStringList path = it.key().split(u'/');
        if (path.size() != 4 || path[3] != name)
            continue;
        QList<QByteArray> lines = it.value().split('\n');
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        if (lines.size() < 2) // the header only
            return std::nullopt;
        const QStringList columns = fromCp1251(lines.last().trimmed()).split(u'\t');
        if (columns.size() < 29)
            return std::nullopt;
        ArchivedMeasurement m;
        const QStringList time = columns[1].split(u':');
        m.dateTime = {path[0].toInt(),       int(months.indexOf(path[1])) + 1,
                      path[2].toInt(),       time.value(0).toInt(),
                      time.value(1).toInt(), time.value(2).toInt()};
        for (int c = 2; c < 29; ++c)
            m.values.append(QString(columns[c]).replace(u',', u'.').toDouble());
        return m;
    }
    return std::nullopt;
}

} // namespace

class TestModbusClients : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty())
            QFAIL("mbpoll is needed: ./run deps installs it");
        if (runProgram(kPython, {QStringLiteral("-c"), QStringLiteral("import pymodbus")}).code !=
            0)
            QFAIL("python3-pymodbus is needed: ./run deps installs it");
    }

    void hostsReadTheArchivedAnswer_data()
    {
        QTest::addColumn<QString>("order");
        QTest::newRow("ABCD") << QStringLiteral("ABCD");
        QTest::newRow("CDAB") << QStringLiteral("CDAB");
    }
    void hostsReadTheArchivedAnswer()
    {
        QFETCH(QString, order);
        FieldRun run;
        QVERIFY(run.startSimulator(kField));
        const quint16 port = freePort();
        QVERIFY2(run.startStation({QStringLiteral("--modbus-port"), QString::number(port),
                                   QStringLiteral("--modbus-word-order"), order}),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("Modbus TCP server listening on"), 5000);

        // Fresh while the block answers, stale once it has been silent for three timeouts.
        auto quality = [&] { return pymodbus(port, order, {QStringLiteral("input:1:1")}); };
        QTRY_COMPARE_WITH_TIMEOUT(quality(), QStringList{QStringLiteral("1")}, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!run.simRows(QStringLiteral("block 1 silenced")).isEmpty(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(quality(), QStringList{QStringLiteral("2")}, 8000);

        const auto archived = lastArchived(run.archivePath(), 1);
        QVERIFY(archived);
        const QStringList read =
            pymodbus(port, order,
                     {QStringLiteral("input:0:11"), QStringLiteral("holding:0:11"),
                      QStringLiteral("floats:input:11:27"), QStringLiteral("floats:holding:11:27"),
                      QStringLiteral("input:100:11"), QStringLiteral("floats:input:111:27"),
                      QStringLiteral("input:3010:3")});
        QCOMPARE(read.size(), 7);
        for (int table = 0; table < 2; ++table) {
            const QList<double> head = numbersOf(read[table]);
            QCOMPARE(head.size(), 11);
            QCOMPARE(head[1], 2.0);  // stale
            QVERIFY(head[2] >= 3.0); // seconds since the last answer
            QCOMPARE(head.mid(3, 6),
                     (QList<double>{archived->dateTime.begin(), archived->dateTime.end()}));
            QCOMPARE(head[9], 1.0);  // terminal 1
            QCOMPARE(head[10], 0.0); // no status answer
            const QList<double> values = numbersOf(read[2 + table]);
            QCOMPARE(values.size(), 27);
            for (int i = 0; i < 27; ++i)
                QVERIFY2(float(values[i]) == float(archived->values[i]),
                         qPrintable(QStringLiteral("column %1: %2 read, %3 archived")
                                        .arg(i + 3)
                                        .arg(values[i])
                                        .arg(archived->values[i])));
        }
        // Row 2 answers status 2 and has never measured.
        const QList<double> status = numbersOf(read[4]);
        QCOMPARE(status.size(), 11);
        QCOMPARE(status[0], 2.0);
        QCOMPARE(status[1], 1.0); // fresh
        QCOMPARE(status.mid(9, 2), (QList<double>{2.0, 2.0}));
        const QList<double> none = numbersOf(read[5]);
        QCOMPARE(none.size(), 27);
        QVERIFY(std::all_of(none.begin(), none.end(), [](double v) { return std::isnan(v); }));
        // Fresh, stale and not answering channels of the station.
        QCOMPARE(numbersOf(read[6]), (QList<double>{1.0, 1.0, 0.0}));

        // mbpoll decodes the same floats in the same word order.
        QStringList floats = {QStringLiteral("-t"), QStringLiteral("3:float"),
                              QStringLiteral("-r"), QStringLiteral("11"),
                              QStringLiteral("-c"), QStringLiteral("27")};
        if (order == u"ABCD")
            floats.append(QStringLiteral("-B"));
        const ProgramRun polled = mbpoll(port, floats);
        QVERIFY2(polled.code == 0, polled.err.constData());
        const QList<double> values = mbpollValues(polled.out);
        QCOMPARE(values.size(), 27);
        // mbpoll prints six significant digits.
        for (int i = 0; i < 27; ++i)
            QVERIFY2(std::abs(values[i] - archived->values[i]) <=
                         5e-6 * std::abs(archived->values[i]) + 1e-9,
                     qPrintable(QStringLiteral("column %1: %2 read, %3 archived")
                                    .arg(i + 3)
                                    .arg(values[i])
                                    .arg(archived->values[i])));
        const ProgramRun head =
            mbpoll(port, {QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"),
                          QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("1")});
        QCOMPARE(mbpollValues(head.out), QList<double>{2.0});
        QVERIFY(run.stopStation());
    }

    void writesAndReadsOutsideTheMapAreRefused()
    {
        FieldRun run;
        QVERIFY(run.startSimulator(kField));
        const quint16 port = freePort();
        QVERIFY2(run.startStation({QStringLiteral("--modbus-port"), QString::number(port)}),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("Modbus TCP server listening on"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(
            pymodbus(port, QStringLiteral("ABCD"), {QStringLiteral("input:1:1")}),
            QStringList{QStringLiteral("1")}, 10000);

        const QStringList replies =
            pymodbus(port, QStringLiteral("ABCD"),
                     {QStringLiteral("write:100:7"), QStringLiteral("input:3014:2"),
                      QStringLiteral("holding:2990:125"), QStringLiteral("holding:100:1")});
        QCOMPARE(replies, (QStringList{QStringLiteral("exception 1"), QStringLiteral("exception 2"),
                                       QStringLiteral("exception 2"), QStringLiteral("2")}));

        const ProgramRun write = mbpoll(port,
                                        {QStringLiteral("-t"), QStringLiteral("4"),
                                         QStringLiteral("-r"), QStringLiteral("100")},
                                        {QStringLiteral("7")});
        const QByteArray written = write.out + write.err;
        QVERIFY(write.code != 0);
        QVERIFY2(written.contains("Illegal function"), written.constData());
        const ProgramRun outside =
            mbpoll(port, {QStringLiteral("-t"), QStringLiteral("3"), QStringLiteral("-r"),
                          QStringLiteral("3014"), QStringLiteral("-c"), QStringLiteral("2")});
        const QByteArray refused = outside.out + outside.err;
        QVERIFY(outside.code != 0);
        QVERIFY2(refused.contains("Illegal data address"), refused.constData());
        // Nothing a Modbus client sent reached the field: only the station's requests.
        const QRegularExpression request(QStringLiteral(" rx :0[12]3400[0-9A-F]{2} # request"));
        for (const QString& row : run.simRows(QStringLiteral(" rx ")))
            QVERIFY2(request.match(row).hasMatch(), qPrintable(row));
        QVERIFY(run.stopStation());
    }
};

QTEST_GUILESS_MAIN(TestModbusClients)
#include "tst_modbusclients.moc"
