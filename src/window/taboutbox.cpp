#include "taboutbox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr int kClientWidth = 432;
constexpr int kClientHeight = 168;
constexpr int kPictureWidth = 150;
constexpr int kPictureHeight = 80;
const QColor kCream(255, 251, 240);

QLabel* boldBlueLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setBold(true);
    label->setFont(font);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
    return label;
}
} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kCream);
    setPalette(palette);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(2);

    auto* picture = new QLabel(panel);
    picture->setObjectName(QStringLiteral("ProgramIcon"));
    picture->setFixedSize(kPictureWidth, kPictureHeight);
    picture->setScaledContents(true);
    picture->setPixmap(drawPicture());

    auto* product =
        boldBlueLabel(QStringLiteral("Программа опроса блоков ПДЛ системы КХ7Р "), panel);
    product->setObjectName(QStringLiteral("ProductName"));
    auto* version = boldBlueLabel(QStringLiteral("Версия 1.3"), panel);
    version->setObjectName(QStringLiteral("Version"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addStretch();
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    panelLayout->addWidget(picture, 0, Qt::AlignTop);
    panelLayout->addSpacing(8);
    panelLayout->addLayout(texts, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(panel, 1);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

void TAboutBox::showBox()
{
    if (!isVisible())
        centreOnScreen();
    show();
    raise();
    activateWindow();
}

void TAboutBox::centreOnScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

// A tank with its level gauge: the installation the program polls.
QPixmap TAboutBox::drawPicture()
{
    QPixmap picture(kPictureWidth, kPictureHeight);
    picture.fill(kCream);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF tank(20, 14, 70, 58);
    const QRectF liquid(tank.left(), tank.top() + 24, tank.width(), tank.height() - 24);
    QLinearGradient fill(liquid.topLeft(), liquid.bottomLeft());
    fill.setColorAt(0, QColor(90, 150, 230));
    fill.setColorAt(1, QColor(20, 60, 160));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRect(liquid);
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(tank);

    // the probe down into the tank and its block on top
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    painter.drawLine(QPointF(55, 6), QPointF(55, 68));
    painter.setBrush(QColor(230, 200, 60));
    painter.drawRect(QRectF(47, 2, 16, 10));

    // the serial line to the station
    painter.setPen(QPen(QColor(0, 0, 255), 2, Qt::DashLine));
    painter.drawLine(QPointF(63, 7), QPointF(112, 7));
    painter.drawLine(QPointF(112, 7), QPointF(112, 30));
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.setBrush(QColor(220, 220, 220));
    painter.drawRect(QRectF(98, 30, 40, 28));
    painter.setBrush(QColor(0, 128, 0));
    painter.drawRect(QRectF(103, 35, 30, 16));
    painter.end();
    return picture;
}
