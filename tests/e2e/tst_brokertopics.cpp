// What the topics of a real Mosquitto broker hold for the simulated field: the
// measurement time of a block whose clock shows a time the local clocks
// skipped, and nothing retained for a row that the window's Apply emptied or
// gave another tank.
#include "brokerrun.h"
#include "fieldrun.h"

#include "broker/brokersettings.h"
#include "model/clock.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "shell/station.h"
#include "window/cellgridview.h"
#include "window/tformmain.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {

const QString kRoot = QStringLiteral("kx7r/st1/");

// The topics that hold a retained message, as a fresh subscriber finds them.
// The broker sends them in the order of the subscriptions, so a retained
// marker subscribed to last closes the list. The event loop runs meanwhile:
// a station in this process goes on.
QStringList retainedTopics(quint16 port, const QStringList& topics)
{
    const QString marker = QStringLiteral("kx7r-test/marker");
    const QStringList server{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("-p"), QString::number(port)};
    QProcess publisher;
    publisher.start(BrokerRun::executable(QStringLiteral("mosquitto_pub")),
                    server + QStringList{QStringLiteral("-r"), QStringLiteral("-t"), marker,
                                         QStringLiteral("-m"), QStringLiteral("end")});
    if (!QTest::qWaitFor([&] { return publisher.state() == QProcess::NotRunning; }, 10000) ||
        publisher.exitCode() != 0)
        return {QStringLiteral("no marker")};
    QStringList arguments =
        server + QStringList{QStringLiteral("-v"), QStringLiteral("--retained-only")};
    for (const QString& topic : topics + QStringList{marker})
        arguments << QStringLiteral("-t") << topic;
    QProcess subscriber;
    subscriber.start(BrokerRun::executable(QStringLiteral("mosquitto_sub")), arguments);
    const QByteArray end = marker.toUtf8() + " end\n";
    QByteArray output;
    const bool ended = QTest::qWaitFor(
        [&] {
            output += subscriber.readAllStandardOutput();
            return output.contains(end);
        },
        10000);
    subscriber.kill();
    subscriber.waitForFinished(1000);
    if (!ended)
        return {QStringLiteral("no end marker")};
    QStringList found;
    for (const QByteArray& line : output.split('\n')) {
        const QString topic = QString::fromUtf8(line.left(line.indexOf(' ')));
        if (topic == marker)
            return found;
        found.append(topic);
    }
    return {QStringLiteral("no end marker")};
}

// The retained topics, joined for a readable failure, once they are the
// expected ones, or as they are when the time is up.
QString retainedTopicsWithin(int ms, quint16 port, const QStringList& topics,
                             const QStringList& expected)
{
    const QDeadlineTimer deadline(ms);
    QStringList found = retainedTopics(port, topics);
    while (found != expected && !deadline.hasExpired()) {
        QTest::qWait(100);
        found = retainedTopics(port, topics);
    }
    return found.join(u' ');
}

} // namespace

