#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

// Where a TCP service listens, as the settings and options give it: empty or
// "*" for every interface (IPv4 and IPv6), else one numeric IPv4 or IPv6
// address. Host names are refused: a name that resolves differently later
// would move the service without a word.
namespace ListenAddress {

// The address a text names, or nothing when it names none.
std::optional<QHostAddress> parse(const QString& text);

// Why parse refused the text, for the log and --check-config.
QString rejection(const QString& text);

// "*:5000", "127.0.0.1:5000", "[::1]:5000".
QString endpoint(const QHostAddress& address, quint16 port);

} // namespace ListenAddress
