#include "archivefile.h"
#include "archivelines.h"
#include "programrun.h"
#include "windowrig.h"

#include "model/codepage1251.h"
#include "trends/archivecolumns.h"
#include "window/measurementspage.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {
const QString kExport = QStringLiteral(KX7R_BIN_DIR "/kx7r-export");
const int kAddress = ArchiveColumns::indexOf(QStringLiteral("Адрес датчика"));
const int kS1 = ArchiveColumns::indexOf(QStringLiteral("Уровень S1, мм"));
const int kT1 = ArchiveColumns::indexOf(QStringLiteral("T1"));

QByteArray name()
{
    return toCp1251(QStringLiteral("Бак \"А\""));
}

// Row 1 on June 15th and 17th (the 16th has no folder), with a line of
// garbage and a torn last line on the 15th.
void writeArchive(const QString& root)
{
    writeArchiveFile(root, 15, 6, 2024, 1,
                     archiveHeader() +
                         archiveLine(name(), "10:00:00", {{kAddress, "7"}, {kS1, "1000,5"}}) +
                         "not\ta\tmeasurement\t\r\n" +
                         archiveLine(name(), "23:59:59", {{kAddress, "7"}, {kT1, "-1,25"}}) +
                         archiveLine(name(), "23:59:59", {{kS1, "1"}}).chopped(1));
    writeArchiveFile(root, 17, 6, 2024, 1,
                     archiveHeader() + archiveLine(name(), "00:00:00", {{kS1, "12.5"}}));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}
} // namespace

// kx7r-export and the measurements page write the same CSV, the one worked out
// by hand; the tool refuses what is not a row, a date or a column.
class TestExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_archive = m_dir.filePath(QStringLiteral("archive"));
        writeArchive(m_archive);
    }

    void chosenColumnsByHand()
    {
        const ProgramRun run = runProgram(
            kExport, {QStringLiteral("--archive"), m_archive, QStringLiteral("--row"),
                      QStringLiteral("1"), QStringLiteral("--from"), QStringLiteral("2024-06-15"),
                      QStringLiteral("--to"), QStringLiteral("2024-06-17"),
                      QStringLiteral("--columns"), QStringLiteral("T1; Уровень S1, мм;Имя")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringLiteral("Время,Имя,\"Уровень S1, мм\",T1\r\n"
                                         "2024-06-15T10:00:00+03:00,\"Бак \"\"А\"\"\",1000.5,\r\n"
                                         "2024-06-15T23:59:59+03:00,\"Бак \"\"А\"\"\",,-1.25\r\n"
                                         "2024-06-17T00:00:00+03:00,\"Бак \"\"А\"\"\",12.5,\r\n")
                              .toUtf8());
        QVERIFY2(run.err.contains("2 torn or unreadable line(s) left out"), run.err.constData());
    }

    void pageAndToolWriteTheSameBytes()
    {
        WindowRig rig(QStringLiteral("Бак"), m_archive);
        auto* page = rig.window->findChild<MeasurementsPage*>();
        QVERIFY(page);
        page->selectRow(0);
        page->setRange(MeasurementsPage::Range::Dates);
        page->setDates(QDate(2024, 6, 15), QDate(2024, 6, 17));
        QSignalSpy done(page, &MeasurementsPage::exportFinished);
        const QString fromPage = m_dir.filePath(QStringLiteral("page.csv"));
        QVERIFY(page->exportTo(fromPage));
        QTRY_COMPARE(done.size(), 1);
        QCOMPARE(done[0][1].toString(), QString());

        // Through the settings' HistoryFolder and into a file.
        const QString fromTool = m_dir.filePath(QStringLiteral("tool.csv"));
        const ProgramRun run = runProgram(
            kExport, {QStringLiteral("--config"), rig.fixture.store().fileName(),
                      QStringLiteral("--row"), QStringLiteral("1"), QStringLiteral("--from"),
                      QStringLiteral("2024-06-15"), QStringLiteral("--to"),
                      QStringLiteral("2024-06-17"), QStringLiteral("--output"), fromTool});
        QCOMPARE(run.code, 0);
        const QByteArray bytes = readFile(fromPage);
        QCOMPARE(readFile(fromTool), bytes);

        // Every column but the time of day: 28 after "Время".
        const QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(lines.size(), 5); // header, three measurements, nothing after the last CR LF
        QCOMPARE(lines[0].count(','), 28 + 13); // 13 titles hold a comma and are quoted
        // Name, address and level, then 25 empty fields.
        const QByteArray first =
            QStringLiteral("2024-06-15T10:00:00+03:00,\"Бак \"\"А\"\"\",7,1000.5").toUtf8() +
            QByteArray(25, ',') + '\r';
        QCOMPARE(lines[1], first);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        const QStringList dates{QStringLiteral("--from"), QStringLiteral("2024-06-15"),
                                QStringLiteral("--to"), QStringLiteral("2024-06-17")};
        const auto row = [](const char* n) {
            return QStringList{QStringLiteral("--row"), QString::fromLatin1(n)};
        };
        QTest::newRow("row 0") << row("0") + dates << 2;
        QTest::newRow("row 31") << row("31") + dates << 2;
        QTest::newRow("row not a number") << row("1x") + dates << 2;
        QTest::newRow("no row") << dates << 2;
        QTest::newRow("no such day")
            << row("1") + QStringList{QStringLiteral("--from"), QStringLiteral("2024-02-30"),
                                      QStringLiteral("--to"), QStringLiteral("2024-03-01")}
            << 2;
        QTest::newRow("from after to")
            << row("1") + QStringList{QStringLiteral("--from"), QStringLiteral("2024-06-17"),
                                      QStringLiteral("--to"), QStringLiteral("2024-06-15")}
            << 2;
        QTest::newRow("unknown column")
            << row("1") + dates +
                   QStringList{QStringLiteral("--columns"), QStringLiteral("Уровень")}
            << 2;
        QTest::newRow("no archive folder")
            << row("1") + dates +
                   QStringList{QStringLiteral("--archive"), QStringLiteral("/nonexistent/archive")}
            << 3;
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        if (!arguments.contains(QStringLiteral("--archive")))
            arguments += QStringList{QStringLiteral("--archive"), m_archive};
        const ProgramRun run = runProgram(kExport, arguments);
        QCOMPARE(run.code, code);
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

private:
    QTemporaryDir m_dir;
    QString m_archive;
};

int main(int argc, char* argv[])
{
    // Local times with a known offset, here and in the tool it starts.
    qputenv("TZ", "Europe/Moscow");
    tzset();
    QApplication app(argc, argv);
    TestExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_export.moc"
