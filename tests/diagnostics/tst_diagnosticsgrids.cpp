// The counters as the "Диагностика" grids show them.
#include "diagnostics/diagnosticsgrids.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"

#include <QDateTime>
#include <QTest>

using Grids = DiagnosticsGrids;

class TestDiagnosticsGrids : public QObject {
    Q_OBJECT
private slots:
    void answeredShareIsRoundedDown_data()
    {
        QTest::addColumn<quint64>("answers");
        QTest::addColumn<quint64>("timeouts");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing settled") << quint64(0) << quint64(0) << QStringLiteral("-");
        QTest::newRow("all answered") << quint64(7) << quint64(0) << QStringLiteral("100 %");
        QTest::newRow("one in three lost") << quint64(2) << quint64(1) << QStringLiteral("66 %");
        QTest::newRow("one lost in a thousand")
            << quint64(999) << quint64(1) << QStringLiteral("99 %");
        QTest::newRow("none answered") << quint64(0) << quint64(5) << QStringLiteral("0 %");
    }
    void answeredShareIsRoundedDown()
    {
        QFETCH(quint64, answers);
        QFETCH(quint64, timeouts);
        QFETCH(QString, text);
        QCOMPARE(Grids::answeredText(answers, timeouts), text);
    }

    void channelRowsShowTheirCounts()
    {
        StationState state;
        state.channels[1].name = QStringLiteral("Бак 2");
        state.channels[1].terminal = QStringLiteral("Терминал3");
        ChannelCounters& c = state.counters.channels[1];
        c.requestsSent = 30;
        c.forwardedRequests = 2;
        c.measurementsAccepted = 18;
        c.statusAnswersAccepted = 1;
        c.timeouts = 1; // 19 of 20: 95 %, the least that shows green
        c.lastAcceptedMsecs = QDateTime(QDate(2024, 6, 15), QTime(9, 5, 7)).toMSecsSinceEpoch();
        c.responseTime.record(1200);
        c.responseTime.record(900);
        state.counters.channels[2].measurementsAccepted = 18;
        state.counters.channels[2].timeouts = 2; // 18 of 20: 90 %, red

        Grids grids;
        grids.refresh(state);
        const CellGrid& g = grids.channels();
        QCOMPARE(g.rows(), kChannelCount + 1);
        QCOMPARE(g.text(0, Grids::Answered), QStringLiteral("Отвечено"));
        QCOMPARE(g.text(2, Grids::Row), QStringLiteral("2"));
        QCOMPARE(g.text(2, Grids::Name), QStringLiteral("Бак 2"));
        QCOMPARE(g.text(2, Grids::Terminal), QStringLiteral("Терминал3"));
        QCOMPARE(g.text(2, Grids::Requests), QStringLiteral("30"));
        QCOMPARE(g.text(2, Grids::Forwarded), QStringLiteral("2"));
        QCOMPARE(g.text(2, Grids::Measurements), QStringLiteral("18"));
        QCOMPARE(g.text(2, Grids::StatusAnswers), QStringLiteral("1"));
        QCOMPARE(g.text(2, Grids::Timeouts), QStringLiteral("1"));
        QCOMPARE(g.colour(2, Grids::Timeouts), CellColour::Red);
        QCOMPARE(g.text(2, Grids::Answered), QStringLiteral("95 %"));
        QCOMPARE(g.colour(2, Grids::Answered), CellColour::Green);
        QCOMPARE(g.text(2, Grids::LastAnswer), QStringLiteral("15.06.2024 09:05:07"));
        QCOMPARE(g.text(2, Grids::LastResponse), QStringLiteral("900"));
        QCOMPARE(g.text(2, Grids::MeanResponse), QStringLiteral("1050"));

        QCOMPARE(g.text(3, Grids::Answered), QStringLiteral("90 %"));
        QCOMPARE(g.colour(3, Grids::Answered), CellColour::Red);
        // A row nothing happened to.
        QCOMPARE(g.text(1, Grids::Requests), QStringLiteral("0"));
        QCOMPARE(g.text(1, Grids::Answered), QStringLiteral("-"));
        QCOMPARE(g.colour(1, Grids::Answered), CellColour::Black);
        QCOMPARE(g.colour(1, Grids::Timeouts), CellColour::Black);
        QCOMPARE(g.text(1, Grids::LastAnswer), QStringLiteral("-"));
        QCOMPARE(g.text(1, Grids::LastResponse), QStringLiteral("-"));

        // Read-only, and a refresh follows the counts.
        QVERIFY(!g.isEditable(2, Grids::Requests));
        ++c.requestsSent;
        grids.refresh(state);
        QCOMPARE(g.text(2, Grids::Requests), QStringLiteral("31"));
    }

