// The station program on settings an administrator wrote: --check-config's
// verdict and exit status (the history port and the Modbus server among them), a settings file it
// cannot use ending it before it opens anything, and its log's priorities when standard error is
// the journal.
#include "freeport.h"
#include "programrun.h"
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kStation = QStringLiteral(KX7R_BIN_DIR "/kx7r-station");

ProgramRun run(const QStringList& arguments)
{
    return runProgram(kStation, arguments, 30000);
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return file.fileName();
}

} // namespace

class TestCheckConfig : public QObject {
    Q_OBJECT

private slots:
    void theShippedExampleHasNoError()
    {
        const ProgramRun check =
            run({u"--check-config"_s, u"--config"_s,
                 QStringLiteral(KX7R_SOURCE_DIR "/packaging/kx7r-station.ini")});
        QVERIFY2(check.code == 0, QByteArray(check.out + check.err).constData());
        QVERIFY2(check.out.contains("\nLive service:    *:5000, forwarded requests on\n"),
                 check.out);
        QVERIFY2(check.out.endsWith("0 error(s), 0 warning(s)\n"), check.out);
    }

    void refusedValuesAreListedAndFail()
    {
        QTemporaryDir dir;
        const QString file = writeFile(
            dir, u"bad.ini"_s,
            "[KX7R_QUERRY]\nTCP_IP_Port=5000\nHistoryFolder=/srv/a\nListenAddress=127.0.0.1\n"
            "[KX7R_QUERRY/MEASURING_CHANNELS/CHANNEL07]\nTerminal=Терминал11\n");
        const ProgramRun check = run({u"--check-config"_s, u"--config"_s, file});
        QCOMPARE(check.code, 1);
        QVERIFY2(check.out.contains("error: KX7R_QUERRY\\MEASURING_CHANNELS\\CHANNEL07\\Terminal: "
                                    "\"Терминал11\" names no terminal"),
                 check.out);
        QVERIFY2(check.out.contains("Live service:    127.0.0.1:5000,"), check.out);
        // --listen-address is checked as the station would take it.
        const ProgramRun overridden =
            run({u"--check-config"_s, u"--config"_s, file, u"--listen-address"_s, u"::1"_s});
        QVERIFY2(overridden.out.contains("Live service:    [::1]:5000,"), overridden.out);
    }

