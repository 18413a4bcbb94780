#include "fixedclock.h"
#include "settingsfixture.h"

#include "model/stationtexts.h"
#include "shell/station.h"
#include "window/taboutbox.h"
#include "window/tformmain.h"

#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <QTest>

// Grabs every page of the main window and the about box as PNG files under
// build/screenshots/, for people to look at; nothing is compared by pixels.
class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void grabPagesAndAboutBox()
    {
        SettingsFixture fixture;
        fixture.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
        fixture.setRoot(QStringLiteral("HistoryFolder"), QStringLiteral("/var/lib/kx7r/archive"));
        for (int row = 1; row <= kChannelCount; ++row) {
            const bool polled = row <= 12;
            fixture.setChannel(
                row, QStringLiteral("Резервуар %1").arg(row),
                polled ? QStringLiteral("Терминал%1").arg((row - 1) / 4 + 1) : Texts::notConnected,
                row % 5 == 0 ? Texts::modeActive : Texts::modeOnRequest, QString::number(row),
                QString::number((row - 1) % 8), QStringLiteral("5"));
        }
        for (int n = 1; n <= kTerminalCount; ++n)
            fixture.setTerminal(n, n <= 3 ? QStringLiteral("COM%1").arg(n) : Texts::portUndefined);
        FixedClock clock;
        Station station(fixture.store(), clock, quint16(0));
        station.start(false);

        StationState& state = station.state();
        state.queryList.setCell(1, QueryColumn::Status, Texts::dataReceived, CellColour::Green);
        state.queryList.setCell(1, QueryColumn::Waiting, QStringLiteral("5 сек"),
                                CellColour::Black);
        state.queryList.setCell(1, QueryColumn::Version, QStringLiteral("2.07"), CellColour::Blue);
        state.queryList.setCell(2, QueryColumn::Status, Texts::blockNotAnswering, CellColour::Red);
        state.queryList.setCell(2, QueryColumn::Version, Texts::unknownVersion, CellColour::Red);
        state.queryList.setCell(3, QueryColumn::Waiting,
                                Texts::waitingPrefix + u'3' + Texts::secondsSuffix,
                                CellColour::Blue);
        // The longest texts the grid shows, as the blocks and the timers write them.
        state.queryList.setCell(4, QueryColumn::Status,
                                QStringLiteral("Нет сигнала от датчика (адрес 7)"),
                                CellColour::Red);
        state.queryList.setCell(4, QueryColumn::Waiting,
                                Texts::waitingPrefix + QStringLiteral("120") + Texts::secondsSuffix,
                                CellColour::Black);
        state.queryList.setCell(4, QueryColumn::Version, QStringLiteral("RLX.042.307.DTC.001"),
                                CellColour::Black);
        state.queryList.setCell(5, QueryColumn::Status,
                                QStringLiteral("ПДЛ ожидает ответа от датчика"), CellColour::Blue);
        state.currentConnections.setRows(3);
        state.currentConnections.setCell(1, 0, QStringLiteral("1"), CellColour::Black);
        state.currentConnections.setCell(1, 1, QStringLiteral("127.0.0.1"), CellColour::Black);
        state.currentConnections.setCell(1, 2, QStringLiteral("5000"), CellColour::Black);
        state.currentConnections.setCell(1, 3, QStringLiteral("127.0.0.1"), CellColour::Black);
        state.currentConnections.setCell(1, 4, QStringLiteral("51234"), CellColour::Black);

        TFormMain window(station);
        window.findChild<QCheckBox*>(QStringLiteral("chkReciveToMemo"))->setChecked(true);
        for (const char* line :
             {"+---------------------------------+", "Терминал 1 (COM1)", "Адрес ПДЛ: 1",
              "Сообщение: #52", "   Данные: 00 01 02 03 04 05 06 07", "           08",
              "      CRC: A7", "+---------------------------------+"})
            station.monitor().appendLine(QString::fromUtf8(line));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QString dir = QStringLiteral(KX7R_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(dir));
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl"));
        QVERIFY(pages);
        const QStringList names{QStringLiteral("page1-poll-list"),
                                QStringLiteral("page2-com-ports"), QStringLiteral("page3-tcp"),
                                QStringLiteral("page4-archive")};
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QCoreApplication::sendPostedEvents();
            // Pages after the four by their place.
            const QString name = names.value(i, QStringLiteral("page%1").arg(i + 1));
            const QString file = dir + u'/' + name + QStringLiteral(".png");
            QVERIFY2(window.grab().save(file), qPrintable(file));
        }

        window.aboutBox().showBox();
        QVERIFY(QTest::qWaitForWindowExposed(&window.aboutBox()));
        QVERIFY(window.aboutBox().grab().save(dir + QStringLiteral("/about-box.png")));
        QVERIFY(window.icons().imgGreenTextIcon().pixmap(16).scaled(64, 64).save(
            dir + QStringLiteral("/icon-green-x4.png")));
    }
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
