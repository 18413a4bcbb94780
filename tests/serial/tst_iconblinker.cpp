#include "model/stationstate.h"
#include "serial/iconblinker.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestIconBlinker : public QObject {
    Q_OBJECT
private:
    struct Icon {
        StationState state;
        QTimer timerBlink;
        IconBlinker blinker{state, timerBlink};
        QSignalSpy changes{&blinker, &IconBlinker::iconStateChanged};
        Icon() { timerBlink.setInterval(200); }
        QList<int> seen() const
        {
            QList<int> out;
            for (const QList<QVariant>& change : changes)
                out.append(change.at(0).toInt());
            return out;
        }
    };

private slots:
    void flashSetsStateAndStartsTimer_data()
    {
        QTest::addColumn<int>("iconState");
        QTest::newRow("good answer, green") << 1;
        QTest::newRow("request or bad answer, red") << 2;
    }
    void flashSetsStateAndStartsTimer()
    {
        QFETCH(int, iconState);
        Icon icon;
        QVERIFY(!icon.timerBlink.isActive());
        icon.blinker.flash(iconState);
        QCOMPARE(icon.state.iconState, iconState);
        QCOMPARE(icon.seen(), QList<int>{iconState});
        QVERIFY(icon.timerBlink.isActive());
    }

    // Red then green within 200 ms: black comes 200 ms after the red, not later.
    void furtherTrafficDoesNotProlongTheFlash()
    {
        Icon icon;
        icon.blinker.flash(2);
        QTest::qSleep(80); // no events: the timer cannot fire meanwhile
        icon.blinker.flash(1);
        QCOMPARE(icon.state.iconState, 1);
        QVERIFY(icon.timerBlink.isActive());
        QVERIFY2(icon.timerBlink.remainingTime() <= 150,
                 qPrintable(QString::number(icon.timerBlink.remainingTime())));
        QCOMPARE(icon.seen(), (QList<int>{2, 1}));
    }

    void tickTurnsBlackAndStops()
    {
        Icon icon;
        icon.blinker.flash(1);
        icon.blinker.flash(1); // two good answers in one receive tick
        icon.blinker.TimerBlinkTimer();
        QCOMPARE(icon.state.iconState, 0);
        QVERIFY(!icon.timerBlink.isActive());
        QCOMPARE(icon.seen(), (QList<int>{1, 1, 0}));
    }

    void timerRunsTheTickItself()
    {
        Icon icon;
        QObject::connect(&icon.timerBlink, &QTimer::timeout, &icon.blinker,
                         &IconBlinker::TimerBlinkTimer);
        icon.blinker.flash(2);
        QTRY_COMPARE(icon.state.iconState, 0);
        QVERIFY(!icon.timerBlink.isActive());
    }
};

QTEST_GUILESS_MAIN(TestIconBlinker)
#include "tst_iconblinker.moc"
