#pragma once

// The process's open-file limit. Every live client, archive file, serial line and
// history transfer holds a descriptor; the soft limit is often far below what the
// system allows.
class DescriptorLimit {
public:
    // Descriptors kept for everything but live clients: standard streams and the
    // event loop's own (about 10), the ten serial lines, both listening sockets,
    // the history client with its file and a refused connection, the archive
    // files of one tick (up to 30 channels), the settings file with its lock, and
    // the live service's accept-and-close: about 60, doubled for what Qt and the
    // C library open on their own.
    static constexpr int kReserve = 128;

    // Raises the soft limit to the hard limit; returns the soft limit in force.
    static long raiseToHard();
    // Live clients that fit beside the reserve, at most wanted and at least 1.
    static int liveClients(long limit, int wanted);
};
