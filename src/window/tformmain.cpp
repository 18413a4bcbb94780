#include "tformmain.h"

#include "model/stationtexts.h"
#include "shell/station.h"

TFormMain::TFormMain(Station& station, QWidget* parent) : QMainWindow(parent), m_station(station)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(Texts::windowCaption);
    resize(1069, 450);
}
