#include "httprequestreader.h"

#include <QList>
#include <algorithm>

namespace {

constexpr qsizetype kMaxTargetBytes = 2048;

// RFC 9110 token characters, for methods and header names.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (!isTokenChar(c))
            return false;
    return true;
}

// Visible ASCII only: no space, no control byte, nothing above 0x7E.
bool isPlainTarget(QByteArrayView target)
{
    for (const char c : target)
        if (quint8(c) <= 0x20 || quint8(c) >= 0x7F)
            return false;
    return true;
}

bool hasControlByte(QByteArrayView value)
{
    for (const char c : value)
        if ((quint8(c) < 0x20 && c != '\t') || quint8(c) == 0x7F)
            return true;
    return false;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// One line from `from`: its text without CR LF (or a bare LF), and where the next starts.
struct Line {
    QByteArrayView text;
    qsizetype next = -1; // -1: no line end yet
};
Line lineAt(QByteArrayView bytes, qsizetype from)
{
    const qsizetype end = bytes.indexOf('\n', from);
    if (end < 0)
        return {};
    QByteArrayView text = bytes.sliced(from, end - from);
    if (text.endsWith('\r'))
        text.chop(1);
    return {text, end + 1};
}

} // namespace

HttpRequestReader::Result HttpRequestReader::refuse(int error, QByteArray why)
{
    Result result;
    result.status = Status::Bad;
    result.error = error;
    result.why = std::move(why);
    return result;
}

HttpRequestReader::Result HttpRequestReader::read(QByteArrayView bytes)
{
    // Empty lines before a request line are ignored, as clients may send one
    // after a previous request's end.
    qsizetype start = 0;
    while (start < bytes.size() && start < kMaxHeadBytes &&
           (bytes[start] == '\r' || bytes[start] == '\n'))
        ++start;

    Result result;
    qsizetype at = start;
    int lines = 0;
    while (true) {
        const Line line = lineAt(bytes, at);
        // The bound counts from the first byte: a client's buffer never holds more.
        if (line.next < 0 || line.next > kMaxHeadBytes) {
            if (bytes.size() < kMaxHeadBytes)
                return result; // Incomplete
            return lines == 0 ? refuse(414, "a request line over the bound")
                              : refuse(431, "a request head over the bound");
        }
        at = line.next;
        if (line.text.isEmpty() && lines > 0)
            break;
        if (lines == 0) {
            if (!readRequestLine(line.text, result))
                return result;
        } else {
            if (lines > kMaxHeaderLines)
                return refuse(431, "too many header lines");
            if (!readHeaderLine(line.text, result))
                return result;
        }
        ++lines;
    }
    result.status = Status::Complete;
    result.consumed = at;
    if (result.closeAsked)
        result.request.keepAlive = false;
    return result;
}

bool HttpRequestReader::readRequestLine(QByteArrayView line, Result& result)
{
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace) {
        result = refuse(400, "no request line");
        return false;
    }
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!isToken(method)) {
        result = refuse(400, "no request method");
        return false;
    }
    if (target.size() > kMaxTargetBytes) {
        result = refuse(414, "a target over the bound");
        return false;
    }
    if (!target.startsWith('/') || !isPlainTarget(target)) {
        result = refuse(400, "a target that is not a path");
        return false;
    }
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9') {
        result = refuse(400, "no HTTP version");
        return false;
    }
    if (version[5] != '1') {
        result = refuse(505, "an HTTP version other than 1.x");
        return false;
    }
    qsizetype pathEnd = target.size();
    for (const char end : {'?', '#'})
        if (const qsizetype i = target.indexOf(end); i >= 0 && i < pathEnd)
            pathEnd = i;
    result.request.method = method.toByteArray();
    result.request.path = target.first(pathEnd).toByteArray();
    // HTTP/1.0 closes after each reply unless it asks otherwise.
    result.request.keepAlive = version[7] != '0';
    return true;
}

bool HttpRequestReader::readHeaderLine(QByteArrayView line, Result& result)
{
    const qsizetype colon = line.indexOf(':');
    // A name with space before its colon, or a folded line, is a smuggling risk.
    if (colon <= 0 || !isToken(line.first(colon))) {
        result = refuse(400, "a header line without a name");
        return false;
    }
    const QByteArray name = line.first(colon).toByteArray().toLower();
    const QByteArrayView value = trimmed(line.sliced(colon + 1));
    if (hasControlByte(value)) {
        result = refuse(400, "a control byte in a header");
        return false;
    }
    if (name == "transfer-encoding" || (name == "content-length" && value != "0")) {
        result = refuse(400, "a request body");
        return false;
    }
    if (name == "host")
        result.request.host = value.toByteArray();
    if (name == "connection") {
        const QList<QByteArray> options = value.toByteArray().toLower().split(',');
        const auto asks = [&options](QByteArrayView token) {
            return std::any_of(options.begin(), options.end(), [token](const QByteArray& option) {
                return trimmed(option) == token;
            });
        };
        // "close" wins over anything else in the list, also in a later line.
        if (asks("close"))
            result.closeAsked = true;
        else if (asks("keep-alive"))
            result.request.keepAlive = true;
    }
    return true;
}
