// The archive walk over a temporary archive laid out as the writer lays it out.
#include "archive/archivereader.h"
#include "archive/monthnames.h"
#include "settingsfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Day folders of the archive as "DD.MM.YYYY:n,n,..." (channel files in them).
void makeArchive(const QString& root, const QStringList& days)
{
    for (const QString& day : days) {
        const QStringList parts = day.split(u':');
        const QStringList date = parts[0].split(u'.');
        const QString folder = root + u'/' + date[2] + u'/' + monthName(date[1].toInt()) + u'/' +
                               QString::number(date[0].toInt());
        QDir().mkpath(folder);
        for (const QString& n : parts.value(1).split(u',', Qt::SkipEmptyParts)) {
            QFile file(folder + QStringLiteral("/Измерения по каналу ") + n +
                       QStringLiteral(".mes"));
            file.open(QIODevice::WriteOnly);
        }
    }
}

QStringList allChannels()
{
    QStringList n;
    for (int i = 1; i <= 30; ++i)
        n.append(QString::number(i));
    return n;
}

} // namespace

class TestArchiveReader : public QObject {
    Q_OBJECT

private slots:
    void walk_data()
    {
        QTest::addColumn<QStringList>("archive");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        // Expected entries as "DDMMYYYY n".
        QTest::addColumn<QStringList>("expected");

        const QString all = allChannels().join(u',');
        QStringList sameDay;
        for (int n = 1; n <= 30; ++n)
            sameDay.append(QStringLiteral("22092015 ") + QString::number(n));
        QTest::newRow("one day: channels 1..30 ascending")
            << QStringList{QStringLiteral("22.09.2015:") + all, QStringLiteral("23.09.2015:1")}
            << QStringLiteral("22092015000000") << QStringLiteral("22092015235959") << sameDay;
        QTest::newRow("same date, different times: that date only")
            << QStringList{QStringLiteral("21.09.2015:4"), QStringLiteral("22.09.2015:4"),
                           QStringLiteral("23.09.2015:4")}
            << QStringLiteral("22092015120000") << QStringLiteral("22092015080000")
            << QStringList{QStringLiteral("22092015 4")};
        QTest::newRow("31 January to 1 February")
            << QStringList{QStringLiteral("30.01.2015:1"), QStringLiteral("31.01.2015:2,1"),
                           QStringLiteral("01.02.2015:5"), QStringLiteral("02.02.2015:1")}
            << QStringLiteral("31012015000000") << QStringLiteral("01022015000000")
            << QStringList{QStringLiteral("31012015 1"), QStringLiteral("31012015 2"),
                           QStringLiteral("01022015 5")};
        QTest::newRow("15.11.2014 to 10.02.2015 across the year")
            << QStringList{QStringLiteral("14.11.2014:1"), QStringLiteral("15.11.2014:1"),
                           QStringLiteral("30.11.2014:1"), QStringLiteral("31.12.2014:1"),
                           QStringLiteral("01.01.2015:1"), QStringLiteral("31.01.2015:1"),
                           QStringLiteral("10.02.2015:1"), QStringLiteral("11.02.2015:1")}
            << QStringLiteral("15112014000000") << QStringLiteral("10022015000000")
            << QStringList{QStringLiteral("15112014 1"), QStringLiteral("30112014 1"),
                           QStringLiteral("31122014 1"), QStringLiteral("01012015 1"),
                           QStringLiteral("31012015 1"), QStringLiteral("10022015 1")};
        QTest::newRow("only channels 3 and 17 in a day folder")
            << QStringList{QStringLiteral("05.03.2016:17,3")} << QStringLiteral("05032016000000")
            << QStringLiteral("05032016000000")
            << QStringList{QStringLiteral("05032016 3"), QStringLiteral("05032016 17")};
        QTest::newRow("first date after the last: nothing")
            << QStringList{QStringLiteral("05.03.2016:1")} << QStringLiteral("06032016000000")
            << QStringLiteral("04032016000000") << QStringList{};
        QTest::newRow("nothing in the period")
            << QStringList{QStringLiteral("05.03.2016:1")} << QStringLiteral("01012017000000")
            << QStringLiteral("31122017000000") << QStringList{};
        QTest::newRow("empty day folder, missing year")
            << QStringList{QStringLiteral("05.03.2016:")} << QStringLiteral("01012015000000")
            << QStringLiteral("31122016000000") << QStringList{};
        QTest::newRow("month 13 in the last stamp is skipped")
            << QStringList{QStringLiteral("31.12.2016:2")} << QStringLiteral("01122016000000")
            << QStringLiteral("01132016000000") << QStringList{QStringLiteral("31122016 2")};
        QTest::newRow("month 00 in the first stamp is skipped")
            << QStringList{QStringLiteral("02.01.2016:2")} << QStringLiteral("01002016000000")
            << QStringLiteral("03012016000000") << QStringList{QStringLiteral("02012016 2")};
        QTest::newRow("stamp that is no date selects nothing")
            << QStringList{QStringLiteral("02.01.2016:2")} << QStringLiteral("0101201x000000")
            << QStringLiteral("03012016000000") << QStringList{};
        QTest::newRow("empty stamp selects nothing")
            << QStringList{QStringLiteral("02.01.2016:2")} << QString()
            << QStringLiteral("03012016000000") << QStringList{};
    }
    void walk()
    {
        QFETCH(QStringList, archive);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QStringList, expected);
        SettingsFixture settings;
        QTemporaryDir dir;
        makeArchive(dir.path(), archive);
        settings.setRoot(QStringLiteral("HistoryFolder"), dir.path());
        ArchiveReader reader(settings.store());

        QStringList files{QStringLiteral("kept")};
        QStringList dates{QStringLiteral("kept")};
        const int count = reader.SelectArchiveFiles(first, last, files, dates);
        QCOMPARE(count, int(expected.size()));
        QCOMPARE(files.size(), expected.size() + 1); // only appended
        QCOMPARE(dates.size(), files.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QStringList want = expected[i].split(u' ');
            QCOMPARE(dates[i + 1], want[0]);
            const QString day = QString::number(want[0].first(2).toInt());
            const QString path = dir.path() + u'/' + want[0].sliced(4) + u'/' +
                                 monthName(want[0].sliced(2, 2).toInt()) + u'/' + day +
                                 QStringLiteral("/Измерения по каналу ") + want[1] +
                                 QStringLiteral(".mes");
            QCOMPARE(files[i + 1], path);
            QVERIFY(QFile::exists(files[i + 1]));
        }
    }

    // Walking backwards from the period's end meets the same files, newest first.
    void walkBackwards_data() { walk_data(); }
    void walkBackwards()
    {
        QFETCH(QStringList, archive);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QStringList, expected);
        SettingsFixture settings;
        QTemporaryDir dir;
        makeArchive(dir.path(), archive);
        settings.setRoot(QStringLiteral("HistoryFolder"), dir.path());
        ArchiveReader reader(settings.store());

        QStringList found;
        std::optional<ArchivePlace> place;
        while ((place = reader.previousArchiveFile(first, last, place)))
            found.prepend(ArchiveReader::dateText(*place) + u' ' + QString::number(place->channel));
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(TestArchiveReader)
#include "tst_archivereader.moc"