class TestBrokerTopics : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* tool : {"mosquitto", "mosquitto_sub", "mosquitto_pub"})
            if (BrokerRun::executable(QString::fromLatin1(tool)).isEmpty())
                QFAIL("mosquitto and its clients are needed: ./run deps installs them");
    }

    // The block's clock as the station's local time: in a gap the clocks
    // jumped over, the offset of that day's start, as its archive folder has it.
    void publishedTimeCarriesTheLocalOffset_data()
    {
        QTest::addColumn<QByteArray>("clock"); // the block's, as the scenario sets it
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("archiveFile");
        QTest::newRow("02:30 skipped in spring")
            << QByteArray("2015-03-29T02:30:00") << "2015-03-29T02:30:00+01:00"
            << "29032015023000" << QStringLiteral("2015/Март/29/Измерения по каналу 1.mes");
        QTest::newRow("summer noon")
            << QByteArray("2015-07-15T12:00:00") << "2015-07-15T12:00:00+02:00"
            << "15072015120000" << QStringLiteral("2015/Июль/15/Измерения по каналу 1.mes");
    }
    void publishedTimeCarriesTheLocalOffset()
    {
        QFETCH(QByteArray, clock);
        QFETCH(QString, time);
        QFETCH(QString, stamp);
        QFETCH(QString, archiveFile);
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator("line 1\nblock 1 clock=" + clock +
                                   "\nchannel 0 std69 name=Tank_A timeout=2\n"));
        Subscriber subscriber(broker.port(), kRoot + QStringLiteral("channel/+"));
        QTRY_VERIFY_WITH_TIMEOUT(
            broker.log().contains(QByteArray("as ").append(Subscriber::clientId())), 10000);
        run.setStationWrapper({QStringLiteral("env"), QStringLiteral("TZ=Europe/Berlin")});
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port())),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(!subscriber.payloads("kx7r/st1/channel/1 ").isEmpty(), 20000);

        const QJsonObject message =
            QJsonDocument::fromJson(subscriber.payloads("kx7r/st1/channel/1 ").first()).object();
        QCOMPARE(message.value(QStringLiteral("time")).toString(), time);
        QCOMPARE(message.value(QStringLiteral("stamp")).toString(), stamp);
        QVERIFY2(FieldRun::archiveFiles(run.archivePath()).contains(archiveFile),
                 qPrintable(FieldRun::archiveFiles(run.archivePath()).keys().join(u' ')));
        QVERIFY(run.stopStation());
    }

    // The station in this process with its window: the poll list is edited in
    // the window's grid and applied with its button.
    void reassignedRowKeepsNothingRetained_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("row emptied") << int(QueryColumn::Terminal) << Texts::notConnected;
        QTest::newRow("another tank") << int(QueryColumn::Channel) << QStringLiteral("5");
    }
    void reassignedRowKeepsNothingRetained()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator("line 1\nblock 1\nchannel 0 std69 name=Tank_A timeout=2\n"
                                   "channel 1 std69 name=Tank_B timeout=2\n"));
        SettingsStore store(run.configPath());
        BrokerSettings mqtt = BrokerSettings::read(store);
        mqtt.host = QStringLiteral("127.0.0.1");
        mqtt.port = QString::number(broker.port());
        mqtt.clientId = QStringLiteral("st1");
        QVERIFY(mqtt.write(store));
        SystemClock clock;
        auto station = std::make_unique<Station>(store, clock, run.historyPort());
        station->overrideHttp(QString(), QStringLiteral(""));
        station->start();
        auto window = std::make_unique<TFormMain>(*station);

        const QStringList topics{
            kRoot + QStringLiteral("channel/1"), kRoot + QStringLiteral("channel/1/status"),
            kRoot + QStringLiteral("channel/2"), kRoot + QStringLiteral("channel/2/status")};
        const QStringList both{topics[0], topics[2]};
        QCOMPARE(retainedTopicsWithin(20000, broker.port(), topics, both), both.join(u' '));
        run.stopSimulator(); // nothing answers for row 1 afresh

        auto* view = window->findChild<CellGridView*>(QStringLiteral("tblQueryList"));
        QVERIFY(view);
        QVERIFY(view->model()->setData(view->model()->index(0, column), text, Qt::EditRole));
        window->findChild<QPushButton*>(QStringLiteral("btnApplyQuerryList"))->click();
        const auto* status = window->findChild<QLabel*>(QStringLiteral("lblQueryListStatus"));
        QVERIFY(status);
        QVERIFY2(status->text().startsWith(QStringLiteral("Список опроса применен")),
                 qPrintable(status->text()));
        const QStringList second{topics[2]}; // row 2 was left as it was
        QCOMPARE(retainedTopicsWithin(10000, broker.port(), topics, second), second.join(u' '));

        window.reset();
        station->shutdown();
    }
};

QTEST_MAIN(TestBrokerTopics)
#include "tst_brokertopics.moc"
