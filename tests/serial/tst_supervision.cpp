#include "serial/supervision.h"
#include "serialrig.h"

#include <QSerialPort>
#include <QTest>

class TestSupervision : public QObject {
    Q_OBJECT
private:
    struct Line : SerialRig {
        Supervision supervision{state, access};
        Line() { attach(0); }
        // What the send timer leaves when it wrote channel k's request on terminal t.
        void requestSent(int k, int t)
        {
            state.poll.requested(t, k);
            state.countdownSeconds[k] = state.channels[k].timeoutSeconds;
        }
        void tick() { supervision.TimerWaitAnsewerTimer(); }
    };

private slots:
    // 10 s: 9, 8, ... 0 in whole seconds, then "ПДЛ не отвечает" after about 100 ticks.
    void silentBlockTimesOut()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.requestSent(0, 0);
        QStringList shown;
        int ticks = 0;
        while (line.state.poll.isAwaiting(0) && ticks < 200) {
            line.tick();
            ++ticks;
            const QString waiting = line.cellText(0, QueryColumn::Waiting);
            if (shown.isEmpty() || shown.last() != waiting)
                shown.append(waiting);
            if (line.state.poll.isAwaiting(0))
                QCOMPARE(line.cellText(0, QueryColumn::Status), QString());
        }
        QVERIFY2(ticks >= 99 && ticks <= 101, qPrintable(QString::number(ticks)));
        QStringList expected;
        for (int s = 9; s >= 0; --s)
            expected.append(Texts::waitingPrefix + QString::number(s) + Texts::secondsSuffix);
        expected.append(QString());
        QCOMPARE(shown, expected);
        QCOMPARE(line.cellText(0, QueryColumn::Status), Texts::blockNotAnswering);
        QCOMPARE(line.cellColour(0, QueryColumn::Status), CellColour::Red);
        QCOMPARE(line.cellText(0, QueryColumn::Version), Texts::unknownVersion);
        QVERIFY(!line.state.poll.isPending(0));

