#include "Inet.h"
#include "LocalHttpServer.h"

#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(HttpResponse)

class TestInet : public QObject
{
    Q_OBJECT

private slots:
    // Callers cannot tell a failure from an empty answer, and need not. A 404 and a
    // time-out reach the user through the version check, and are tested there.
    void inetAnswers_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<QString>("expected");
        QTest::newRow("body as UTF-8 whatever the charset, untrimmed")
            << HttpResponse::text(" 版本V1.1\r\n", "text/plain; charset=iso-8859-1")
            << u" 版本V1.1\r\n"_s;
        HttpResponse cut = HttpResponse::text("V1.0 and a longer body");
        cut.behaviour = HttpResponse::Behaviour::HangUpMidBody;
        QTest::newRow("cut mid-body") << cut << QString();
    }
    void inetAnswers()
    {
        QFETCH(HttpResponse, response);
        QFETCH(QString, expected);
        LocalHttpServer server;
        QVERIFY(server.listen());
        server.route(u"/jc.txt"_s, response);
        QCOMPARE(Inet().OpenURL(server.baseUrl() + u"/jc.txt"_s), expected);
    }
};

QTEST_MAIN(TestInet)
#include "tst_inet.moc"
