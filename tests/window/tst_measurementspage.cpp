#include "archivefile.h"
#include "archivelines.h"
#include "windowrig.h"

#include "answers/acceptedanswer.h"
#include "model/codepage1251.h"
#include "trends/archivecolumns.h"
#include "window/columnchooser.h"
#include "window/latestvaluesmodel.h"
#include "window/measurementspage.h"
#include "window/trendchartview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QDateTimeAxis>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>
#include <ctime>

namespace {
const int kS1 = ArchiveColumns::indexOf(QStringLiteral("Уровень S1, мм"));
const int kVolume = ArchiveColumns::indexOf(QStringLiteral("V жидк, м3"));
const int kT1 = ArchiveColumns::indexOf(QStringLiteral("T1"));

// The rig's clock: 2024-06-15 14:45:30 in Moscow (+03:00), 11:45:30 UTC.
const QDate kToday(2024, 6, 15);
// 2024-06-15 10:00:00 +03:00
constexpr qint64 kTenAm = 1718434800000;
constexpr qint64 kHour = 3600 * 1000;

// An accepted measurement of a row as the decoder hands it on: texts and numbers.
void acceptMeasurement(Station& station, int row, const QTime& time,
                       const QList<QPair<int, double>>& values)
{
    MeasurementRecord m;
    m.numbers.fill(qQNaN());
    m.columns[0] = QStringLiteral("Бак %1").arg(row + 1);
    m.columns[1] = time.toString(QStringLiteral("hh:mm:ss"));
    for (const auto& [column, value] : values) {
        m.columns[size_t(column)] = QString::number(value).replace(u'.', u',');
        m.numbers[size_t(column)] = value;
    }
    m.day = unsigned(kToday.day());
    m.month = unsigned(kToday.month());
    m.year = unsigned(kToday.year());
    m.hour = unsigned(time.hour());
    m.minute = unsigned(time.minute());
    m.second = unsigned(time.second());
    m.row = row;
    AcceptedAnswer answer;
    answer.row = row;
    answer.kind = AcceptedAnswer::Kind::Measurement;
    answer.measurement = m;
    station.latestAnswers().accept(answer);
}

QByteArray name1()
{
    return toCp1251(QStringLiteral("Бак 1"));
}
} // namespace

