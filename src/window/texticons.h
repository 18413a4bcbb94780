#pragma once

#include <QIcon>
#include <array>

// The three 16 x 16 pictures of the notification icon, drawn in code and alike
// but for the colour of their lettering: black (iconState 0, idle), green (1, a
// good answer) and red (2, a request sent or a damaged answer).
class TextIcons {
public:
    static constexpr int kSize = 16;

    TextIcons();

    // The picture of an iconState; an unknown state shows the idle picture.
    const QIcon& icon(int iconState) const;
    const QIcon& imgBlackTextIcon() const { return m_icons[0]; }
    const QIcon& imgGreenTextIcon() const { return m_icons[1]; }
    const QIcon& imgRedTextIcon() const { return m_icons[2]; }

    static QPixmap drawPicture(const QColor& lettering);

private:
    std::array<QIcon, 3> m_icons;
};
