#pragma once

#include <QByteArray>

// The history protocol's request codes and line end, written once for the
// history service and the history client (kx7r-history). Every request starts
// with ':' and its two-digit code; the station's replies end in LF CR.
namespace HistoryCodes {

inline const QByteArray lineEnd = QByteArrayLiteral("\n\r"); // LF then CR

inline const QByteArray select = QByteArrayLiteral("01");      // a period's files
inline const QByteArray describe = QByteArrayLiteral("02");    // one file, or acknowledge
inline const QByteArray fetch = QByteArrayLiteral("03");       // the described file's bytes
inline const QByteArray identify = QByteArrayLiteral("04");    // "000" for a new ID
inline const QByteArray lastMeasure = QByteArrayLiteral("05"); // LastMeasure

// ':' and the code: how a request or its reply begins.
inline QByteArray start(const QByteArray& code)
{
    return ':' + code;
}

// Replies to a describe: no such file, and no file left.
inline const QByteArray refused = QByteArrayLiteral(":0299") + lineEnd;
inline const QByteArray nothingLeft = QByteArrayLiteral(":0200") + lineEnd;

} // namespace HistoryCodes
