#pragma once

#include <QDialog>

class QLabel;

// The about box of the notification menu's "О программе": created once with the
// main window, shown without blocking it, always on top, closed again by "OK".
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Shows the box centred on the screen (or brings it forward when shown).
    void showBox();

    static QPixmap drawPicture();

private:
    void centreOnScreen();
};
