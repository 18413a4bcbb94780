#pragma once

#include "httprequest.h"

#include <QByteArray>
#include <QByteArrayView>

// Reads one HTTP/1.x request head from the front of a client's bytes, in
// phases (find the head's end, the request line, the header lines), each
// refusing what a read-only status service never needs: a body, a head over
// kMaxHeadBytes, more than kMaxHeaderLines lines, a target that is not a
// plain path. Bytes in, a result out; no socket, so the fuzzer drives it.
class HttpRequestReader {
public:
    static constexpr qsizetype kMaxHeadBytes = 8 * 1024;
    static constexpr int kMaxHeaderLines = 64;

    enum class Status {
        Incomplete, // no end of head yet, and still under the bound
        Complete,   // request holds the head; consumed bytes taken
        Bad,        // reply with error and close: the rest cannot be framed
    };
    struct Result {
        Status status = Status::Incomplete;
        qsizetype consumed = 0; // bytes of the head, empty lines before it included
        HttpRequest request;
        int error = 0;  // HTTP status of the refusal: 400, 414, 431, 501, 505
        QByteArray why; // for the log
        bool closeAsked = false;
    };

    static Result read(QByteArrayView bytes);

private:
    static Result refuse(int error, QByteArray why);
    static bool readRequestLine(QByteArrayView line, Result& result);
    static bool readHeaderLine(QByteArrayView line, Result& result);
};
