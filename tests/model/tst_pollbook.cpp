#include "model/channelentry.h"
#include "model/pollbook.h"
#include "model/stationtexts.h"

#include <QTest>

class TestPollBook : public QObject {
    Q_OBJECT
private slots:
    // A request and its end, by answer or by time-out: terminal and channel together.
    void requestEndsByAnswerOrTimeOut_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("answered") << true;
        QTest::newRow("timed out") << false;
    }
    void requestEndsByAnswerOrTimeOut()
    {
        QFETCH(bool, answered);
        PollBook book;
        book.requested(9, 29);
        book.requested(2, 5);
        QVERIFY(book.isPending(9) && book.isAwaiting(29));
        if (answered)
            book.answered(9, 29);
        else
            book.timedOut(9, 29);
        QVERIFY(!book.isPending(9));
        QVERIFY(!book.isAwaiting(29));
        QVERIFY2(book.isPending(2) && book.isAwaiting(5), "another terminal's request stays");
    }

    void outsideTheTablesNothingHappens()
    {
        PollBook book;
        book.requested(kTerminalCount, kChannelCount);
        book.requested(-1, -1);
        for (int t = -1; t <= kTerminalCount; ++t)
            QVERIFY(!book.isPending(t));
        for (int k = -1; k <= kChannelCount; ++k)
            QVERIFY(!book.isAwaiting(k));
    }

    // "Применить": every terminal free; active channels count as waiting, always.
    void resetFollowsTheModes()
    {
        std::array<ChannelEntry, kChannelCount> channels;
        for (ChannelEntry& channel : channels)
            channel.mode = Texts::modeOnRequest;
        channels[3].mode = Texts::modeActive;
        PollBook book;
        book.requested(1, 0);
        book.requested(4, 7);
        book.reset(channels);
        for (int t = 0; t < kTerminalCount; ++t)
            QVERIFY(!book.isPending(t));
        for (int k = 0; k < kChannelCount; ++k)
            QCOMPARE(book.isAwaiting(k), k == 3);

        // One channel configured anew leaves the terminals as they are.
        book.requested(6, 8);
        channels[8].mode = Texts::modeActive;
        book.configured(8, channels[8]);
        QVERIFY(book.isAwaiting(8));
        QVERIFY(book.isPending(6));
        channels[3].mode = Texts::modeOnRequest;
        book.configured(3, channels[3]);
        QVERIFY(!book.isAwaiting(3));
    }
};

QTEST_GUILESS_MAIN(TestPollBook)
#include "tst_pollbook.moc"