// The "Измерения" page on a running station: latest values, the trend read
// from archive files made by hand, live values, cancel, export, and a picture.
class TestMeasurementsPage : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(m_archive.isValid());
        m_rig = std::make_unique<WindowRig>(QStringLiteral("Бак"), m_archive.path());
        m_rig->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
        auto* pages = m_rig->window->findChild<QTabWidget*>(QStringLiteral("PageControl"));
        m_page = m_rig->window->findChild<MeasurementsPage*>();
        QVERIFY(pages && m_page);
        pages->setCurrentIndex(4);
        // The first load on showing the page is done before each test begins.
        QTRY_VERIFY(!m_page->isLoading());
    }

    void cleanup()
    {
        m_page = nullptr;
        m_rig.reset();
    }

    void isTheFifthPage()
    {
        auto* pages = m_rig->window->findChild<QTabWidget*>(QStringLiteral("PageControl"));
        QCOMPARE(pages->tabText(4), QStringLiteral("Измерения"));
        QCOMPARE(pages->tabText(5), QStringLiteral("Диагностика"));
        QVERIFY(pages->widget(4)->isAncestorOf(m_page));
    }

    void latestValuesAndTheirAge_data()
    {
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<QString>("ageText");
        QTest::addColumn<bool>("stale");
        // Row timeouts are 5 s: stale only beyond three of them.
        QTest::newRow("just now") << 0 << QStringLiteral("0 с") << false;
        QTest::newRow("three timeouts") << 15 << QStringLiteral("15 с") << false;
        QTest::newRow("past three timeouts") << 16 << QStringLiteral("16 с") << true;
        QTest::newRow("an hour and a bit") << 3725 << QStringLiteral("1 ч 02 мин") << true;
    }

    void latestValuesAndTheirAge()
    {
        QFETCH(int, ageSeconds);
        QFETCH(QString, ageText);
        QFETCH(bool, stale);
        const QDateTime received = m_rig->clock.now();
        acceptMeasurement(*m_rig->station, 2, QTime(14, 45, 30), {{kS1, 1234.5}, {kT1, 15.25}});
        m_rig->clock.set(received.addSecs(ageSeconds));
        LatestValuesModel& model = m_page->model();
        model.refreshAges();

        const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
            return model.data(model.index(row, column), role);
        };
        const int s1 = LatestValuesModel::FirstValue + int(model.valueColumns().indexOf(kS1));
        const int t1 = LatestValuesModel::FirstValue + int(model.valueColumns().indexOf(kT1));
        const int volume =
            LatestValuesModel::FirstValue + int(model.valueColumns().indexOf(kVolume));
        QCOMPARE(cell(2, LatestValuesModel::Name).toString(), QStringLiteral("Бак 3"));
        QCOMPARE(cell(2, LatestValuesModel::Time).toString(),
                 QStringLiteral("15.06.2024 14:45:30"));
        QCOMPARE(cell(2, LatestValuesModel::Age).toString(), ageText);
        QCOMPARE(cell(2, s1).toString(), QStringLiteral("1234,5"));
        QCOMPARE(cell(2, t1).toString(), QStringLiteral("15,25"));
        QCOMPARE(cell(2, volume).toString(), QString()); // not measured
        QCOMPARE(cell(2, s1, Qt::ForegroundRole).value<QColor>() == QColor(Qt::gray), stale);
        QCOMPARE(model.isStale(2), stale);
        // A row that never answered: its name, and nothing else, not even zeros.
        QCOMPARE(cell(3, LatestValuesModel::Name).toString(), QStringLiteral("Бак 4"));
        for (int column = LatestValuesModel::Time; column < model.columnCount(); ++column)
            QCOMPARE(cell(3, column).toString(), QString());
        QVERIFY(!model.isStale(3));
    }

    void tableColumnsFollowTheChoice()
    {
        LatestValuesModel& model = m_page->model();
        const QList<int> defaults{kS1, kVolume,
                                  ArchiveColumns::indexOf(QStringLiteral("Масса жидк, т")),
                                  ArchiveColumns::indexOf(QStringLiteral("Пл. жидк, кг/м3")), kT1};
        QCOMPARE(model.valueColumns(), defaults);
        QCOMPARE(model.headerData(LatestValuesModel::FirstValue, Qt::Horizontal, Qt::DisplayRole)
                     .toString(),
                 QStringLiteral("Уровень S1, мм"));

        // Another column chosen: in archive order, and the row stays selected and shown.
        m_page->selectRow(2);
        auto* chooser = m_page->findChild<ColumnChooser*>(QStringLiteral("btnTableColumns"));
        const int s2 = ArchiveColumns::indexOf(QStringLiteral("Уровень S2, мм"));
        chooser->action(s2)->setChecked(true);
        QCOMPARE(model.valueColumns().mid(0, 2), (QList<int>{kS1, s2}));
        QCOMPARE(
            model.headerData(LatestValuesModel::FirstValue + 1, Qt::Horizontal, Qt::DisplayRole)
                .toString(),
            QStringLiteral("Уровень S2, мм"));
        auto* table = m_page->findChild<QTableView*>(QStringLiteral("tblMeasurements"));
        QCOMPARE(table->currentIndex().row(), 2);
        QCOMPARE(m_page->trendRow(), 2);
    }

    void trendFromArchiveFiles()
    {
        writeArchiveFile(m_archive.path(), 15, 6, 2024, 1,
                         archiveHeader() +
                             archiveLine(name1(), "10:00:00", {{kS1, "1000,5"}, {kT1, "15,2"}}) +
                             archiveLine(name1(), "11:00:00", {{kS1, "1002"}}) +
                             archiveLine(name1(), "12:00:00", {{kS1, "999.25"}, {kT1, "14,8"}}) +
                             archiveLine(name1(), "13:00:00", {{kS1, "1003"}}).chopped(2)); // torn
        // Hours apart: far more pixel columns than points, so nothing is thinned.
        showTrend(MeasurementsPage::Range::Dates, {kS1, kT1}, QDate(2024, 6, 14), kToday);

        TrendChartView& chart = m_page->chartView();
        QCOMPARE(chart.lines().size(), 2);
        const QList<QPointF> level{{double(kTenAm), 1000.5},
                                   {double(kTenAm + kHour), 1002},
                                   {double(kTenAm + 2 * kHour), 999.25}};
        QCOMPARE(chart.lines()[0]->points(), level);
        const QList<QPointF> temperature{{double(kTenAm), 15.2},
                                         {double(kTenAm + 2 * kHour), 14.8}};
        QCOMPARE(chart.lines()[1]->points(), temperature);
        // Millimetres on the left, degrees on a second axis on the right.
        QCOMPARE(chart.valueAxes().size(), 2);
        QCOMPARE(chart.valueAxes()[0]->titleText(), QStringLiteral("мм"));
        QCOMPARE(chart.valueAxes()[1]->titleText(), QStringLiteral("°C"));
        QCOMPARE(chart.valueAxes()[1]->alignment(), Qt::AlignRight);
        QCOMPARE(chart.timeAxis()->min(), QDate(2024, 6, 14).startOfDay());
        // June 14th has no folder: counted, as is the torn line.
        QVERIFY2(m_page->noteText().contains(
                     QStringLiteral("Пропущено повреждённых или нечитаемых строк: 1.")),
                 qPrintable(m_page->noteText()));
        QVERIFY(m_page->noteText().contains(QStringLiteral("Нет архива за дн.: 1.")));
        QVERIFY(m_page->noteText().contains(QStringLiteral("прочитано строк 3")));

        // The pointer at 11:00 tells the time and each line's nearest value.
        const QPointF inChart =
            chart.chart()->mapToPosition(QPointF(double(kTenAm + kHour), 1001), chart.lines()[0]);
        const QPoint inView = chart.mapFromScene(chart.chart()->mapToScene(inChart));
        const QString text = chart.pointerText(inView);
        QVERIFY2(text.startsWith(QStringLiteral("15.06.2024 1")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Уровень S1, мм: 1002")), qPrintable(text));
        QCOMPARE(chart.pointerText(QPointF(1, 1)), QString()); // outside the plot
    }

    void zoomAndPanMoveTheTimeAxisOnly()
    {
        writeArchiveFile(m_archive.path(), 15, 6, 2024, 1,
                         archiveHeader() + archiveLine(name1(), "10:00:00", {{kS1, "10"}}) +
                             archiveLine(name1(), "12:00:00", {{kS1, "20"}}));
        showTrend(MeasurementsPage::Range::Dates, {kS1}, kToday, kToday);
        TrendChartView& chart = m_page->chartView();
        const auto span = [&] { return chart.timeAxis()->min().msecsTo(chart.timeAxis()->max()); };
        const qint64 day = span();
        const double low = chart.valueAxes()[0]->min();
        const double high = chart.valueAxes()[0]->max();
        const QPoint centre =
            chart.mapFromScene(chart.chart()->mapToScene(chart.chart()->plotArea().center()));

        QWheelEvent in(centre, chart.mapToGlobal(centre), {}, {0, 120}, Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart.viewport(), &in);
        QVERIFY2(std::abs(double(span()) - 0.8 * double(day)) < 0.01 * double(day),
                 qPrintable(QString::number(span())));
        QCOMPARE(chart.valueAxes()[0]->min(), low);
        QCOMPARE(chart.valueAxes()[0]->max(), high);

        const QDateTime before = chart.timeAxis()->min();
        QTest::mousePress(chart.viewport(), Qt::MiddleButton, {}, centre);
        QTest::mouseMove(chart.viewport(), centre + QPoint(50, 0));
        QTest::mouseRelease(chart.viewport(), Qt::MiddleButton, {}, centre + QPoint(50, 0));
        QVERIFY(chart.timeAxis()->min() < before); // dragged right: earlier times come in
        QCOMPARE(chart.valueAxes()[0]->min(), low);

        QTest::mouseDClick(chart.viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(chart.timeAxis()->min(), kToday.startOfDay());
    }

    void liveMeasurementsAreAppended()
    {
        writeArchiveFile(m_archive.path(), 15, 6, 2024, 1,
                         archiveHeader() + archiveLine(name1(), "14:45:00", {{kS1, "500"}}));
        showTrend(MeasurementsPage::Range::LastHour, {kS1}, kToday, kToday);
        TrendChartView& chart = m_page->chartView();
        QCOMPARE(chart.pointCount(), 1);

        acceptMeasurement(*m_rig->station, 0, QTime(14, 45, 40), {{kS1, 510}});
        QCOMPARE(chart.pointCount(), 2);
        QCOMPARE(chart.lines()[0]->points().constLast(),
                 QPointF(double(kTenAm + (4 * 3600 + 45 * 60 + 40) * 1000LL), 510));
        // Another row, and the same measurement again, add nothing.
        acceptMeasurement(*m_rig->station, 1, QTime(14, 45, 41), {{kS1, 520}});
        acceptMeasurement(*m_rig->station, 0, QTime(14, 45, 40), {{kS1, 510}});
        QCOMPARE(chart.pointCount(), 2);
        // The axis follows the live values.
        acceptMeasurement(*m_rig->station, 0, QTime(14, 50, 0), {{kS1, 530}});
        QCOMPARE(chart.timeAxis()->max(), QDateTime(kToday, QTime(14, 50, 0)));
        QVERIFY(chart.valueAxes()[0]->max() >= 530);
    }

    void cancelStopsTheRead()
    {
        // The only worker is busy, so the read is still waiting when cancelled.
        QThreadPool* pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        QSemaphore release;
        pool->start([&release] { release.acquire(); });
        QSignalSpy cancelled(m_page, &MeasurementsPage::trendCancelled);
        QSignalSpy loaded(m_page, &MeasurementsPage::trendLoaded);
        m_page->setRange(MeasurementsPage::Range::LastMonth);
        QVERIFY(m_page->isLoading());
        m_page->cancelTrend();
        release.release();
        QTRY_COMPARE(cancelled.size(), 1);
        QCOMPARE(loaded.size(), 0);
        QVERIFY(m_page->noteText().contains(QStringLiteral("отменено")));
        pool->setMaxThreadCount(threads);
    }

    void exportWritesTheRowAsCsv()
    {
        writeArchiveFile(m_archive.path(), 15, 6, 2024, 1,
                         archiveHeader() +
                             archiveLine(name1(), "10:00:00", {{kS1, "1000,5"}, {kT1, "15,2"}}) +
                             "torn");
        showTrend(MeasurementsPage::Range::Dates, {kS1, kT1}, kToday, kToday);
        m_page->findChild<QCheckBox*>(QStringLiteral("chkExportChosen"))->setChecked(true);
        QSignalSpy done(m_page, &MeasurementsPage::exportFinished);
        const QString path = m_archive.filePath(QStringLiteral("out.csv"));
        QVERIFY(m_page->exportTo(path));
        QTRY_COMPARE(done.size(), 1);
        QCOMPARE(done[0][1].toString(), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QStringLiteral("Время,\"Уровень S1, мм\",T1\r\n"
                                                "2024-06-15T10:00:00+03:00,1000.5,15.2\r\n")
                                     .toUtf8());
    }

    void screenshotWithTrend()
    {
        // Six hours of a tank filling at one measurement a minute, its temperature beside it.
        QByteArray bytes = archiveHeader();
        for (int minute = 0; minute < 6 * 60; ++minute) {
            const QTime time = QTime(8, 0).addSecs(minute * 60);
            const double level = 2000 + minute * 12.5 + 40 * std::sin(minute / 9.0);
            const double temperature = 14 + 3 * std::sin(minute / 60.0);
            bytes += archiveLine(name1(), time.toString(QStringLiteral("hh:mm:ss")).toLatin1(),
                                 {{kS1, QByteArray::number(level, 'f', 1)},
                                  {kT1, QByteArray::number(temperature, 'f', 2)}});
        }
        writeArchiveFile(m_archive.path(), 15, 6, 2024, 1, bytes);
        // Row 6 answered 20 s before the others: past three timeouts, grey.
        for (int row : {5, 0, 1, 2, 3, 4}) {
            acceptMeasurement(
                *m_rig->station, row, m_rig->clock.now().time(),
                {{kS1, 6500.5 - row * 750}, {kVolume, 48.25 - row * 5}, {kT1, 14.5 + row}});
            if (row == 5)
                m_rig->clock.set(m_rig->clock.now().addSecs(20));
        }
        m_page->model().refreshAges();
        showTrend(MeasurementsPage::Range::Dates, {kS1, kT1}, kToday, kToday);
        m_rig->window->resize(1069, 700);
        QTest::qWait(50);

        const QString dir = QStringLiteral(KX7R_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(m_rig->window->grab().save(dir + QStringLiteral("/page5-measurements.png")));
    }

private:
    void showTrend(MeasurementsPage::Range range, const QList<int>& columns, const QDate& first,
                   const QDate& last)
    {
        m_page->setTrendColumns(columns);
        m_page->setDates(first, last);
        m_page->setRange(range);
        QSignalSpy loaded(m_page, &MeasurementsPage::trendLoaded);
        m_page->loadTrend();
        QTRY_COMPARE(loaded.size(), 1);
    }

    QTemporaryDir m_archive;
    std::unique_ptr<WindowRig> m_rig;
    MeasurementsPage* m_page = nullptr;
};

int main(int argc, char* argv[])
{
    // Local times with a known offset, the same on every machine.
    qputenv("TZ", "Europe/Moscow");
    tzset();
    QApplication app(argc, argv);
    TestMeasurementsPage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_measurementspage.moc"
