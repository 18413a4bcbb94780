// The web status service's request reader, bytes in and one head out: what
// it takes, what it leaves for the next request, and what it refuses with
// which status, at and just past every bound.
#include "web/httprequestreader.h"

#include <QTest>

using Status = HttpRequestReader::Status;
Q_DECLARE_METATYPE(HttpRequestReader::Status)

namespace {
// A head of exactly `size` bytes: the request line, one padding header, the blank line.
QByteArray headOfSize(qsizetype size)
{
    const QByteArray start = "GET / HTTP/1.1\r\nX-Pad: ";
    const QByteArray end = "\r\n\r\n";
    return start + QByteArray(size - start.size() - end.size(), 'p') + end;
}
} // namespace

class TestHttpRequestReader : public QObject {
    Q_OBJECT
private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Status>("status");
        QTest::addColumn<int>("error");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<qsizetype>("consumed");

        const auto complete = [](const char* name, const QByteArray& bytes, const char* method,
                                 const char* path, bool keepAlive, qsizetype consumed = -1) {
            QTest::newRow(name) << bytes << Status::Complete << 0 << QByteArray(method)
                                << QByteArray(path) << keepAlive
                                << (consumed < 0 ? bytes.size() : consumed);
        };
        const auto refused = [](const char* name, const QByteArray& bytes, int error) {
            QTest::newRow(name) << bytes << Status::Bad << error << QByteArray() << QByteArray()
                                << true << qsizetype(0);
        };
        const auto incomplete = [](const char* name, const QByteArray& bytes) {
            QTest::newRow(name) << bytes << Status::Incomplete << 0 << QByteArray() << QByteArray()
                                << true << qsizetype(0);
        };

        complete("GET of the page, HTTP/1.1 stays open",
                 "GET / HTTP/1.1\r\nHost: 127.0.0.1:5080\r\nAccept: */*\r\n\r\n", "GET", "/", true);
        complete("query and fragment dropped from the path",
                 "GET /api/status?fresh=1#x HTTP/1.1\r\n\r\n", "GET", "/api/status", true);
        complete("HEAD", "HEAD /metrics HTTP/1.1\r\n\r\n", "HEAD", "/metrics", true);
        complete("HTTP/1.0 closes", "GET / HTTP/1.0\r\n\r\n", "GET", "/", false);
        complete("HTTP/1.0 asking keep-alive", "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n",
                 "GET", "/", true);
        complete("Connection: close", "GET / HTTP/1.1\r\nconnection: TE, close\r\n\r\n", "GET", "/",
                 false);
        complete("close wins over a later keep-alive",
                 "GET / HTTP/1.1\r\nConnection: close\r\nConnection: keep-alive\r\n\r\n", "GET",
                 "/", false);
        complete("bare LF line ends", "GET /metrics HTTP/1.1\nHost: x\n\n", "GET", "/metrics",
                 true);
        complete("empty lines before the request line count as taken",
                 "\r\n\r\nGET / HTTP/1.1\r\n\r\n", "GET", "/", true);
        complete("pipelined: the first request only",
                 "GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n", "GET", "/a", true, 19);
        complete("Content-Length 0 is no body", "GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
                 "GET", "/", true);
        complete("another method is read, for the service to refuse",
                 "DELETE /api/status HTTP/1.1\r\n\r\n", "DELETE", "/api/status", true);
        complete("a head of exactly the bound", headOfSize(HttpRequestReader::kMaxHeadBytes), "GET",
                 "/", true);

        incomplete("nothing yet", "");
        incomplete("request line without its end", "GET / HTTP/1.1");
        incomplete("headers without the blank line", "GET / HTTP/1.1\r\nHost: x\r\n");
        incomplete("under the bound, no end yet",
                   headOfSize(HttpRequestReader::kMaxHeadBytes).chopped(2));

        refused("a head one byte over the bound", headOfSize(HttpRequestReader::kMaxHeadBytes + 1),
                431);
        refused("a request line longer than the bound",
                "GET /" + QByteArray(HttpRequestReader::kMaxHeadBytes, 'a'), 414);
        refused("a target over 2048 bytes", "GET /" + QByteArray(2048, 'a') + " HTTP/1.1\r\n\r\n",
                414);
        {
            QByteArray many = "GET / HTTP/1.1\r\n";
            for (int i = 0; i <= HttpRequestReader::kMaxHeaderLines; ++i)
                many += "X: " + QByteArray::number(i) + "\r\n";
            refused("one header line more than allowed", many + "\r\n", 431);
        }
        refused("a body by its length", "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 400);
        refused("a chunked body", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 400);
        refused("HTTP/2", "GET / HTTP/2.0\r\n\r\n", 505);
        refused("no version", "GET /\r\n\r\n", 400);
        refused("a version that is not one", "GET / HTTP/1.x\r\n\r\n", 400);
        refused("an absolute target", "GET http://example.org/ HTTP/1.1\r\n\r\n", 400);
        refused("the asterisk target", "OPTIONS * HTTP/1.1\r\n\r\n", 400);
        refused("two spaces after the method", "GET  / HTTP/1.1\r\n\r\n", 400);
        refused("a method with a slash", "G/T / HTTP/1.1\r\n\r\n", 400);
        refused("a control byte in the target", "GET /\x01 HTTP/1.1\r\n\r\n", 400);
        refused("space before a header's colon", "GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400);
        refused("a folded header line", "GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n", 400);
        refused("a header line without a colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", 400);
        refused("a NUL in a header value", QByteArray("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n", 26),
                400);
        refused("binary noise with a line end", "\x16\x03\x01\x02\x05\x01\xff\n\n", 400);
    }
    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Status, status);
        const HttpRequestReader::Result result = HttpRequestReader::read(bytes);
        QCOMPARE(result.status, status);
        if (status == Status::Bad) {
            QTEST(result.error, "error");
            QVERIFY(!result.why.isEmpty());
            return;
        }
        if (status == Status::Incomplete)
            return;
        QTEST(result.request.method, "method");
        QTEST(result.request.path, "path");
        QTEST(result.request.keepAlive, "keepAlive");
        QTEST(result.consumed, "consumed");
    }
};

QTEST_GUILESS_MAIN(TestHttpRequestReader)
#include "tst_httprequestreader.moc"
