#include "listenaddress.h"

namespace ListenAddress {

std::optional<QHostAddress> parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == u"*")
        return QHostAddress(QHostAddress::Any);
    // QHostAddress takes "1" or "0x7f.1" as IPv4 too: only the usual spellings count.
    const QHostAddress address(trimmed);
    if (address.isNull())
        return std::nullopt;
    if (address.protocol() == QAbstractSocket::IPv4Protocol && trimmed.count(u'.') != 3)
        return std::nullopt;
    if (!address.scopeId().isEmpty())
        return std::nullopt;
    return address;
}

QString rejection(const QString& text)
{
    return QStringLiteral("\"%1\" is not an IP address (give a numeric IPv4 or IPv6 address, "
                          "or * or nothing for every interface)")
        .arg(text);
}

QString endpoint(const QHostAddress& address, quint16 port)
{
    if (address == QHostAddress::Any || address == QHostAddress::AnyIPv6 ||
        address == QHostAddress::AnyIPv4)
        return QStringLiteral("*:%1").arg(port);
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace ListenAddress
