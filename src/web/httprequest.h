#pragma once

#include <QByteArray>

// One request head as the web status service reads it: the method, the path
// without its query, and whether the connection stays open after the reply.
struct HttpRequest {
    QByteArray method; // as sent: "GET", "HEAD", ...
    QByteArray path;   // "/api/status"; the query ("?...") is dropped
    QByteArray host;   // the Host header as sent; empty when there is none
    bool keepAlive = true;

    bool isHead() const { return method == "HEAD"; }
    bool isReadOnly() const { return method == "GET" || method == "HEAD"; }
};
