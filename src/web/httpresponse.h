#pragma once

#include <QByteArray>
#include <QList>
#include <utility>

// One reply of the web status service, turned into bytes for the wire. Every
// reply says its length, forbids caching and sniffing, and says whether the
// connection stays open.
struct HttpResponse {
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers; // beside the standard ones

    static HttpResponse error(int status);
    static QByteArray reason(int status);
    // head: the reply to HEAD, without the body but with its length.
    QByteArray serialized(bool keepAlive, bool head = false) const;
};
