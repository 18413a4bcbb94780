#include "badinputlog.h"

#include "model/logcategories.h"

void BadInputLog::report(const QString& what)
{
    if (!m_window.isValid() || m_window.elapsed() >= kWindowMs) {
        summarise();
        m_window.start();
        m_lines = 0;
    }
    if (m_lines >= kLinesPerWindow) {
        ++m_leftOut;
        return;
    }
    ++m_lines;
    qCWarning(lcAnswers).noquote() << "live client" << m_peer << what;
}

void BadInputLog::close()
{
    summarise();
}

void BadInputLog::summarise()
{
    if (m_leftOut == 0)
        return;
    qCWarning(lcAnswers).noquote()
        << "live client" << m_peer << "sent" << m_leftOut << "more bad requests, not logged";
    m_leftOut = 0;
}
