// The simulated field on its own: kx7r-blocksim answers requests over the
// pseudo-terminals it creates, spoils answers on demand, writes a matching
// station configuration and stops cleanly.
#include "fieldrun.h"
#include "framesplitter.h"

#include "model/settingsstore.h"
#include "serial/hexframe.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kField = R"(# every answer kind on one block
line 1
block 9
channel 0 std69 name=Tank_one
channel 1 std63 name=Tank_two timeout=4
channel 2 compact58
channel 3 compact64
channel 4 status:0x13
channel 5 shortstatus:0x05
channel 6 compactstatus:0x02
block 7 clock=2015-03-29T02:30:00
line 2
block 3 active=1
channel 0 std69 name=Active
line 4
block 1
channel 0 std69 fault=silent
channel 1 std69 fault=badlrc
channel 2 std69 fault=lowercase
channel 3 std69 fault=split
channel 4 std69 fault=noise
)";

// The station's side of a simulated line, opened like the station opens it.
class StationSide {
public:
    explicit StationSide(const QString& path)
    {
        m_port.setPortName(path);
        m_ok = m_port.open(QIODevice::ReadWrite);
    }
    bool isOpen() const { return m_ok; }

    // Writes bytes and collects what comes back for waitMs, or until a
    // complete frame when untilFrame is set.
    QByteArray exchange(const QByteArray& bytes, int waitMs, bool untilFrame = true)
    {
        if (!bytes.isEmpty()) {
            m_port.write(bytes);
            m_port.waitForBytesWritten(1000);
        }
        QByteArray in;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < waitMs) {
            if (m_port.waitForReadyRead(20))
                in += m_port.readAll();
            if (untilFrame && in.endsWith("\r\n"))
                break;
        }
        return in;
    }

private:
    QSerialPort m_port;
    bool m_ok = false;
};

QByteArray request(int address, int channel)
{
    return HexFrame::requestFrame(quint8(address), quint8(channel));
}

QByteArray decodedAnswer(const QByteArray& received)
{
    FrameSplitter splitter;
    const auto frames = splitter.feed(received);
    if (frames.size() != 1)
        return {};
    return FrameSplitter::decodeChecked(frames.first()).value_or(QByteArray());
}

} // namespace

