// The spool keeps messages across a restart until they are acknowledged, in
// order, within its bound, and survives a torn write or a foreign file.
#include "broker/brokerspool.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
QStringList contents(BrokerSpool& spool)
{
    QStringList out;
    for (qint64 seq = spool.firstSeq(); seq < spool.endSeq(); ++seq) {
        QString topic;
        QByteArray payload;
        if (!spool.read(seq, &topic, &payload))
            return {QStringLiteral("unreadable")};
        out.append(topic + u' ' + QString::fromUtf8(payload));
    }
    return out;
}
} // namespace

class TestBrokerSpool : public QObject {
    Q_OBJECT

private slots:
    void queueSurvivesRestartUntilAcknowledged()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        {
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            QVERIFY(spool.append(QStringLiteral("channel/1"), "{\"a\":1}"));
            QVERIFY(spool.append(QStringLiteral("channel/2"), "{\"b\":2}"));
            QVERIFY(spool.append(QStringLiteral("channel/1"), "{\"c\":3}"));
            spool.acknowledge(spool.firstSeq() + 1); // out of order: the first stays
            QCOMPARE(spool.count(), 3);
            spool.acknowledge(spool.firstSeq());
            QCOMPARE(spool.count(), 1);
        }
        BrokerSpool reopened;
        QVERIFY(reopened.open(path));
        QCOMPARE(contents(reopened), QStringList{QStringLiteral("channel/1 {\"c\":3}")});
        reopened.acknowledge(reopened.firstSeq());
        QCOMPARE(reopened.count(), 0);
        QCOMPARE(QFileInfo(path).size(), 8); // the magic only: an empty queue takes no room
    }

    void oldestAreDroppedAtTheBound()
    {
        QTemporaryDir dir;
        // Records of 7 + 2 + 1 + 10 = 20 bytes: four fit in 80.
        BrokerSpool spool(80);
        QVERIFY(spool.open(dir.filePath(QStringLiteral("spool"))));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("spool is full")));
        for (int i = 0; i < 6; ++i)
            QVERIFY(spool.append(QStringLiteral("t"), QByteArray::number(1000000000 + i)));
        QCOMPARE(spool.count(), 4);
        QCOMPARE(spool.droppedCount(), 2);
        QCOMPARE(contents(spool).first(), QStringLiteral("t 1000000002"));
        QCOMPARE(contents(spool).last(), QStringLiteral("t 1000000005"));
    }

    void tornTailIsCutAndForeignFileSetAside()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        {
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            QVERIFY(spool.append(QStringLiteral("channel/1"), "first"));
            QVERIFY(spool.append(QStringLiteral("channel/1"), "second"));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() - 3)); // a crash in the middle of the second write
        file.close();
        {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("torn record")));
            BrokerSpool spool;
            QVERIFY(spool.open(path));
            QCOMPARE(contents(spool), QStringList{QStringLiteral("channel/1 first")});
            QVERIFY(spool.append(QStringLiteral("channel/2"), "third"));
            QCOMPARE(contents(spool), (QStringList{QStringLiteral("channel/1 first"),
                                                   QStringLiteral("channel/2 third")}));
        }

        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("not a spool at all");
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not a spool file")));
        BrokerSpool spool;
        QVERIFY(spool.open(path));
        QCOMPARE(spool.count(), 0);
        QVERIFY(QFile::exists(path + QStringLiteral(".bad")));
    }

    void deadSpaceIsCompactedAway()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("spool"));
        BrokerSpool spool;
        QVERIFY(spool.open(path));
        const QByteArray payload(64 * 1024, 'x');
        for (int i = 0; i < 40; ++i)
            QVERIFY(spool.append(QStringLiteral("t"), payload + QByteArray::number(i)));
        // Acknowledging all but the last few never empties the queue.
        for (int i = 0; i < 36; ++i)
            spool.acknowledge(spool.firstSeq());
        // Dead space stays below the larger of 1 MiB and the queue itself
        // (the 36 done records alone would take 2.3 MiB).
        QVERIFY(QFileInfo(path).size() <= 8 + spool.bytes() + qMax(1024 * 1024, spool.bytes()));
        QCOMPARE(spool.count(), 4);
        QString topic;
        QByteArray read;
        QVERIFY(spool.read(spool.firstSeq(), &topic, &read));
        QCOMPARE(read, payload + "36");
    }
};

QTEST_GUILESS_MAIN(TestBrokerSpool)
#include "tst_brokerspool.moc"
