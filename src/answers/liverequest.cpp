#include "liverequest.h"

namespace {
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
