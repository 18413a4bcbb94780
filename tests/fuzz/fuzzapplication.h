#pragma once

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>

// The one application object the station's parts need in a fuzz target, made on
// the first input. With quietLog the station's own log is off, so libFuzzer's
// output stays readable.
inline void startFuzzApplication(bool quietLog)
{
    static int argc = 1;
    static char name[] = "kx7r-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const bool quiet = [quietLog] {
        if (quietLog)
            QLoggingCategory::setFilterRules(QStringLiteral("kx7r.*=false"));
        return quietLog;
    }();
    Q_UNUSED(quiet);
}
