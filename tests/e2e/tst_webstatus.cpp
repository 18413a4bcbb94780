// The web status service of the real headless station polling the simulated
// field, read by the real clients it is for: Debian's Prometheus scrapes
// /metrics and its query API gives a channel's answer count equal to the
// answers the simulator sent; promtool accepts the live exposition; headless
// Chromium shows a channel whose block stays silent turn red on the page.
#include "fieldrun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// Two channels that answer and one whose block never does (timeout 15 s, so
// that the page can be seen before it is given up).
const QByteArray kField = "line 1\nblock 1\n"
                          "channel 0 std69 name=Tank_1\n"
                          "channel 1 std69 name=Tank_2\n"
                          "line 2\nblock 2\n"
                          "channel 0 std69 name=Silent timeout=15 fault=silent\n";

// A plain HTTP/1.0 GET on loopback: the body of a 200 reply, or a null array.
QByteArray httpGet(quint16 port, const QByteArray& target)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 10000)
        if (socket.waitForReadyRead(1000))
            reply += socket.readAll();
    reply += socket.readAll();
    const qsizetype end = reply.indexOf("\r\n\r\n");
    if (!reply.startsWith("HTTP/1.") || reply.mid(9, 3) != "200" || end < 0)
        return {};
    return reply.mid(end + 4);
}

// The status text and colour of a poll-list row, as /api/status gives them.
std::pair<QString, QString> rowStatus(quint16 port, int row)
{
    const QJsonObject status = QJsonDocument::fromJson(httpGet(port, "/api/status")).object();
    const QJsonObject cell = status[u"channels"][row - 1][u"status"].toObject();
    return {cell[u"text"].toString(), cell[u"colour"].toString()};
}

// The pair of ports a station service and its reader need, drawn together.
std::pair<quint16, quint16> twoFreePorts()
{
    QTcpServer a, b;
    a.listen(QHostAddress::LocalHost, 0);
    b.listen(QHostAddress::LocalHost, 0);
    return {a.serverPort(), b.serverPort()};
}

// One headless Chromium run on a URL; its standard output.
QByteArray chromium(const QString& chrome, const QString& profile, const QStringList& what)
{
    QProcess browser;
    browser.start(chrome,
                  QStringList{QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                              QStringLiteral("--disable-gpu"), QStringLiteral("--hide-scrollbars"),
                              QStringLiteral("--no-first-run"),
                              QStringLiteral("--disable-background-networking"),
                              QStringLiteral("--disable-component-update"),
                              QStringLiteral("--user-data-dir=") + profile,
                              QStringLiteral("--virtual-time-budget=5000")} +
                      what);
    if (!browser.waitForFinished(60000)) {
        browser.kill();
        browser.waitForFinished(1000);
    }
    return browser.readAllStandardOutput();
}

// The <tr> of a poll-list row in the page's DOM as Chromium dumped it.
QByteArray pageRow(const QByteArray& dom, int row)
{
    const QByteArray start = "<tr data-row=\"" + QByteArray::number(row) + "\">";
    const qsizetype at = dom.indexOf(start);
    return at < 0 ? QByteArray() : dom.mid(at, dom.indexOf("</tr>", at) - at);
}

int redPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += qRed(p) > 230 && qGreen(p) < 40 && qBlue(p) < 40;
        }
    return count;
}

} // namespace

