#include "applystatus.h"

#include <QTime>

ApplyStatus::ApplyStatus(const QString& name, QWidget* parent) : QLabel(parent)
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    m_hide.setSingleShot(true);
    m_hide.setInterval(kShownMs);
    connect(&m_hide, &QTimer::timeout, this, &ApplyStatus::clearStatus);
}

void ApplyStatus::showApplied(const QString& text)
{
    showText(text + QStringLiteral(" (") + QTime::currentTime().toString(u"HH:mm:ss") + u')',
             QColor(0, 128, 0));
    m_hide.start();
}

void ApplyStatus::showRefused(const QString& text)
{
    showText(text, QColor(255, 0, 0));
}

void ApplyStatus::showPending(const QString& text)
{
    showText(text, QColor(0, 0, 255));
    m_pending = true;
}

void ApplyStatus::clearStatus()
{
    m_hide.stop();
    m_pending = false;
    clear();
}

void ApplyStatus::showText(const QString& text, const QColor& colour)
{
    m_hide.stop();
    m_pending = false;
    QPalette look = palette();
    look.setColor(QPalette::WindowText, colour);
    setPalette(look);
    setText(text);
}
