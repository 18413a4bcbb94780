// The "Диагностика" page: after the station's four pages and before Modbus,
// its grids show the station's counters, refreshed each second while shown.
#include "windowrig.h"

#include "window/cellgridview.h"
#include "window/diagnosticspage.h"

#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDiagnosticsPage : public QObject {
    Q_OBJECT
private slots:
    void comesAfterTheFourPagesAndBeforeModbus()
    {
        WindowRig rig(u"Бак"_s);
        auto* pages = rig.window->findChild<QTabWidget*>(u"PageControl"_s);
        QVERIFY(pages);
        QStringList captions;
        for (int i = 0; i < pages->count(); ++i)
            captions.append(pages->tabText(i));
        const qsizetype at = captions.indexOf(u"Диагностика"_s);
        QVERIFY2(at >= 4, qPrintable(captions.join(u", ")));
        QCOMPARE(captions.value(at + 1), u"Modbus TCP"_s);
        QVERIFY(rig.window->findChild<DiagnosticsPage*>(u"tsDiagnostics"_s));
    }

    void showsTheCountersAndRefreshesWhileShown()
    {
        WindowRig rig(u"Бак"_s);
        StationState& state = rig.station->state();
        ChannelCounters& row1 = state.counters.channels[0];
        row1.requestsSent = 3;
        row1.measurementsAccepted = 2;
        row1.timeouts = 1;
        state.counters.terminals[0].lrcErrors = 5;
        state.counters.live.badRequests = 6;

        DiagnosticsPage page(*rig.station);
        page.resize(1060, 700);
        auto* channels = page.findChild<CellGridView*>(u"tblDiagnosticsChannels"_s);
        auto* terminals = page.findChild<CellGridView*>(u"tblDiagnosticsTerminals"_s);
        auto* services = page.findChild<QLabel*>(u"lblDiagnosticsServices"_s);
        QVERIFY(channels && terminals && services);
        const CellGrid& c = channels->grid();
        const CellGrid& t = terminals->grid();
        QCOMPARE(c.text(1, DiagnosticsGrids::Name), u"Бак 1"_s);
        QCOMPARE(c.text(1, DiagnosticsGrids::Requests), u"3"_s);
        QCOMPARE(c.text(1, DiagnosticsGrids::Answered), u"66 %"_s);
        QCOMPARE(c.colour(1, DiagnosticsGrids::Answered), CellColour::Red);
        QCOMPARE(t.text(1, DiagnosticsGrids::LrcErrors), u"5"_s);
        QVERIFY2(services->text().contains(u"6 неверных запросов"_s), qPrintable(services->text()));
        // Read-only.
        QVERIFY(!(c.flags(c.index(0, DiagnosticsGrids::Requests)) & Qt::ItemIsEditable));

        QVERIFY(!page.refreshTimer().isActive());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(page.refreshTimer().isActive());
        QCOMPARE(page.refreshTimer().interval(), 1000);

        row1.measurementsAccepted = 9; // 9 of 10
        ++state.counters.terminals[0].lrcErrors;
        QTRY_COMPARE(c.text(1, DiagnosticsGrids::Answered), u"90 %"_s);
        QCOMPARE(t.text(1, DiagnosticsGrids::LrcErrors), u"6"_s);

        page.hide();
        QVERIFY(!page.refreshTimer().isActive());
    }
};

QTEST_MAIN(TestDiagnosticsPage)
#include "tst_diagnosticspage.moc"
