#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What a program run to its end left: its exit code (-1 when it crashed or
// was killed at the time limit) and both of its outputs.
struct ProgramRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

ProgramRun
runProgram(const QString& program, const QStringList& arguments, int timeoutMs = 60000,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
