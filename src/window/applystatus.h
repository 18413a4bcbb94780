#pragma once

#include <QLabel>
#include <QTimer>

// The short line beside an "Применить" that says what the last Apply did: a
// success for a few seconds, without a click; a refusal or an edit not yet
// applied until the next Apply.
class ApplyStatus : public QLabel {
    Q_OBJECT
public:
    static constexpr int kShownMs = 8000;

    explicit ApplyStatus(const QString& name, QWidget* parent = nullptr);

    void showApplied(const QString& text);
    void showRefused(const QString& text);
    void showPending(const QString& text);
    void clearStatus();
    bool isPending() const { return m_pending; }

private:
    void showText(const QString& text, const QColor& colour);

    QTimer m_hide;
    bool m_pending = false;
};
