#pragma once

#include <QtGlobal>

// The archive writer since start-up.
struct ArchiveCounters {
    quint64 linesWritten = 0;
    quint64 writeFailures = 0;  // lines that could not be written
    quint64 folderFailures = 0; // archive folders that could not be created
};
