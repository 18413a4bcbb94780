#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "pseudoterminal.h"
#include "serial/terminalaccess.h"
#include "settingsfixture.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

class TestTerminalAccess : public QObject {
    Q_OBJECT
private:
    struct Line {
        SettingsFixture settings;
        PseudoTerminal pty;
        StationState state;
        TerminalAccess access{state, settings.store()};

        Line()
        {
            settings.mapPort(QStringLiteral("COM1"), pty.slavePath());
            state.terminals[0].comName = QStringLiteral("COM1");
            state.terminals[0].baudRate = QStringLiteral("9600");
        }
        QSerialPort& port() { return *state.terminals[0].port; }
    };

private slots:
    void opensEightNoneOneWhateverIsStored()
    {
        Line line;
        QVERIFY(line.pty.isValid());
        line.state.terminals[0].dataBits = QStringLiteral("7");
        line.state.terminals[0].parity = QStringLiteral("Чет");
        line.state.terminals[0].stopBits = QStringLiteral("2");
        line.state.terminals[0].baudRate = QStringLiteral("19200");
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("19200")));
        QCOMPARE(line.state.terminals[0].status, Texts::portConnected);
        QCOMPARE(line.state.terminals[0].handle, TerminalPort::Handle::Open);
        QCOMPARE(line.port().dataBits(), QSerialPort::Data8);
        QCOMPARE(line.port().parity(), QSerialPort::NoParity);
        QCOMPARE(line.port().stopBits(), QSerialPort::OneStop);
        QCOMPARE(line.port().baudRate(), 19200);

        line.access.write(0, QByteArrayLiteral(":013400CB\r\n"));
        QCOMPARE(line.pty.readAtLeast(11, 2000), QByteArrayLiteral(":013400CB\r\n"));
        line.pty.write(QByteArrayLiteral("abc"));
        QByteArray got;
        QTRY_VERIFY((got += line.access.readArrived(0)).size() >= 3);
        QCOMPARE(got, QByteArrayLiteral("abc"));
    }

    void missingDeviceIsBusy()
    {
        Line line;
        line.settings.mapPort(QStringLiteral("COM1"), line.pty.slavePath() + u"-missing");
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(line.state.terminals[0].status, Texts::portBusy);
        QVERIFY(line.access.isInvalid(0));
        QCOMPARE(line.access.readArrived(0), QByteArray());
        QCOMPARE(line.state.counters.terminals[0].openFailures, quint64(1));
        QCOMPARE(line.state.counters.terminals[0].opens, quint64(0));
    }

    void portHeldElsewhereIsBusyUntilFreed()
    {
        Line line;
        QSerialPort other(line.pty.slavePath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(line.state.terminals[0].status, Texts::portBusy);
        other.close();
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(line.state.terminals[0].status, Texts::portConnected);
        // The station holds it exclusively now.
        QSerialPort third(line.pty.slavePath());
        QVERIFY(!third.open(QIODevice::ReadWrite));
        QCOMPARE(line.state.counters.terminals[0].openFailures, quint64(1));
        QCOMPARE(line.state.counters.terminals[0].opens, quint64(1));
    }

    void undefinedPortTouchesNothing()
    {
        Line line;
        QCOMPARE(line.access.OpenTerminal(0, QStringLiteral("9600")), true);
        line.state.terminals[0].comName = Texts::portUndefined;
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(line.state.terminals[0].status, Texts::portUndefined);
        QCOMPARE(line.state.terminals[0].handle, TerminalPort::Handle::Open);
        QVERIFY(line.port().isOpen());
        line.pty.write(QByteArrayLiteral("still read"));
        QByteArray got;
        QTRY_VERIFY((got += line.access.readArrived(0)).size() >= 10);

        StationState fresh;
        TerminalAccess access(fresh, line.settings.store());
        fresh.terminals[0].comName = Texts::portUndefined;
        QVERIFY(!access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(fresh.terminals[0].handle, TerminalPort::Handle::NeverOpened);
        QVERIFY(!access.isInvalid(0));
    }

    void reopenDropsWhatTheOldHandleHeld()
    {
        Line line;
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        line.pty.write(QByteArrayLiteral("old bytes"));
        QTest::qWait(50);
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(line.access.readArrived(0), QByteArray());
        line.pty.write(QByteArrayLiteral("new"));
        QByteArray got;
        QTRY_VERIFY((got += line.access.readArrived(0)).size() >= 3);
        QCOMPARE(got, QByteArrayLiteral("new"));
    }

    void comNamesMapToDevices()
    {
        Line line;
        line.state.terminals[0].comName = QStringLiteral("COM300");
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        QCOMPARE(line.state.terminals[0].status, Texts::portBusy);
    }

    // A hung-up line must not spin: the port is closed once and reads nothing
    // until the next OpenTerminal, which opens it again.
    void hungUpPortIsClosedWithoutSpinning()
    {
        Line line;
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        QSignalSpy errors(&line.port(), &QSerialPort::errorOccurred);
        const double before = cpuSeconds();
        line.pty.hangUp();
        QTRY_VERIFY(!line.port().isOpen());
        QTest::qWait(300);
        const double used = cpuSeconds() - before;
        QVERIFY2(errors.size() < 20, qPrintable(QString::number(errors.size())));
        QVERIFY2(used < 0.3, qPrintable(QString::number(used)));
        QCOMPARE(line.access.readArrived(0), QByteArray());
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
    }

    // A rate the line cannot take raises a settings error; the port stays open,
    // at the fallback rate, and answers are read on it.
    void badBaudTextKeepsThePortUsable_data()
    {
        QTest::addColumn<QString>("baud");
        QTest::newRow("empty") << QString();
        QTest::newRow("not a number") << QStringLiteral("быстро");
        QTest::newRow("zero") << QStringLiteral("0");
        QTest::newRow("negative") << QStringLiteral("-9600");
    }
    void badBaudTextKeepsThePortUsable()
    {
        QFETCH(QString, baud);
        Line line;
        line.state.terminals[0].baudRate = baud;
        QVERIFY(line.access.OpenTerminal(0, baud));
        QCOMPARE(line.state.terminals[0].status, Texts::portConnected);
        QCOMPARE(line.port().baudRate(), 9600);
        QTest::qWait(20); // a queued close would run now
        QVERIFY(line.port().isOpen());
        line.pty.write(QByteArrayLiteral("answer"));
        QByteArray got;
        QTRY_VERIFY((got += line.access.readArrived(0)).size() >= 6);
        QCOMPARE(got, QByteArrayLiteral("answer"));
    }

    // Errors that leave the device in place do not close the port.
    void settingErrorsDoNotClose_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("unsupported operation") << int(QSerialPort::UnsupportedOperationError);
        QTest::newRow("unknown") << int(QSerialPort::UnknownError);
        QTest::newRow("timeout") << int(QSerialPort::TimeoutError);
        QTest::newRow("open") << int(QSerialPort::OpenError);
    }
    void settingErrorsDoNotClose()
    {
        QFETCH(int, error);
        Line line;
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        emit line.port().errorOccurred(QSerialPort::SerialPortError(error));
        QTest::qWait(20);
        QVERIFY(line.port().isOpen());
    }

    // A close queued for a lost port never closes the port opened after it.
    void queuedCloseSparesTheNextOpen()
    {
        Line line;
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        emit line.port().errorOccurred(QSerialPort::ResourceError);
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        QTest::qWait(20);
        QVERIFY(line.port().isOpen());

        emit line.port().errorOccurred(QSerialPort::ReadError);
        QTRY_VERIFY(!line.port().isOpen());
    }

    void openResultCell_data()
    {
        QTest::addColumn<QString>("comName");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("colour");
        QTest::newRow("open") << QStringLiteral("COM1") << true << Texts::portConnected
                              << int(CellColour::Green);
        QTest::newRow("undefined")
            << Texts::portUndefined << false << QStringLiteral("-") << int(CellColour::Black);
        QTest::newRow("failed") << QStringLiteral("COM1") << false << Texts::portBusy
                                << int(CellColour::Red);
    }
    void openResultCell()
    {
        QFETCH(QString, comName);
        QFETCH(bool, opened);
        QFETCH(QString, text);
        QFETCH(int, colour);
        Line line;
        line.state.terminals[3].comName = comName;
        line.access.showOpenResult(3, opened);
        QCOMPARE(line.state.rsSettings.text(RsRow::Status, 4), text);
        QCOMPARE(int(line.state.rsSettings.colour(RsRow::Status, 4)), colour);
    }
};

QTEST_GUILESS_MAIN(TestTerminalAccess)
#include "tst_terminalaccess.moc"
