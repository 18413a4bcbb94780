// The /metrics text: counts as written in the tables come out under their
// family with HELP and TYPE, histogram buckets cumulative in seconds, label
// values escaped, and Debian's promtool accepts the whole exposition.
#include "model/stationstate.h"
#include "web/metricsexposition.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {
// The sample lines of one family's series whose labels contain `labels`.
QByteArrayList samples(const QByteArray& text, const QByteArray& name, const QByteArray& labels)
{
    QByteArrayList out;
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(QByteArray(name + '{')) && line.contains(labels))
            out.append(line);
    return out;
}
} // namespace

class TestMetricsExposition : public QObject {
    Q_OBJECT

    std::unique_ptr<StationState> m_state;
    QByteArray m_text;

private slots:
    void init()
    {
        m_state = std::make_unique<StationState>();
        StationState& s = *m_state;
        s.channels[2].name = QStringLiteral("Резервуар \"3\"\\Б");
        s.channels[2].terminal = QStringLiteral("Терминал2");
        ChannelCounters& c = s.counters.channels[2];
        c.requestsSent = 5;
        c.measurementsAccepted = 3;
        c.statusAnswersAccepted = 1;
        c.timeouts = 1;
        c.lastAcceptedMsecs = 1765359005250; // 2025-12-10 09:30:05.250 UTC
        for (quint64 ms : {80, 300, 40000})
            c.responseTime.record(ms);
        s.terminals[1].comName = QStringLiteral("COM7");
        s.counters.terminals[1].lrcErrors = 4;
        s.counters.terminals[1].portState = TerminalCounters::PortState::Busy;
        s.counters.live.clientsNow = 2;
        m_text = MetricsExposition::write(s, {1, 10, 2});
    }

    void countsUnderTheirLabels()
    {
        const QByteArray third =
            "row=\"3\",name=\"Резервуар \\\"3\\\"\\\\Б\",terminal=\"Терминал2\"";
        const auto one = [&](const char* name, const QByteArray& labels) {
            const QByteArrayList lines = samples(m_text, name, labels);
            return lines.size() == 1 ? lines[0].mid(lines[0].lastIndexOf(' ') + 1) : QByteArray();
        };
        QCOMPARE(one("kx7r_channel_requests_sent_total", third), QByteArray("5"));
        QCOMPARE(one("kx7r_channel_measurements_accepted_total", third), QByteArray("3"));
        QCOMPARE(one("kx7r_channel_status_answers_accepted_total", third), QByteArray("1"));
        QCOMPARE(one("kx7r_channel_timeouts_total", third), QByteArray("1"));
        QCOMPARE(one("kx7r_channel_answered_ratio", third), QByteArray("0.8"));
        QCOMPARE(one("kx7r_channel_last_answer_timestamp_seconds", third),
                 QByteArray("1765359005.25"));
        QCOMPARE(one("kx7r_channel_last_response_seconds", third), QByteArray("40"));
        // 80 ms, 300 ms and 40 s: cumulative over bounds of 0.1, 0.25, 0.5 ... 30 s.
        QCOMPARE(one("kx7r_channel_response_seconds_bucket", third + ",le=\"0.1\""),
                 QByteArray("1"));
        QCOMPARE(one("kx7r_channel_response_seconds_bucket", third + ",le=\"0.25\""),
                 QByteArray("1"));
        QCOMPARE(one("kx7r_channel_response_seconds_bucket", third + ",le=\"0.5\""),
                 QByteArray("2"));
        QCOMPARE(one("kx7r_channel_response_seconds_bucket", third + ",le=\"30\""),
                 QByteArray("2"));
        QCOMPARE(one("kx7r_channel_response_seconds_bucket", third + ",le=\"+Inf\""),
                 QByteArray("3"));
        QCOMPARE(one("kx7r_channel_response_seconds_sum", third), QByteArray("40.38"));
        QCOMPARE(one("kx7r_channel_response_seconds_count", third), QByteArray("3"));
        // Every row is there, configured or not.
        QCOMPARE(samples(m_text, "kx7r_channel_timeouts_total", "row=").size(), 30);

        const QByteArray second = "terminal=\"Терминал2\",port=\"COM7\"";
        QCOMPARE(one("kx7r_terminal_lrc_errors_total", second), QByteArray("4"));
        QCOMPARE(one("kx7r_terminal_port_state", second + ",state=\"busy\""), QByteArray("1"));
        QCOMPARE(one("kx7r_terminal_port_state", second + ",state=\"connected\""), QByteArray("0"));
        QVERIFY(m_text.contains("\nkx7r_live_clients 2\n"));
        QVERIFY(m_text.contains("\nkx7r_http_requests_total 10\n"));
        QVERIFY(m_text.contains("\nkx7r_http_bad_requests_total 2\n"));
        QVERIFY(m_text.contains("# TYPE kx7r_channel_response_seconds histogram\n"));
        QVERIFY(m_text.contains("# TYPE kx7r_live_clients gauge\n"));
        QVERIFY(m_text.contains("# HELP kx7r_terminal_lrc_errors_total "));
    }

    void promtoolAcceptsIt()
    {
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (promtool.isEmpty())
            QSKIP("promtool (Debian's prometheus) is not installed");
        QProcess check;
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(check.waitForStarted());
        check.write(m_text);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        const QByteArray said = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
    }
};

QTEST_GUILESS_MAIN(TestMetricsExposition)
#include "tst_metricsexposition.moc"
