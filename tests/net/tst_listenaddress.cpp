// The listen address a setting or option names, and how it is shown.
#include "net/listenaddress.h"

#include <QHostAddress>
#include <QTest>

using namespace Qt::StringLiterals;

class TestListenAddress : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("shown"); // endpoint at port 5000
        QTest::newRow("absent: every interface") << QString() << true << u"*:5000"_s;
        QTest::newRow("empty: every interface") << u""_s << true << u"*:5000"_s;
        QTest::newRow("star") << u"*"_s << true << u"*:5000"_s;
        QTest::newRow("spaces around") << u" 127.0.0.1 "_s << true << u"127.0.0.1:5000"_s;
        QTest::newRow("IPv4") << u"192.168.10.2"_s << true << u"192.168.10.2:5000"_s;
        QTest::newRow("IPv4 any") << u"0.0.0.0"_s << true << u"*:5000"_s;
        QTest::newRow("IPv6 loopback") << u"::1"_s << true << u"[::1]:5000"_s;
        QTest::newRow("IPv6 any") << u"::"_s << true << u"*:5000"_s;
        QTest::newRow("host name") << u"localhost"_s << false << QString();
        QTest::newRow("short IPv4 form") << u"127.1"_s << false << QString();
        QTest::newRow("plain number") << u"2130706433"_s << false << QString();
        QTest::newRow("octet too big") << u"127.0.0.256"_s << false << QString();
        QTest::newRow("with a port") << u"127.0.0.1:5000"_s << false << QString();
        QTest::newRow("IPv6 with a scope") << u"fe80::1%lo"_s << false << QString();
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, shown);
        const auto address = ListenAddress::parse(text);
        QCOMPARE(address.has_value(), valid);
        if (valid)
            QCOMPARE(ListenAddress::endpoint(*address, 5000), shown);
        else
            QVERIFY(ListenAddress::rejection(text).contains(text));
    }
};

QTEST_GUILESS_MAIN(TestListenAddress)
#include "tst_listenaddress.moc"
