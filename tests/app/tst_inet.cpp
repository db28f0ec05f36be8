#include "Inet.h"
#include "LocalHttpServer.h"

#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(HttpResponse)

class TestInet : public QObject
{
    Q_OBJECT

private slots:
    // Callers cannot tell a failure from an empty answer, and need not.
    void inetAnswers_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<QString>("expected");
        QTest::newRow("body as UTF-8, untrimmed")
            << HttpResponse::text(" 版本V1.1\r\n", "text/plain; charset=iso-8859-1")
            << u" 版本V1.1\r\n"_s;
        QTest::newRow("404") << HttpResponse::text("V1.0", "text/plain", 404) << QString();
        HttpResponse r = HttpResponse::text("V1.0 and a longer body");
        r.behaviour = HttpResponse::Behaviour::Silent;
        QTest::newRow("time-out") << r << QString();
        r.behaviour = HttpResponse::Behaviour::HangUpMidBody;
        QTest::newRow("cut mid-body") << r << QString();
    }
    void inetAnswers()
    {
        QFETCH(HttpResponse, response);
        QFETCH(QString, expected);
        LocalHttpServer server;
        QVERIFY(server.listen());
        server.route(u"/jc.txt"_s, response);
        Inet inet;
        inet.setRequestTimeout(400);
        QCOMPARE(inet.OpenURL(server.baseUrl() + u"/jc.txt"_s), expected);
    }
};

QTEST_MAIN(TestInet)
#include "tst_inet.moc"