    void terminalRowsShowPortStateAndLineCounts_data()
    {
        QTest::addColumn<int>("portState");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("colour");
        QTest::newRow("connected") << int(TerminalCounters::PortState::Connected)
                                   << Texts::portConnected << int(CellColour::Green);
        QTest::newRow("busy") << int(TerminalCounters::PortState::Busy) << Texts::portBusy
                              << int(CellColour::Red);
        QTest::newRow("not defined") << int(TerminalCounters::PortState::None)
                                     << QStringLiteral("-") << int(CellColour::Black);
    }
    void terminalRowsShowPortStateAndLineCounts()
    {
        QFETCH(int, portState);
        QFETCH(QString, text);
        QFETCH(int, colour);
        StationState state;
        state.terminals[9].comName = QStringLiteral("COM12");
        TerminalCounters& c = state.counters.terminals[9];
        c.portState = TerminalCounters::PortState(portState);
        c.opens = 4;
        c.openFailures = 1;
        c.bytesRead = 1410;
        c.bytesWritten = 44;
        c.framesAccepted = 9;
        c.lrcErrors = 1;
        c.unacceptedLength = 2;
        c.overflowFrames = 3;
        c.floodDroppedBytes = 1048576;

        Grids grids;
        grids.refresh(state);
        const CellGrid& g = grids.terminals();
        QCOMPARE(g.rows(), kTerminalCount + 1);
        QCOMPARE(g.text(10, Grids::TerminalName), QStringLiteral("Терминал10"));
        QCOMPARE(g.text(10, Grids::Port), QStringLiteral("COM12"));
        QCOMPARE(g.text(10, Grids::PortState), text);
        QCOMPARE(int(g.colour(10, Grids::PortState)), colour);
        const QStringList counts = {
            QStringLiteral("4"),  QStringLiteral("1"), QStringLiteral("1410"),
            QStringLiteral("44"), QStringLiteral("9"), QStringLiteral("1"),
            QStringLiteral("2"),  QStringLiteral("3"), QStringLiteral("1048576")};
        for (int i = 0; i < counts.size(); ++i)
            QCOMPARE(g.text(10, Grids::Opens + i), counts[i]);
        QCOMPARE(g.colour(10, Grids::LrcErrors), CellColour::Red);
        QCOMPARE(g.text(1, Grids::LrcErrors), QStringLiteral("0"));
        QCOMPARE(g.colour(1, Grids::LrcErrors), CellColour::Black);
    }

    void servicesLineNamesEveryCount()
    {
        StationCounters counters;
        counters.live = {2, 7, 1, 120, 3, 4};
        counters.history = {5, 6, 70000, 8, 9};
        counters.archive = {11, 12, 13};
        counters.broker = {true, 14, 15, 16, 17};
        const QString text = Grids::servicesText(counters);
        QCOMPARE(text,
                 QStringLiteral("Клиенты TCP: 2 сейчас, 7 подключений, 1 отклонено, 120 кадров "
                                "отправлено, 3 сброшено, 4 неверных запросов.\n"
                                "Архив TCP: 5 сеансов, 6 файлов (70000 байт), 8 неверных "
                                "запросов, 9 закрыто по простою.\n"
                                "Архив: 11 строк записано, 12 не записано, 13 ошибок папки. "
                                "MQTT: подключен, в очереди 14, опубликовано 15, потеряно 16, "
                                "переподключений 17."));
    }
};

QTEST_GUILESS_MAIN(TestDiagnosticsGrids)
#include "tst_diagnosticsgrids.moc"