    void historyPortAndModbusAreChecked_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArrayList>("said");
        QTest::newRow("defaults") << QByteArray() << QStringList() << 0
                                  << QByteArrayList{"History service: *:5001\n",
                                                    "Modbus TCP:      off\n"};
        QTest::newRow("stored port") << QByteArray("HistoryPort=6001\n") << QStringList() << 0
                                     << QByteArrayList{"History service: *:6001\n"};
        QTest::newRow("the option wins")
            << QByteArray("HistoryPort=6001\n") << QStringList{u"--history-port"_s, u"6002"_s} << 0
            << QByteArrayList{"History service: *:6002\n"};
        QTest::newRow("no port")
            << QByteArray("HistoryPort=65536\n") << QStringList() << 1
            << QByteArrayList{"error: KX7R_QUERRY\\HistoryPort: \"65536\" is not a port 1..65535: "
                              "the history service would use 5001",
                              "History service: *:5001\n"};
        QTest::newRow("Modbus on")
            << QByteArray("[KX7R_QUERRY/MODBUS]\nPort=1502\nWordOrder=CDAB\n") << QStringList() << 0
            << QByteArrayList{"Modbus TCP:      127.0.0.1:1502, unit 1, word order CDAB\n"};
        QTest::newRow("Modbus word order")
            << QByteArray("[KX7R_QUERRY/MODBUS]\nPort=1502\nWordOrder=BADC\n") << QStringList() << 1
            << QByteArrayList{"error: KX7R_QUERRY\\MODBUS\\: Порядок слов 'BADC' недопустим",
                              "Modbus TCP:      off\n"};
    }
    void historyPortAndModbusAreChecked()
    {
        QFETCH(QByteArray, values);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(QByteArrayList, said);
        QTemporaryDir dir;
        const QString file =
            writeFile(dir, u"station.ini"_s,
                      "[KX7R_QUERRY]\nTCP_IP_Port=5000\nHistoryFolder=/srv/a\n" + values);
        const ProgramRun check =
            run(QStringList{u"--check-config"_s, u"--config"_s, file} + options);
        QCOMPARE(check.code, code);
        for (const QByteArray& text : said)
            QVERIFY2(check.out.contains(text), check.out);
    }

    void theStationListensOnTheStoredHistoryPort()
    {
        QTemporaryDir dir;
        const quint16 port = freePort();
        const QString file = writeFile(
            dir, u"station.ini"_s,
            u"[KX7R_QUERRY]\nTCP_IP_Port=0\nHistoryPort=%1\nHistoryListenAddress=127.0.0.1\n"_s
                .arg(port)
                .toUtf8());
        QProcess station;
        station.start(kStation, {u"--headless"_s, u"--config"_s, file});
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log += station.readAllStandardError()).contains("history service listening"), 10000);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        const bool connected = client.waitForConnected(3000);
        station.terminate();
        QVERIFY(station.waitForFinished(5000));
        QVERIFY2(log.contains(u"history service listening on 127.0.0.1:%1"_s.arg(port).toUtf8()),
                 log);
        QVERIFY(connected);
    }

    void settingsThatCannotBeUsedEndTheStation_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("not INI") << QStringList{u"--headless"_s, u"--config"_s, u"@junk"_s} << 2
                                 << QByteArray("line 2 is neither [group], name=value nor");
        QTest::newRow("a folder, not a file") << QStringList{u"--headless"_s, u"--config"_s, u"@"_s}
                                              << 2 << QByteArray("cannot be read");
        QTest::newRow("no such folder")
            << QStringList{u"--headless"_s, u"--config"_s, u"@none/station.ini"_s} << 2
            << QByteArray("does not exist, nor does its folder");
        QTest::newRow("check of a missing file")
            << QStringList{u"--check-config"_s, u"--config"_s, u"@station.ini"_s} << 2
            << QByteArray("does not exist");
        QTest::newRow("seed not INI")
            << QStringList{u"--headless"_s, u"--config"_s, u"@state.ini"_s, u"--config-seed"_s,
                           u"@junk"_s}
            << 2 << QByteArray("line 2 is neither");
        QTest::newRow("bad --listen-address")
            << QStringList{u"--headless"_s, u"--listen-address"_s, u"eth0"_s} << 2
            << QByteArray("--listen-address: \"eth0\" is not an IP address");
    }
    void settingsThatCannotBeUsedEndTheStation()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        writeFile(dir, u"junk"_s, "[KX7R_QUERRY]\nTCP_IP_Port 5000\n");
        for (QString& argument : arguments)
            if (argument.startsWith(u'@'))
                argument = dir.filePath(argument.mid(1));
        const ProgramRun station = run(arguments);
        QCOMPARE(station.code, code);
        QVERIFY2(station.err.contains(message), station.err);
        QVERIFY2(!station.err.contains("listening"), station.err);
        QVERIFY(!QFile::exists(dir.filePath(u"state.ini"_s)));
    }

    void warningsReachTheJournalAsWarnings()
    {
        QTemporaryDir dir;
        const QString file = writeFile(
            dir, u"station.ini"_s,
            u"[KX7R_QUERRY]\nTCP_IP_Port=%1\nForwardRequests=maybe\n"_s.arg(freePort()).toUtf8());
        // JOURNAL_STREAM names standard error itself, as systemd sets it.
        QProcess station;
        station.start(u"sh"_s, {u"-c"_s,
                                u"JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2) "
                                u"exec \"$0\" \"$@\""_s,
                                kStation, u"--headless"_s, u"--config"_s, file, u"--history-port"_s,
                                QString::number(freePort())});
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log += station.readAllStandardError()).contains("history service listening"), 10000);
        station.terminate();
        QVERIFY(station.waitForFinished(5000));
        log += station.readAllStandardError();
        QVERIFY2(log.contains("\n<4>kx7r.shell: stored value KX7R_QUERRY\\ForwardRequests is "
                              "neither 0 nor 1"),
                 log);
        QVERIFY2(log.contains("\n<6>kx7r.shell: history service listening on *:"), log);
        // Every line has its priority, none the time: the journal keeps its own.
        for (const QByteArray& line : log.trimmed().split('\n'))
            QVERIFY2(line.size() > 3 && line[0] == '<' && line[2] == '>' && !line.contains(".zzz"),
                     line);

        // Without the journal the lines stay as they were.
        const ProgramRun plain =
            run({u"--headless"_s, u"--config"_s, dir.filePath(u"none/x.ini"_s)});
        QVERIFY2(!plain.err.startsWith('<'), plain.err);
    }
};

QTEST_GUILESS_MAIN(TestCheckConfig)
#include "tst_checkconfig.moc"
