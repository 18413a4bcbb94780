// The spool keeps messages across a restart until they are acknowledged, in
// order, with their sequence numbers, within its bound, and survives a torn
// write, damage in the middle and a file of an older layout.
#include "broker/brokerspool.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
// "<seq> <body>" for every queued message.
QStringList contents(BrokerSpool& spool)
{
    QStringList out;
    qint64 seq = 0;
    QByteArray body;
    for (qint64 from = 0; spool.read(from, &seq, &body); from = seq + 1)
        out.append(QString::number(seq) + u' ' + QString::fromUtf8(body));
    return out;
}

QStringList segments(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.seg")}, QDir::Files, QDir::Name);
}

qint64 folderBytes(const QString& folder)
{
    qint64 total = 0;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();)
        total += QFileInfo(it.next()).size();
    return total;
}
} // namespace

class TestBrokerSpool : public QObject {
    Q_OBJECT

private slots:
    void queueAndSequenceSurviveRestart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        {
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            QCOMPARE(spool.append("a"), 0);
            QCOMPARE(spool.append("b"), 1);
            QCOMPARE(spool.append("c"), 2);
            QVERIFY(spool.flush());
            spool.acknowledge(1); // out of order: the first stays
            QCOMPARE(spool.count(), 2);
            QCOMPARE(spool.firstSeq(), 0);
            spool.acknowledge(0);
            QCOMPARE(spool.firstSeq(), 2);
        } // closing saves the mark
        {
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            QCOMPARE(contents(spool), QStringList{QStringLiteral("2 c")});
            QCOMPARE(spool.append("d"), 3); // numbering goes on
            QVERIFY(spool.flush());
            spool.acknowledge(2);
            spool.acknowledge(3);
            QCOMPARE(spool.count(), 0);
            spool.saveAcknowledged();
        }
        BrokerSpool spool;
        QVERIFY(spool.open(path));
        QCOMPARE(spool.count(), 0);
        QCOMPARE(spool.append("e"), 4); // even with nothing left queued
        // Acknowledged segments are gone: the mark and the fresh segment stay.
        QCOMPARE(segments(path).size(), 1);
    }

    void acknowledgementsReachDiskOnlyWithTheMark()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        const QString mark = QDir(path).filePath(QStringLiteral("acked"));
        BrokerSpool spool;
        QVERIFY(spool.open(path));
        for (int i = 0; i < 100; ++i)
            spool.append(QByteArray::number(i));
        QVERIFY(spool.flush());
        const qint64 size = QFileInfo(mark).size();
        for (int i = 0; i < 100; ++i)
            spool.acknowledge(i);
        // Not one write for the hundred: the mark is as it was.
        QCOMPARE(QFileInfo(mark).size(), size);
        // A crash now sends them again, with their numbers.
        const QString copy = dir.filePath(QStringLiteral("copy"));
        QVERIFY(QDir().mkpath(copy));
        for (const QString& name : QDir(path).entryList(QDir::Files))
            QVERIFY(QFile::copy(QDir(path).filePath(name), QDir(copy).filePath(name)));
        {
            BrokerSpool crashed;
            QVERIFY(crashed.open(copy));
            QCOMPARE(crashed.count(), 100);
            QCOMPARE(crashed.firstSeq(), 0);
        }
        spool.saveAcknowledged();
        QCOMPARE(QFileInfo(mark).size(), 12);
        BrokerSpool reopened;
        spool.close();
        QVERIFY(reopened.open(path));
        QCOMPARE(reopened.count(), 0);
    }

    void oldestAreDroppedAtTheBound()
    {
        QTemporaryDir dir;
        // Records of 20 + 10 = 30 bytes, a segment each: four fit in 120.
        BrokerSpool spool(120);
        QVERIFY(spool.open(dir.filePath(QStringLiteral("spool"))));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("spool is full")));
        for (int i = 0; i < 6; ++i) {
            spool.append(QByteArray::number(1000000000 + i));
            QVERIFY(spool.flush());
        }
        QCOMPARE(spool.count(), 4);
        QCOMPARE(spool.droppedCount(), 2);
        QCOMPARE(contents(spool).first(), QStringLiteral("2 1000000002"));
        QCOMPARE(contents(spool).last(), QStringLiteral("5 1000000005"));
    }

    void tornTailIsCutAndOlderFileSetAside()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        {
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            spool.append("first");
            spool.append("second");
        }
        QFile file(QDir(path).filePath(segments(path).first()));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() - 3)); // a crash in the middle of the second write
        file.close();
        {
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(QStringLiteral("23 damaged bytes at offset 25")));
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            QCOMPARE(contents(spool), QStringList{QStringLiteral("0 first")});
            spool.append("third");
            QCOMPARE(contents(spool),
                     (QStringList{QStringLiteral("0 first"), QStringLiteral("1 third")}));
        }

        const QString older = dir.filePath(QStringLiteral("older"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QFile::copy(file.fileName(), older));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("older layout")));
        BrokerSpool spool;
        QVERIFY(spool.open(older));
        QCOMPARE(spool.count(), 0);
        QVERIFY(QFileInfo(older + QStringLiteral(".old")).isFile());
        QVERIFY(QFileInfo(older).isDir());
    }

    void damagedStretchIsSkipped_data()
    {
        QTest::addColumn<int>("damageAt"); // bytes into the segment
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("lost"); // sequence numbers
        QTest::addColumn<QString>("logged");
        // 140 records of 20 + 3 bytes: record n starts at 23 n.
        QTest::newRow("20 zero bytes inside record 70")
            << 23 * 70 + 2 << 20 << QStringList{QStringLiteral("70")}
            << QStringLiteral("23 damaged bytes .* lost 1 messages");
        QTest::newRow("across records 10 to 12")
            << 23 * 10 + 5 << 50
            << QStringList{QStringLiteral("10"), QStringLiteral("11"), QStringLiteral("12")}
            << QStringLiteral("69 damaged bytes .* lost 3 messages");
    }
    void damagedStretchIsSkipped()
    {
        QFETCH(int, damageAt);
        QFETCH(int, length);
        QFETCH(QStringList, lost);
        QFETCH(QString, logged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        QStringList expected;
        {
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            for (int i = 0; i < 140; ++i) {
                const QByteArray body = QByteArray::number(100 + i);
                spool.append(body);
                if (!lost.contains(QString::number(i)))
                    expected.append(QString::number(i) + u' ' + QString::fromLatin1(body));
            }
        }
        QFile file(QDir(path).filePath(segments(path).first()));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(damageAt));
        file.write(QByteArray(length, '\0'));
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(logged));
        BrokerSpool spool;
        QVERIFY(spool.open(path));
        QCOMPARE(contents(spool), expected);
    }

    void acknowledgedSegmentsAreDeleted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        BrokerSpool spool;
        QVERIFY(spool.open(path));
        const QByteArray payload(60 * 1024, 'x');
        for (int i = 0; i < 200; ++i) { // 12 MiB over a few segments
            spool.append(payload + QByteArray::number(i));
            QVERIFY(spool.flush());
        }
        for (int i = 0; i < 196; ++i)
            spool.acknowledge(i);
        spool.saveAcknowledged();
        // What is left on disk: the queue and at most one segment's worth beside it.
        QVERIFY(folderBytes(path) <= spool.bytes() + BrokerSpool::kSegmentBytes + 64 * 1024);
        QCOMPARE(spool.count(), 4);
        qint64 seq = 0;
        QByteArray read;
        QVERIFY(spool.read(0, &seq, &read));
        QCOMPARE(seq, 196);
        QCOMPARE(read, payload + "196");
    }
};

QTEST_GUILESS_MAIN(TestBrokerSpool)
#include "tst_brokerspool.moc"
