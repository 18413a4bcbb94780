// A web client's bytes through the service's own step, as read events deliver
// them: the first byte sets how many arrive per event, the rest is the stream.
// The client's buffer never passes its bound, every reply says its length
// truly, and a bad request ends the connection.
#include "../fuzzapplication.h"

#include "answers/latestanswers.h"
#include "model/clock.h"
#include "model/stationstate.h"
#include "net/badinputlog.h"
#include "web/httprequestreader.h"
#include "web/weblogging.h"
#include "web/webservice.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {

struct WebRequests {
    SystemClock clock;
    StationState state;
    LatestAnswers latest{clock};
    WebService web{state, latest, clock};
    BadInputLog log{lcWeb, QStringLiteral("web client fuzz")};

    static void check(const QByteArray& reply)
    {
        const qsizetype end = reply.indexOf("\r\n\r\n");
        const qsizetype at = reply.indexOf("Content-Length: ");
        if (!reply.startsWith("HTTP/1.1 ") || end < 0 || at < 0 || at > end)
            std::abort();
        const qsizetype length = reply.mid(at + 16, reply.indexOf('\r', at) - at - 16).toLongLong();
        const qsizetype body = reply.size() - end - 4;
        // A reply to HEAD, of any status, carries the length without the body.
        if (body != length && body != 0)
            std::abort();
    }

    void run(const uint8_t* data, size_t size)
    {
        if (size == 0)
            return;
        const qsizetype chunk = 1 + data[0] % 64;
        const QByteArray stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
        QByteArray buffer;
        qsizetype at = 0;
        while (at < stream.size() || !buffer.isEmpty()) {
            const qsizetype room = HttpRequestReader::kMaxHeadBytes - buffer.size();
            const qsizetype take = qMin(qMin(chunk, room), stream.size() - at);
            buffer += stream.mid(at, take);
            at += take;
            if (buffer.size() > HttpRequestReader::kMaxHeadBytes)
                std::abort();
            const std::optional<WebService::Reply> reply = web.serveOne(buffer, log);
            if (!reply) {
                if (take == 0)
                    return; // the stream ended inside a request
                continue;
            }
            check(reply->bytes);
            if (reply->close)
                return;
        }
    }
};

WebRequests& requests()
{
    startFuzzApplication(true);
    static WebRequests web;
    return web;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    requests().run(data, size);
    return 0;
}