class TestWebStatus : public QObject {
    Q_OBJECT
private slots:
    void prometheusScrapesTheAnswerCount()
    {
        const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (prometheus.isEmpty() || promtool.isEmpty())
            QSKIP("Debian's prometheus is not installed (./run deps installs it)");
        FieldRun run;
        QVERIFY(run.startSimulator(kField));
        const std::pair<quint16, quint16> ports = twoFreePorts();
        const quint16 httpPort = ports.first;
        const quint16 prometheusPort = ports.second;
        QVERIFY2(run.startStation({QStringLiteral("--http-port"), QString::number(httpPort)}),
                 run.stationLog().constData());
        const QByteArray listening =
            "web status service listening on 127.0.0.1:" + QByteArray::number(httpPort);
        QTRY_VERIFY2_WITH_TIMEOUT(run.stationLog().contains(listening),
                                  run.stationLog().constData(), 10000);

        QFile config(run.path(QStringLiteral("prometheus.yml")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                     "scrape_configs:\n  - job_name: kx7r\n    static_configs:\n"
                     "      - targets: ['127.0.0.1:" +
                     QByteArray::number(httpPort) + "']\n");
        config.close();
        QProcess server;
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(prometheus,
                     {u"--config.file="_qs + config.fileName(),
                      u"--storage.tsdb.path="_qs + run.path(QStringLiteral("tsdb")),
                      u"--web.listen-address=127.0.0.1:"_qs + QString::number(prometheusPort),
                      QStringLiteral("--log.level=warn")});
        QVERIFY(server.waitForStarted(5000));
        const auto stopServer = qScopeGuard([&server] {
            server.terminate();
            if (!server.waitForFinished(10000))
                server.kill();
        });
        QTRY_VERIFY_WITH_TIMEOUT(!httpGet(prometheusPort, "/-/ready").isNull(), 30000);

        const QByteArray query =
            "kx7r_channel_measurements_accepted_total{row=\"1\",name=\"Tank 1\","
            "terminal=\"Терминал1\"}";
        const auto scraped = [&] {
            const QJsonObject answer =
                QJsonDocument::fromJson(
                    httpGet(prometheusPort, "/api/v1/query?query=" +
                                                QUrl::toPercentEncoding(QString::fromUtf8(query))))
                    .object();
            const QJsonArray result = answer[u"data"][u"result"].toArray();
            return result.size() == 1 ? result[0][u"value"][1].toString().toInt() : -1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(scraped() >= 2, 30000);

        // The field stops answering; what it sent is read within a receive
        // tick and scraped within a second after that.
        QVERIFY(::kill(pid_t(run.simulatorPid()), SIGSTOP) == 0);
        const auto resume = qScopeGuard([&run] { ::kill(pid_t(run.simulatorPid()), SIGCONT); });
        QTest::qWait(3000);
        const int sent =
            int(run.simRows(QStringLiteral("line 1 tx")).filter(u"block 1 channel 0").size());
        QVERIFY(sent >= 2);
        QTRY_COMPARE_WITH_TIMEOUT(scraped(), sent, 10000);

        // The live exposition, with real counts in it, passes promtool's check and lint.
        QProcess check;
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(check.waitForStarted());
        const QByteArray metrics = httpGet(httpPort, "/metrics");
        QVERIFY(metrics.contains("kx7r_terminal_frames_accepted_total{terminal=\"Терминал1\""));
        check.write(metrics);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        const QByteArray said = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
    }

    void browserShowsTheSilentChannelTurnRed()
    {
        const QString chrome = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chrome.isEmpty())
            QSKIP("Debian's chromium is not installed (./run deps installs it)");
        FieldRun run;
        QVERIFY(run.startSimulator(kField));
        const quint16 httpPort = freePort();
        QVERIFY2(run.startStation({QStringLiteral("--http-port"), QString::number(httpPort)}),
                 run.stationLog().constData());
        const QString url = u"http://127.0.0.1:"_qs + QString::number(httpPort) + u'/';
        const QString profile = run.path(QStringLiteral("chromium"));

        // Before its time-out the silent channel is not red; the answering one turns green.
        QTRY_COMPARE_WITH_TIMEOUT(rowStatus(httpPort, 1).second, QStringLiteral("#008000"), 15000);
        const QByteArray before = chromium(chrome, profile, {QStringLiteral("--dump-dom"), url});
        const QString beforeShot = run.path(QStringLiteral("before.png"));
        chromium(
            chrome, profile,
            {QStringLiteral("--window-size=1400,1200"), u"--screenshot="_qs + beforeShot, url});
        const bool stillWaiting = rowStatus(httpPort, 3).second != u"#ff0000";
        QVERIFY2(pageRow(before, 1).contains("data-colour=\"#008000\""), before.constData());
        if (stillWaiting) {
            QVERIFY2(!pageRow(before, 3).contains("#ff0000"), pageRow(before, 3).constData());
            QVERIFY(pageRow(before, 3).contains("Silent"));
        } else {
            qWarning("the browser took longer than the silent channel's time-out");
        }

        QTRY_COMPARE_WITH_TIMEOUT(rowStatus(httpPort, 3).second, QStringLiteral("#ff0000"), 30000);
        const QByteArray after = chromium(chrome, profile, {QStringLiteral("--dump-dom"), url});
        const QByteArray silent = pageRow(after, 3);
        QVERIFY2(silent.contains("data-colour=\"#ff0000\"") &&
                     QString::fromUtf8(silent).contains(u"ПДЛ не отвечает"),
                 silent.constData());
        QVERIFY2(pageRow(after, 1).contains("data-colour=\"#008000\""), after.constData());

        // The screenshot shows the red the page drew; it stays beside the test to look at.
        const QString afterShot = QDir::current().filePath(QStringLiteral("webstatus-silent.png"));
        QFile::remove(afterShot);
        chromium(chrome, profile,
                 {QStringLiteral("--window-size=1400,1200"), u"--screenshot="_qs + afterShot, url});
        const QImage shotBefore(beforeShot);
        const QImage shotAfter(afterShot);
        QVERIFY(!shotAfter.isNull() && shotAfter.width() == 1400);
        if (stillWaiting && !shotBefore.isNull())
            QCOMPARE(redPixels(shotBefore), 0);
        QVERIFY2(redPixels(shotAfter) > 50, qPrintable(QString::number(redPixels(shotAfter))));
    }
};

QTEST_GUILESS_MAIN(TestWebStatus)
#include "tst_webstatus.moc"