class TestBlocksim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_run.isValid());
        QVERIFY2(m_run.startSimulator(kField), m_run.simLog().constData());
    }

    void writesAMatchingStationConfiguration()
    {
        SettingsStore store(m_run.configPath());
        QCOMPARE(store.readSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port")),
                 QString::number(m_run.livePort()));
        QCOMPARE(store.readSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder")),
                 m_run.archivePath());
        for (int n : {1, 2, 4}) {
            const QString com = QStringLiteral("COM%1").arg(n);
            QCOMPARE(store.readSetting(SettingsStore::terminalKey(n), QStringLiteral("COMName")),
                     com);
            const QString device = store.readSetting(SettingsStore::portsKey(), com);
            QVERIFY2(QFileInfo(device).isSymLink(), qPrintable(device));
        }
        QCOMPARE(store.readSetting(SettingsStore::terminalKey(3), QStringLiteral("COMName")),
                 QStringLiteral("Не определен"));

        auto channel = [&](int row, const char* value) {
            return store.readSetting(SettingsStore::channelKey(row), QString::fromLatin1(value));
        };
        QCOMPARE(channel(1, "ChannelName"), QStringLiteral("Tank one"));
        QCOMPARE(channel(1, "Terminal"), QStringLiteral("Терминал1"));
        QCOMPARE(channel(1, "Regime"), QStringLiteral("По запросу"));
        QCOMPARE(channel(1, "AddresBO"), QStringLiteral("9"));
        QCOMPARE(channel(1, "ChannelBONumber"), QStringLiteral("0"));
        QCOMPARE(channel(2, "Timeout"), QStringLiteral("4"));
        QCOMPARE(channel(8, "Terminal"), QStringLiteral("Терминал2"));
        QCOMPARE(channel(8, "Regime"), QStringLiteral("Активный ПДЛ"));
        QCOMPARE(channel(13, "Terminal"), QStringLiteral("Терминал4"));
        QCOMPARE(channel(13, "ChannelBONumber"), QStringLiteral("4"));
        QCOMPARE(channel(14, "Terminal"), QStringLiteral("Не подключен"));
        QCOMPARE(channel(30, "Terminal"), QStringLiteral("Не подключен"));
    }

    void answersEveryKind_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("channelOffset");
        QTest::addColumn<int>("status");
        QTest::newRow("standard measurement with the block's clock") << 0 << 69 << 4 << 0;
        QTest::newRow("standard measurement without clock") << 1 << 63 << 4 << 0;
        QTest::newRow("compact measurement without clock") << 2 << 58 << 2 << 0;
        QTest::newRow("compact measurement with clock") << 3 << 64 << 2 << 0;
        QTest::newRow("status 0x13 with the block's clock") << 4 << 12 << 4 << 0x13;
        QTest::newRow("short status 5") << 5 << 6 << 4 << 0x05;
        QTest::newRow("compact status 2") << 6 << 58 << 2 << 0x02;
        QTest::newRow("channel the block does not serve") << 7 << 12 << 4 << 0x04;
        QTest::newRow("channel number beyond 0..7") << 12 << 12 << 4 << 0x05;
    }
    void answersEveryKind()
    {
        QFETCH(int, channel);
        QFETCH(int, length);
        QFETCH(int, channelOffset);
        QFETCH(int, status);
        StationSide line(linePath(1));
        QVERIFY(line.isOpen());
        const QByteArray received = line.exchange(request(9, channel), 2000);
        QVERIFY2(received.startsWith(':'), received.constData());
        QCOMPARE(received.size(), 2 * length + 3);
        const QByteArray answer = decodedAnswer(received);
        QCOMPARE(answer.size(), length);
        QCOMPARE(quint8(answer[0]), quint8(9));
        QCOMPARE(quint8(answer[1]), HexFrame::kRequestCode);
        QCOMPARE(quint8(answer[3]), quint8(status));
        QCOMPARE(quint8(answer[channelOffset]), quint8(channel));
        if (length == 69 || length == 12) { // the block's clock: second < 60, month 1..12
            const int at = length == 69 ? 57 : 5;
            QVERIFY(quint8(answer[at]) < 60);
            QVERIFY(quint8(answer[at + 4]) >= 1 && quint8(answer[at + 4]) <= 12);
        }
    }

    void silentForABlockOnAnotherLine()
    {
        StationSide line(linePath(1));
        QVERIFY(line.isOpen());
        QCOMPARE(line.exchange(request(1, 1), 500), QByteArray());
    }

    // A time the clocks of many zones skip: sent as it was set, and it stands.
    void aSetClockStandsAtItsTime()
    {
        StationSide line(linePath(1));
        QVERIFY(line.isOpen());
        const QByteArray first = decodedAnswer(line.exchange(request(7, 0), 2000));
        QTest::qWait(1100);
        const QByteArray second = decodedAnswer(line.exchange(request(7, 0), 2000));
        QCOMPARE(first.size(), 12); // block 7 serves no channel: status 4 with its clock
        QCOMPARE(quint8(first[3]), quint8(0x04));
        // second, minute, hour, day, month, year - 2000
        QCOMPARE(first.mid(5, 6).toHex(), QByteArray("001e021d030f"));
        QCOMPARE(second.mid(5, 6).toHex(), QByteArray("001e021d030f"));
    }

    void valuesMoveBetweenAnswers()
    {
        StationSide line(linePath(1));
        QVERIFY(line.isOpen());
        const QByteArray first = decodedAnswer(line.exchange(request(9, 0), 2000));
        QTest::qWait(1500);
        const QByteArray second = decodedAnswer(line.exchange(request(9, 0), 2000));
        QCOMPARE(first.size(), 69);
        QCOMPARE(second.size(), 69);
        QVERIFY2(first.mid(8, 2) != second.mid(8, 2), "the level S1 did not change");
    }

    void spoilsAnswersOnDemand()
    {
        StationSide line(linePath(4));
        QVERIFY(line.isOpen());
        QCOMPARE(line.exchange(request(1, 0), 600), QByteArray()); // silent

        const QByteArray badLrc = line.exchange(request(1, 1), 2000);
        QCOMPARE(badLrc.size(), 2 * 69 + 3);
        QVERIFY(FrameSplitter::decode(badLrc.mid(1, badLrc.size() - 3)).has_value());
        QVERIFY(decodedAnswer(badLrc).isEmpty());

        const QByteArray lower = line.exchange(request(1, 2), 2000);
        QCOMPARE(lower.size(), 2 * 69 + 3);
        QCOMPARE(lower, lower.toLower());
        QVERIFY(decodedAnswer(lower.toUpper()).size() == 69);

        // Split: the first part now, the rest beyond one receive tick.
        const QByteArray part = line.exchange(request(1, 3), 700, false);
        QVERIFY(part.startsWith(':'));
        QVERIFY(!part.contains("\r\n"));
        const QByteArray rest = line.exchange({}, 2000);
        QCOMPARE(decodedAnswer(part + rest).size(), 69);

        const QByteArray noisy = line.exchange(request(1, 4), 2000);
        const qsizetype colon = noisy.indexOf(':');
        QVERIFY(colon > 0);
        QCOMPARE(decodedAnswer(noisy).size(), 69);
    }

    void logsForwardedRequestsAndEchoesThem()
    {
        StationSide line(linePath(1));
        QVERIFY(line.isOpen());
        const QByteArray echo = line.exchange(HexFrame::forwardedFrame(9, 2, 5), 2000);
        const QByteArray bytes = decodedAnswer(echo);
        QCOMPARE(bytes.toHex().toUpper(), QByteArray("096302058D"));
        QTRY_COMPARE(m_run.simRows(QStringLiteral("forwarded block 9 channel 2 argument 5")).size(),
                     1);
        QVERIFY(!m_run.simRows(QStringLiteral("line 1 rx :0934")).isEmpty());
        QVERIFY(!m_run.simRows(QStringLiteral("line 1 tx :0934")).isEmpty());
    }

    void activeBlocksSendOnTheirOwn()
    {
        StationSide line(linePath(2));
        QVERIFY(line.isOpen());
        const QByteArray unasked = line.exchange({}, 2500);
        const QByteArray answer = decodedAnswer(unasked.first(unasked.indexOf('\n') + 1));
        QCOMPARE(answer.size(), 69);
        QCOMPARE(quint8(answer[0]), quint8(3));
    }

    void rejectsABadScenarioNamingTheLine_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArrayList>("said");
        QTest::newRow("unknown kind") << QByteArray("line 1\nblock 2\nchannel 0 std70\n")
                                      << QByteArrayList{"line 3", "std70"};
        QTest::newRow("silent without seconds")
            << QByteArray("line 1\nblock 2 silent=soon\nchannel 0 std69\n")
            << QByteArrayList{"line 2", "silent=SECONDS"};
        QTest::newRow("clock not a time")
            << QByteArray("line 1\nblock 2 clock=29.03.2015\nchannel 0 std69\n")
            << QByteArrayList{"line 2", "clock=YYYY-MM-DDThh:mm:ss"};
    }
    void rejectsABadScenarioNamingTheLine()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArrayList, said);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("bad.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(scenario);
        file.close();
        QByteArray err;
        const int code = FieldRun::runClient(QStringLiteral("kx7r-blocksim"),
                                             {QStringLiteral("--scenario"), file.fileName()},
                                             nullptr, &err, 5000);
        QCOMPARE(code, 2);
        for (const QByteArray& text : said)
            QVERIFY2(err.contains(text), err.constData());
    }

    void aVanishedLineComesBack()
    {
        FieldRun run;
        QVERIFY(run.startSimulator("line 1 vanish=1:2\nblock 1\nchannel 0 std63\n"));
        const QString path = run.path(QStringLiteral("lines/COM1"));
        QVERIFY(QFileInfo::exists(path));
        QTRY_VERIFY_WITH_TIMEOUT(!run.simRows(QStringLiteral("line 1 vanished")).isEmpty(), 3000);
        QVERIFY(!QFileInfo::exists(path));
        StationSide gone(path);
        QVERIFY(!gone.isOpen());
        QTRY_COMPARE_WITH_TIMEOUT(run.simRows(QStringLiteral("line 1 ready")).size(), 2, 4000);
        StationSide back(path);
        QVERIFY(back.isOpen());
        QCOMPARE(decodedAnswer(back.exchange(request(1, 0), 2000)).size(), 63);
    }

    void stopsCleanlyOnTermination()
    {
        FieldRun run;
        QVERIFY(run.startSimulator("line 2\nblock 1\nchannel 0 std69\n"));
        QVERIFY(QFileInfo::exists(run.path(QStringLiteral("lines/COM2"))));
        run.stopSimulator();
        QVERIFY(run.simLog().contains("stopping"));
        QVERIFY(!QFileInfo::exists(run.path(QStringLiteral("lines/COM2"))));
    }

private:
    QString linePath(int n) { return m_run.path(QStringLiteral("lines/COM%1").arg(n)); }

    FieldRun m_run;
};

QTEST_GUILESS_MAIN(TestBlocksim)
#include "tst_blocksim.moc"
