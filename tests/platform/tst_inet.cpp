#include "Inet.h"
#include "LocalHttpServer.h"

#include <QNetworkAccessManager>
#include <QtTest>

Q_DECLARE_METATYPE(HttpResponse)

using Behaviour = HttpResponse::Behaviour;

class TestInet : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void answers_data();
    void answers();
    void networkStackCreatedOnFirstUse();
    void closedPortGivesNothing();
    void otherEventsRunWhileWaiting();

private:
    std::unique_ptr<LocalHttpServer> m_server;
};

void TestInet::init()
{
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->listen());
}

void TestInet::answers_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<QString>("expected");

    QTest::newRow("200 gives the whole body")
        << HttpResponse::text("V1.0", "text/plain") << QStringLiteral("V1.0");
    QTest::newRow("line breaks are kept, nothing trimmed")
        << HttpResponse::text(" V1.0\r\n", "text/plain") << QStringLiteral(" V1.0\r\n");
    QTest::newRow("body read as UTF-8 whatever the header says")
        << HttpResponse::text(QStringLiteral("版本V1.1").toUtf8(), "text/plain; charset=iso-8859-1")
        << QStringLiteral("版本V1.1");
    QTest::newRow("404 body is not an answer")
        << HttpResponse::text("V1.0", "text/plain", 404) << QString();
    QTest::newRow("500 body is not an answer")
        << HttpResponse::text("V1.0", "text/plain", 500) << QString();
    QTest::newRow("empty 200 is empty") << HttpResponse::text("", "text/plain") << QString();

    HttpResponse silent;
    silent.behaviour = Behaviour::Silent;
    QTest::newRow("silent server times out") << silent << QString();

    HttpResponse cut = HttpResponse::text("V1.0 and a longer body", "text/plain");
    cut.behaviour = Behaviour::HangUpMidBody;
    QTest::newRow("connection lost mid-body is a failure") << cut << QString();
}

void TestInet::answers()
{
    QFETCH(HttpResponse, response);
    QFETCH(QString, expected);
    m_server->route(QStringLiteral("/jc.txt"), response);

    Inet inet;
    inet.setRequestTimeout(400);
    QCOMPARE(inet.OpenURL(m_server->baseUrl() + QStringLiteral("/jc.txt")), expected);
    QCOMPARE(m_server->requests().size(), 1);
}

void TestInet::networkStackCreatedOnFirstUse()
{
    m_server->route(QStringLiteral("/a"), HttpResponse::text("x"));
    Inet inet;
    QVERIFY2(inet.findChildren<QNetworkAccessManager *>().isEmpty(),
             "start-up must not pay for the network stack");
    QCOMPARE(inet.OpenURL(m_server->baseUrl() + QStringLiteral("/a")), QStringLiteral("x"));
    QCOMPARE(inet.OpenURL(m_server->baseUrl() + QStringLiteral("/a")), QStringLiteral("x"));
    QCOMPARE(inet.findChildren<QNetworkAccessManager *>().size(), 1);
}

void TestInet::closedPortGivesNothing()
{
    const QString address = m_server->baseUrl() + QStringLiteral("/a");
    m_server.reset();
    Inet inet;
    QCOMPARE(inet.OpenURL(address), QString());
}

void TestInet::otherEventsRunWhileWaiting()
{
    HttpResponse slow = HttpResponse::text("ok");
    slow.delayMs = 200;
    m_server->route(QStringLiteral("/slow"), slow);
    bool timerRan = false;
    QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });

    Inet inet;
    QCOMPARE(inet.OpenURL(m_server->baseUrl() + QStringLiteral("/slow")), QStringLiteral("ok"));
    QVERIFY2(timerRan, "the wait must keep the event loop turning (repaints, timers)");
}

QTEST_MAIN(TestInet)
#include "tst_inet.moc"
