#pragma once

class QAbstractSocket;

// Keep-alive probes on a connected socket, timed so that a peer gone without a
// word (power cut, cable pulled) is noticed within about a minute: the first
// probe after kIdleSeconds of silence, then one every kIntervalSeconds, and the
// connection fails after kProbeCount unanswered probes.
namespace TcpKeepAlive {
inline constexpr int kIdleSeconds = 30;
inline constexpr int kIntervalSeconds = 10;
inline constexpr int kProbeCount = 3;
} // namespace TcpKeepAlive

void enableTcpKeepAlive(QAbstractSocket& socket);
