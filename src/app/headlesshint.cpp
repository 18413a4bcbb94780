#include "headlesshint.h"

#include <QString>
#include <cstdio>

namespace {
QtMessageHandler g_previous = nullptr;

void withHint(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_previous)
        g_previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
    if (type == QtFatalMsg)
        std::fprintf(stderr, "kx7r-station: the window cannot be shown here (no display); "
                             "start with --headless to run without it\n");
}
} // namespace

HeadlessHint::HeadlessHint()
{
    m_previous = qInstallMessageHandler(withHint);
    g_previous = m_previous;
}

HeadlessHint::~HeadlessHint()
{
    qInstallMessageHandler(m_previous);
    g_previous = nullptr;
}
