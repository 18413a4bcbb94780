// One receive tick of the whole station: the answers it takes reach LastMeasure,
// the archive and the live clients together at its end.
#include "fixedclock.h"
#include "model/stationtexts.h"
#include "pseudoterminal.h"
#include "serial/hexframe.h"
#include "settingsfixture.h"
#include "shell/station.h"
#include "stationprobe.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {
// A 69-byte measurement of block 1 for a channel, with the block's clock.
QByteArray measurementFrame(quint8 channel, int hour, int minute, int second)
{
    QByteArray bytes(68, '\0');
    bytes[0] = 1;
    bytes[1] = char(HexFrame::kRequestCode);
    bytes[4] = char(channel);
    const char clock[6] = {char(second), char(minute), char(hour), 15, 6, 24};
    for (int i = 0; i < 6; ++i)
        bytes[57 + i] = clock[i];
    return HexFrame::encodeWithLrc(bytes);
}

// A station polling block 1 on channels 0 and 1 (rows 1 and 2) of one line.
struct TickRig {
    SettingsFixture settings;
    PseudoTerminal pty;
    FixedClock clock;
    QString archive = settings.dirPath() + u"/archive";
    std::unique_ptr<Station> station;

    TickRig()
    {
        settings.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
        settings.setRoot(QStringLiteral("HistoryFolder"), archive);
        settings.mapPort(QStringLiteral("COM1"), pty.slavePath());
        settings.setTerminal(1, QStringLiteral("COM1"));
        for (int row : {1, 2})
            settings.setChannel(row, QStringLiteral("Бак"), QStringLiteral("Терминал1"),
                                Texts::modeActive, QStringLiteral("1"), QString::number(row - 1),
                                QStringLiteral("10"));
        station = std::make_unique<Station>(settings.store(), clock, 0);
        station->start(false);
    }
    // Writes the frames on the line and runs one receive tick over them.
    bool receive(const QByteArray& frames)
    {
        if (!pty.write(frames))
            return false;
        QSerialPort* port = station->state().terminals[0].port.get();
        if (!port || !QTest::qWaitFor([&] { return port->bytesAvailable() == frames.size(); }))
            return false;
        StationProbe::receiver(*station).RSTimerTimer();
        return true;
    }
};
} // namespace

class TestReceiveTick : public QObject {
    Q_OBJECT
private slots:
    void aTicksAnswersGoOutTogether()
    {
        TickRig rig;
        QVERIFY(rig.pty.isValid());
        SettingsFixture& settings = rig.settings;
        PseudoTerminal& pty = rig.pty;
        const QString archive = rig.archive;
        Station& station = *rig.station;

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, station.liveServer().port());
        QVERIFY(client.waitForConnected(3000));
        QTRY_COMPARE(station.liveServer().clientCount(), 1);
        QTcpSocket* served = station.liveServer().findChildren<QTcpSocket*>().value(0);
        QVERIFY(served);
        QSignalSpy writes(served, &QTcpSocket::bytesWritten);

        const QByteArray answers = measurementFrame(0, 10, 0, 1) + measurementFrame(1, 10, 0, 2) +
                                   measurementFrame(0, 9, 59, 59);
        QVERIFY(pty.write(answers));
        QSerialPort* port = station.state().terminals[0].port.get();
        QVERIFY(port);
        QTRY_COMPARE(port->bytesAvailable(), answers.size());
        StationProbe::receiver(station).RSTimerTimer();

        // The last answer's stamp, though an earlier one is later in the day.
        QCOMPARE(
            settings.store().readSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure")),
            QStringLiteral("15062024095959"));
        const QString day = archive + u"/2024/Июнь/15/";
        QFile first(day + u"Измерения по каналу 1.mes");
        QVERIFY(first.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = first.readAll().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[1].contains("\t10:00:01\t"));
        QVERIFY(lines[2].contains("\t09:59:59\t"));
        QVERIFY(QFile::exists(day + u"Измерения по каналу 2.mes"));

        // One write with the three frames; byte 4 is the channel's row index.
        QCOMPARE(writes.size(), 1);
        QTRY_COMPARE(client.bytesAvailable(), 3 * 161);
        const QByteArray frames = client.readAll();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(frames.mid(i * 161 + 9, 2), QByteArray(i == 1 ? "01" : "00"));
        QCOMPARE(frames.mid(2 * 161 + 125, 6), QByteArray("3B3B09")); // 59 59 9
    }

    // The latest values follow the same road: one update per tick for the rows
    // it touched, and a row given to another tank loses what it showed.
    void latestValuesAreKeptUntilTheRowIsReassigned()
    {
        TickRig rig;
        QVERIFY(rig.pty.isValid());
        Station& station = *rig.station;
        QSignalSpy updates(&station.latestAnswers(), &LatestAnswers::rowsUpdated);
        QSignalSpy reassigned(&station, &Station::channelsReassigned);
        QVERIFY(rig.receive(measurementFrame(1, 10, 0, 2) + measurementFrame(0, 10, 0, 1)));

        QCOMPARE(updates.size(), 1);
        QCOMPARE(updates[0][0].value<QList<int>>(), (QList<int>{1, 0}));
        for (int k : {0, 1}) {
            const LatestAnswers::Entry& entry = station.latestAnswers().entry(k);
            QVERIFY(entry.measurement);
            QCOMPARE(entry.measurement->stamp(),
                     k == 0 ? QStringLiteral("15062024100001") : QStringLiteral("15062024100002"));
            QCOMPARE(entry.measurementReceived, rig.clock.now());
            QCOMPARE(entry.terminal, 0);
        }
        QVERIFY(!station.latestAnswers().entry(2).lastReceived.isValid());

        // Same block, another channel for row 1; row 2 only gets a new timeout.
        station.state().queryList.setText(1, QueryColumn::Channel, QStringLiteral("5"));
        station.state().queryList.setText(2, QueryColumn::Timeout, QStringLiteral("20"));
        QVERIFY(station.applyPollList());
        QCOMPARE(reassigned.size(), 1);
        QCOMPARE(reassigned[0][0].value<QList<int>>(), QList<int>{0});
        QVERIFY(!station.latestAnswers().entry(0).measurement);
        QVERIFY(station.latestAnswers().entry(1).measurement);
    }
};

QTEST_GUILESS_MAIN(TestReceiveTick)
#include "tst_receivetick.moc"
