#include "badinputlog.h"

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
    if (!m_service || m_service->take())
        qCWarning(m_category).noquote() << m_client << what;
}

void BadInputLog::close()
{
    summarise();
}

void BadInputLog::summarise()
{
    if (m_leftOut == 0)
        return;
    if (m_service && !m_service->take()) {
        m_leftOut = 0;
        return;
    }
    qCWarning(m_category).noquote()
        << m_client << "sent" << m_leftOut << "more bad requests, not logged";
    m_leftOut = 0;
}

QString BadInputLog::quoted(QByteArrayView bytes)
{
    QString out = QStringLiteral("\"");
    for (const char c : bytes.first(qMin(kQuotedBytes, bytes.size()))) {
        const auto byte = quint8(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\')
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x") + QString::number(byte, 16).rightJustified(2, u'0');
    }
    out += u'"';
    if (bytes.size() > kQuotedBytes)
        out += QStringLiteral(" and %1 more bytes").arg(bytes.size() - kQuotedBytes);
    return out;
}
