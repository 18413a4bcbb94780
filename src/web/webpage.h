#pragma once

#include <QByteArray>

// The read-only status page served at "/": one HTML document with its style
// and script inline (no external resource, so it works on a plant network
// with no way out), which reads /api/status every kRefreshMs and redraws the
// poll list in the grid's colours, the terminals, the clients and the services.
class WebPage {
public:
    static constexpr int kRefreshMs = 2000;

    static const QByteArray& html();
    // The Content-Security-Policy that lets only the page's own script and
    // style run and only /api/status be fetched.
    static const QByteArray& contentSecurityPolicy();
};