        // Idle now: nothing counts until the next request.
        const double left = line.state.countdownSeconds[0];
        line.tick();
        QCOMPARE(line.state.countdownSeconds[0], left);
        QCOMPARE(line.cellText(0, QueryColumn::Waiting), QString());
    }

    void timeoutZeroExpiresOnTheFirstTick()
    {
        Line line;
        line.setChannel(4, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 0);
        line.requestSent(4, 0);
        line.tick();
        QVERIFY(!line.state.poll.isAwaiting(4));
        QVERIFY(!line.state.poll.isPending(0));
        QCOMPARE(line.cellText(4, QueryColumn::Status), Texts::blockNotAnswering);
    }

    void activeChannelExpiresAndReopens()
    {
        Line line;
        line.setChannel(1, QStringLiteral("Терминал1"), Texts::modeActive, 1, 1, 1);
        line.state.queryList.setText(2, QueryColumn::Version, QStringLiteral("5"));
        int ticks = 0;
        while (line.cellText(1, QueryColumn::Status).isEmpty() && ticks < 50) {
            line.tick();
            ++ticks;
            if (ticks == 5) // answered after 0.5 s: the decoder restarts the count
                line.state.countdownSeconds[1] = 1;
        }
        QVERIFY2(ticks >= 14 && ticks <= 16, qPrintable(QString::number(ticks)));
        QCOMPARE(line.cellText(1, QueryColumn::Status), Texts::noDataFromBlock);
        QCOMPARE(line.cellColour(1, QueryColumn::Status), CellColour::Red);
        QCOMPARE(line.cellText(1, QueryColumn::Version), Texts::unknownVersion);
        QCOMPARE(line.cellText(1, QueryColumn::Waiting),
                 Texts::waitingPrefix + u'0' + Texts::secondsSuffix);
        QCOMPARE(line.terminalStatus(0), Texts::portConnected);
        QCOMPARE(line.terminalColour(0), CellColour::Green);
        QCOMPARE(line.state.countdownSeconds[1], 1.0);
        QVERIFY(line.state.poll.isAwaiting(1)); // an active channel always counts

        // The port was opened again: what it held before is gone, new bytes come.
        QVERIFY(line.port(0)->isOpen());
        QVERIFY(line.pty(0).write(QByteArrayLiteral("ab")));
        QByteArray got;
        QTRY_VERIFY((got += line.access.readArrived(0)).size() >= 2);
        QCOMPARE(got, QByteArrayLiteral("ab"));
    }

    void activeTimeoutZeroReopensEveryTick()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeActive, 1, 0, 0);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(line.pty(0).write(QByteArrayLiteral("held")));
            QTRY_VERIFY(line.port(0)->bytesAvailable() >= 4);
            line.tick();
            QCOMPARE(line.cellText(0, QueryColumn::Status), Texts::noDataFromBlock);
            QCOMPARE(line.port(0)->bytesAvailable(), 0); // re-opened
        }
    }

    void notConnected_data()
    {
        QTest::addColumn<QString>("terminal");
        QTest::newRow("Не подключен") << Texts::notConnected;
        QTest::newRow("Not connected") << Texts::notConnectedLatin;
        QTest::newRow("Терминал11") << QStringLiteral("Терминал11");
        QTest::newRow("space before the number") << QStringLiteral("Терминал 1");
        QTest::newRow("empty") << QString();
    }
    void notConnected()
    {
        QFETCH(QString, terminal);
        for (const QString& mode : {Texts::modeActive, Texts::modeOnRequest}) {
            Line line;
            line.setChannel(2, terminal, mode, 1, 0, 1);
            line.requestSent(2, 0);
            line.state.poll.answered(0, -1);
            for (int i = 0; i < 30; ++i)
                line.tick();
            QCOMPARE(line.cellText(2, QueryColumn::Status), QStringLiteral("-"));
            QCOMPARE(line.cellColour(2, QueryColumn::Status), CellColour::Black);
            QCOMPARE(line.cellText(2, QueryColumn::Version), Texts::unknownVersion);
            QCOMPARE(line.cellText(2, QueryColumn::Waiting), QString());
            QCOMPARE(line.state.countdownSeconds[2], 1.0);
            QVERIFY(line.state.poll.isAwaiting(2)); // never expires
        }
    }

    void portNotAssigned()
    {
        Line line;
        line.setChannel(3, QStringLiteral("Терминал2"), Texts::modeOnRequest, 1, 0, 1);
        line.requestSent(3, 1);
        line.state.queryList.setText(4, QueryColumn::Waiting, QStringLiteral("old"));
        for (int i = 0; i < 30; ++i)
            line.tick();
        QCOMPARE(line.cellText(3, QueryColumn::Status), Texts::portNotDefined);
        QCOMPARE(line.cellColour(3, QueryColumn::Status), CellColour::Red);
        QCOMPARE(line.cellText(3, QueryColumn::Waiting), QString());
        QCOMPARE(line.terminalStatus(1), QStringLiteral("-"));
        QCOMPARE(line.terminalColour(1), CellColour::Black);
        // No countdown: the terminal stays pending until the poll list is applied.
        QCOMPARE(line.state.countdownSeconds[3], 1.0);
        QVERIFY(line.state.poll.isPending(1));
    }

    void terminalTenIsSupervised()
    {
        Line line;
        line.attach(9);
        line.setChannel(29, QStringLiteral("Терминал10"), Texts::modeOnRequest, 9, 7, 1);
        line.requestSent(29, 9);
        for (int i = 0; i < 11 && line.state.poll.isAwaiting(29); ++i)
            line.tick();
        QVERIFY(!line.state.poll.isAwaiting(29));
        QVERIFY(!line.state.poll.isPending(9));
        QCOMPARE(line.cellText(29, QueryColumn::Status), Texts::blockNotAnswering);
    }

    // The adapter of an active channel is pulled, then plugged back.
    void portVanishesAndComesBack()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeActive, 1, 0, 1);
        line.setChannel(1, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 1, 5);
        line.pull(0);
        for (int i = 0; i < 11; ++i)
            line.tick();
        QCOMPARE(line.cellText(0, QueryColumn::Status), Texts::portMissingOrBusy);
        QCOMPARE(line.cellColour(0, QueryColumn::Status), CellColour::Red);
        QCOMPARE(line.terminalStatus(0), Texts::portBusy);
        QCOMPARE(line.terminalColour(0), CellColour::Red);
        QCOMPARE(line.cellText(0, QueryColumn::Waiting),
                 Texts::waitingPrefix + u'0' + Texts::secondsSuffix);

        // Retried every tick, the waiting column emptied, for every channel of the terminal.
        line.tick();
        QCOMPARE(line.cellText(0, QueryColumn::Waiting), QString());
        QCOMPARE(line.cellText(1, QueryColumn::Status), Texts::portMissingOrBusy);
        QCOMPARE(line.state.terminals[0].status, Texts::portBusy);

        // The adapter comes back (under a new device, mapped to the same COM name).
        line.ptys[0] = std::make_unique<PseudoTerminal>();
        line.settings.mapPort(SerialRig::comName(0), line.pty(0).slavePath());
        line.tick();
        QCOMPARE(line.state.terminals[0].status, Texts::portConnected);
        QCOMPARE(line.terminalStatus(0), Texts::portConnected);
        QCOMPARE(line.terminalColour(0), CellColour::Green);
        QCOMPARE(line.cellText(0, QueryColumn::Status), QString());
        QCOMPARE(line.cellColour(0, QueryColumn::Status), CellColour::Black);
        QCOMPARE(line.cellText(0, QueryColumn::Waiting),
                 Texts::waitingPrefix + u'0' + Texts::secondsSuffix); // 0.9 s left
        QVERIFY(line.port(0)->isOpen());
        QVERIFY(line.pty(0).write(QByteArrayLiteral("ok")));
        QByteArray got;
        QTRY_VERIFY((got += line.access.readArrived(0)).size() >= 2);
        QCOMPARE(got, QByteArrayLiteral("ok"));
    }

    void busyPortRetriedUntilFree()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.state.terminals[0].port->close();
        QSerialPort other(line.pty(0).slavePath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        for (int i = 0; i < 3; ++i) {
            line.tick();
            QCOMPARE(line.cellText(0, QueryColumn::Status), Texts::portMissingOrBusy);
            QCOMPARE(line.terminalStatus(0), Texts::portBusy);
        }
        other.close();
        line.tick();
        QCOMPARE(line.terminalStatus(0), Texts::portConnected);
        QCOMPARE(line.cellText(0, QueryColumn::Status), QString());
    }
};

QTEST_GUILESS_MAIN(TestSupervision)
#include "tst_supervision.moc"
