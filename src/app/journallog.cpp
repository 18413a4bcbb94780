#include "journallog.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <sys/stat.h>

namespace {

// sd-daemon(3) priorities.
const char* prefix(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "<7>";
    case QtInfoMsg:
        return "<6>";
    case QtWarningMsg:
        return "<4>";
    case QtCriticalMsg:
        return "<3>";
    case QtFatalMsg:
        return "<2>";
    }
    return "<6>";
}

void writeLine(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArray text = qFormatLogMessage(type, context, message).toUtf8();
    // One write per line, so lines of a message never interleave with others'.
    const QByteArray line = QByteArray(prefix(type)) + text + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

namespace JournalLog {

bool stderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    struct stat status {};
    if (fstat(fileno(stderr), &status) != 0)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    return deviceOk && inodeOk && device == qulonglong(status.st_dev) &&
           inode == qulonglong(status.st_ino);
}

bool install()
{
    if (!stderrIsJournal())
        return false;
    qSetMessagePattern(QStringLiteral("%{category}: %{message}"));
    qInstallMessageHandler(writeLine);
    return true;
}

} // namespace JournalLog
