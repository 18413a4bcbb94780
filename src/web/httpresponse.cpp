#include "httpresponse.h"

QByteArray HttpResponse::reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

HttpResponse HttpResponse::error(int status)
{
    HttpResponse response;
    response.status = status;
    response.body = QByteArray::number(status) + ' ' + reason(status) + '\n';
    if (status == 405)
        response.headers.emplaceBack("Allow", "GET, HEAD");
    return response;
}

QByteArray HttpResponse::serialized(bool keepAlive, bool head) const
{
    QByteArray out;
    out.reserve(256 + (head ? 0 : body.size()));
    out += "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\n";
    out += "X-Content-Type-Options: nosniff\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!head)
        out += body;
    return out;
}
