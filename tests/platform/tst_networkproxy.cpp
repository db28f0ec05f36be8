// Which addresses go through the proxy http_proxy names and which are reached
// directly, as Windows applies the variables; Linux leaves them to Qt.

#include "NetworkProxy.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestNetworkProxy : public QObject
{
    Q_OBJECT

    static QString describe(const QNetworkProxy &proxy)
    {
        if (proxy.type() == QNetworkProxy::NoProxy)
            return u"direct"_s;
        return proxy.hostName() + u':' + QString::number(proxy.port());
    }

private slots:
    void variable_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("proxy");
        QTest::newRow("host and port") << u"http://127.0.0.1:8123"_s << u"127.0.0.1:8123"_s;
        QTest::newRow("trailing slash, spaces")
            << u" http://proxy.example:3128/ "_s << u"proxy.example:3128"_s;
        QTest::newRow("no port: 80") << u"http://proxy.example"_s << u"proxy.example:80"_s;
        QTest::newRow("no scheme: ignored") << u"127.0.0.1:8123"_s << u"none"_s;
        QTest::newRow("socks scheme: ignored") << u"socks5://127.0.0.1:1080"_s << u"none"_s;
        QTest::newRow("empty") << QString() << u"none"_s;
    }
    void variable()
    {
        QFETCH(QString, value);
        QFETCH(QString, proxy);
        const std::optional<QNetworkProxy> found = NetworkProxy::fromVariable(value);
        QCOMPARE(found ? describe(*found) : u"none"_s, proxy);
        if (found)
            QCOMPARE(found->type(), QNetworkProxy::HttpProxy);
    }

    void route_data()
    {
        QTest::addColumn<QString>("noProxy");
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("route");
        const QString proxy = u"10.0.0.1:8080"_s;
        QTest::newRow("song page") << QString() << QUrl(u"http://changba.com/s/x"_s) << proxy;
        QTest::newRow("https too") << QString() << QUrl(u"https://changba.com/s/x"_s) << proxy;
        QTest::newRow("loopback address")
            << QString() << QUrl(u"http://127.0.0.1:5000/a"_s) << u"direct"_s;
        QTest::newRow("localhost") << QString() << QUrl(u"http://localhost/a"_s) << u"direct"_s;
        QTest::newRow("IPv6 loopback") << QString() << QUrl(u"http://[::1]/a"_s) << u"direct"_s;
        QTest::newRow("no_proxy exact host")
            << u"example.org,changba.com"_s << QUrl(u"http://changba.com/s/x"_s) << u"direct"_s;
        QTest::newRow("no_proxy covers sub-domains")
            << u".changba.com"_s << QUrl(u"http://aliimg.changba.com/p.jpg"_s) << u"direct"_s;
        QTest::newRow("no_proxy is no prefix match")
            << u"changba.com"_s << QUrl(u"http://notchangba.com/"_s) << proxy;
        QTest::newRow("no_proxy star") << u"*"_s << QUrl(u"http://changba.com/"_s) << u"direct"_s;
        QTest::newRow("ftp never through an HTTP proxy")
            << QString() << QUrl(u"ftp://a.example/a.mp3"_s) << u"direct"_s;
    }
    void route()
    {
        QFETCH(QString, noProxy);
        QFETCH(QUrl, url);
        QFETCH(QString, route);
        EnvironmentProxyFactory factory(
            QNetworkProxy(QNetworkProxy::HttpProxy, u"10.0.0.1"_s, 8080), noProxy);
        const QList<QNetworkProxy> proxies = factory.queryProxy(QNetworkProxyQuery(url));
        QCOMPARE(proxies.size(), 1);
        QCOMPARE(describe(proxies.first()), route);
    }

    // A local server must still be able to listen while the factory is in place.
    void listeningIsDirect()
    {
        EnvironmentProxyFactory factory(
            QNetworkProxy(QNetworkProxy::HttpProxy, u"10.0.0.1"_s, 8080), QString());
        const QList<QNetworkProxy> proxies =
            factory.queryProxy(QNetworkProxyQuery(0, QString(), QNetworkProxyQuery::TcpServer));
        QCOMPARE(describe(proxies.value(0)), u"direct"_s);
    }
};

QTEST_GUILESS_MAIN(TestNetworkProxy)
#include "tst_networkproxy.moc"
