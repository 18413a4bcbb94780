#include "texticons.h"

#include <QPainter>
#include <QPixmap>

TextIcons::TextIcons()
    : m_icons{QIcon(drawPicture(QColor(0, 0, 0))), QIcon(drawPicture(QColor(0, 128, 0))),
              QIcon(drawPicture(QColor(255, 0, 0)))}
{
}

const QIcon& TextIcons::icon(int iconState) const
{
    if (iconState < 0 || iconState >= int(m_icons.size()))
        return m_icons[0];
    return m_icons[size_t(iconState)];
}

// A light tile with the system's name in two rows of bold letters, which stay
// readable at 16 px; only the lettering takes the state's colour.
QPixmap TextIcons::drawPicture(const QColor& lettering)
{
    QPixmap picture(kSize, kSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(QColor(255, 255, 225));
    painter.drawRect(0, 0, kSize - 1, kSize - 1);

    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(7);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(lettering);
    painter.drawText(QRect(0, 0, kSize, 8), Qt::AlignCenter, QStringLiteral("КХ"));
    painter.drawText(QRect(0, 7, kSize, 8), Qt::AlignCenter, QStringLiteral("7Р"));
    painter.end();
    return picture;
}
