#include "liverequest.h"

namespace {
constexpr qsizetype kQuotedBytes = 16;

std::optional<int> digits(QByteArrayView field)
{
    if (field.isEmpty())
        return std::nullopt;
    int value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}
} // namespace

std::optional<LiveRequest> LiveRequest::parse(QByteArrayView bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    const QByteArrayView text = bytes.first(zero >= 0 ? zero : bytes.size());
    const auto row = digits(text.first(qMin<qsizetype>(2, text.size())));
    const auto argument = digits(
        text.size() > 2 ? text.sliced(2, qMin<qsizetype>(2, text.size() - 2)) : QByteArrayView());
    if (!row || !argument)
        return std::nullopt;
    return LiveRequest{*row, *argument};
}

QString LiveRequest::quoted(QByteArrayView bytes)
{
    QString out = QStringLiteral("\"");
    for (const char c : bytes.first(qMin(kQuotedBytes, bytes.size()))) {
        const auto byte = quint8(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\')
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x") + QString::number(byte, 16).rightJustified(2, u'0');
    }
    out += u'"';
    if (bytes.size() > kQuotedBytes)
        out += QStringLiteral(" and %1 more bytes").arg(bytes.size() - kQuotedBytes);
    return out;
}
