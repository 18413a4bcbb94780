#pragma once

#include <QtGlobal>

// While it lives, a fatal message (no display for the window: Qt cannot start
// its platform plugin) is followed by the way out, --headless.
class HeadlessHint {
public:
    HeadlessHint();
    ~HeadlessHint();
    HeadlessHint(const HeadlessHint&) = delete;
    HeadlessHint& operator=(const HeadlessHint&) = delete;

private:
    QtMessageHandler m_previous = nullptr;
};
