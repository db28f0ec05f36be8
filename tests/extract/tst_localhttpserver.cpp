// The local server is the stand-in for every remote host in the other tests,
// so the behaviours they rely on are checked here against a real client.

#include "LocalHttpServer.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

Result get(QNetworkAccessManager &manager, const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    QNetworkReply *reply = manager.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(10000))
        qWarning("no answer for %s", qPrintable(url));
    Result r;
    r.error = reply->error();
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    r.body = reply->readAll();
    reply->deleteLater();
    return r;
}

// Sends raw bytes and collects everything until the server closes; the event loop keeps
// running meanwhile, since the server lives on this thread.
QByteArray exchange(quint16 port, const QByteArray &bytes)
{
    QTcpSocket socket;
    QByteArray answer;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { answer += socket.readAll(); });
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(bytes);
    if (!closed.wait(10000))
        qWarning("server did not close the connection");
    return answer;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

class tst_LocalHttpServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.listen()); }
    void init()
    {
        m_server.clearRequests();
        m_manager.setProxy(QNetworkProxy::NoProxy);
    }

    void routing_data();
    void routing();
    void proxyRequestsKeepTheirHost();
    void directory_data();
    void directory();
    void requestBodyIsConsumed();
    void rawRequests_data();
    void rawRequests();
    void demoContent_data();
    void demoContent();

private:
    LocalHttpServer m_server;
    QNetworkAccessManager m_manager;
};

void tst_LocalHttpServer::routing_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("path key answers any host")
        << "http://a.example/any" << 200 << QByteArray("any");
    QTest::newRow("host key beats path key")
        << "http://b.example/any" << 200 << QByteArray("b only");
    QTest::newRow("host key does not leak to other hosts")
        << "http://c.example/b-only" << 404 << QByteArray();
    QTest::newRow("query is part of the exact match")
        << "http://a.example/any?x=1" << 404 << QByteArray();
    QTest::newRow("fallback sees the unmatched request")
        << "http://a.example/fallback/x" << 203 << QByteArray("a.example /fallback/x");
}

void tst_LocalHttpServer::routing()
{
    QFETCH(QString, url);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    LocalHttpServer server;
    QVERIFY(server.listen());
    server.route(QStringLiteral("/any"), HttpResponse::text("any"));
    server.route(QStringLiteral("b.example/any"), HttpResponse::text("b only"));
    server.route(QStringLiteral("b.example/b-only"), HttpResponse::text("b only"));
    server.setFallback([](const HttpRequest &r) {
        if (!r.path.startsWith(QLatin1String("/fallback")))
            return HttpResponse::text("", "text/plain", 404);
        return HttpResponse::text(r.host.toUtf8() + ' ' + r.path.toUtf8(), "text/plain", 203);
    });
    QNetworkAccessManager manager;
    manager.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port()));
    const Result r = get(manager, url);
    QCOMPARE(r.status, status);
    if (status == 200 || status == 203)
        QCOMPARE(r.body, body);
}

void tst_LocalHttpServer::proxyRequestsKeepTheirHost()
{
    m_manager.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), m_server.port()));
    QSignalSpy received(&m_server, &LocalHttpServer::requestReceived);
    get(m_manager, QStringLiteral("http://changba.com/s/abc?x=1"));
    m_manager.setProxy(QNetworkProxy::NoProxy);
    get(m_manager, m_server.baseUrl() + QStringLiteral("/direct"));

    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(received.size(), 2);
    QCOMPARE(requests[0].host, QStringLiteral("changba.com"));
    QCOMPARE(requests[0].path, QStringLiteral("/s/abc?x=1"));
    QVERIFY(requests[0].viaProxy);
    QCOMPARE(requests[0].target, QByteArray("http://changba.com/s/abc?x=1"));
    QCOMPARE(requests[1].host, QStringLiteral("127.0.0.1"));
    QCOMPARE(requests[1].path, QStringLiteral("/direct"));
    QVERIFY(!requests[1].viaProxy);
    QCOMPARE(requests[1].method, QByteArray("GET"));
    QCOMPARE(requests[1].header("host"), "127.0.0.1:" + QByteArray::number(m_server.port()));
}

void tst_LocalHttpServer::directory_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");

    QTest::newRow("extension-less page is UTF-8 html")
        << "http://h.example/s/page" << 200 << QByteArray("text/html; charset=utf-8");
    QTest::newRow("txt") << "http://h.example/v.txt" << 200 << QByteArray("text/plain");
    QTest::newRow("upper-case jpeg suffix")
        << "http://h.example/p/a.JPG" << 200 << QByteArray("image/jpeg");
    QTest::newRow("png") << "http://h.example/p/b.png" << 200 << QByteArray("image/png");
    QTest::newRow("mp3") << "http://h.example/m.mp3" << 200 << QByteArray("audio/mpeg");
    QTest::newRow("script") << "http://h.example/player.js?a=1&b=2" << 200
                            << QByteArray("application/javascript");
    QTest::newRow("percent-encoded name")
        << "http://h.example/with%20space.html" << 200 << QByteArray("text/html; charset=utf-8");
    QTest::newRow("other host's file stays hidden")
        << "http://other.example/v.txt" << 404 << QByteArray("text/html; charset=utf-8");
}

void tst_LocalHttpServer::directory()
{
    QFETCH(QString, url);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.filePath(QStringLiteral("root"));
    for (const char *name :
         {"s/page", "v.txt", "p/a.JPG", "p/b.png", "m.mp3", "player.js", "with space.html"})
        writeFile(root + QStringLiteral("/h.example/") + QLatin1String(name), name);
    writeFile(root + QStringLiteral("/other.example/x"), "x");
    writeFile(root + QStringLiteral("/secret.txt"), "secret");

    LocalHttpServer server;
    QVERIFY(server.listen());
    server.serveDirectory(root);
    QNetworkAccessManager manager;
    manager.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port()));
    const Result r = get(manager, url);
    QCOMPARE(r.status, status);
    QCOMPARE(r.contentType, contentType);
    QVERIFY2(!r.body.contains("secret"), r.body.constData());
    if (status == 200) {
        const QString path = QUrl(url).path(QUrl::FullyDecoded).mid(1);
        QCOMPARE(r.body, path.toUtf8());
    }
}

void tst_LocalHttpServer::requestBodyIsConsumed()
{
    // A POST body must not be mistaken for the next request on a kept-alive connection.
    m_server.route(QStringLiteral("/one"), HttpResponse::text("first"));
    m_server.route(QStringLiteral("/two"), HttpResponse::text("second"));
    const QByteArray answer =
        exchange(m_server.port(), "POST /one HTTP/1.1\r\nHost: x\r\nContent-Length: 21\r\n\r\n"
                                  "GET /two HTTP/1.1\r\n\r\n"
                                  "GET /two HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");

    QCOMPARE(answer.count("HTTP/1.1 200 OK"), 2);
    QVERIFY2(answer.contains("first") && answer.contains("second"), answer.constData());
    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].method, QByteArray("POST"));
    QCOMPARE(requests[1].path, QStringLiteral("/two"));
}

void tst_LocalHttpServer::rawRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");

    QTest::newRow("dot-dot cannot leave the host folder")
        << QByteArray("GET http://h.example/../secret.txt HTTP/1.1\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 404");
    QTest::newRow("encoded dot-dot cannot either")
        << QByteArray("GET /%2e%2e/secret.txt HTTP/1.1\r\nHost: h.example\r\n"
                      "Connection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 404");
    QTest::newRow("HTTP/1.0 closes after the answer")
        << QByteArray("GET http://h.example/v.txt HTTP/1.0\r\n\r\n") << QByteArray("HTTP/1.1 200");
    QTest::newRow("garbled request line is refused")
        << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400");
}

void tst_LocalHttpServer::rawRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeFile(dir.filePath(QStringLiteral("root/h.example/v.txt")), "version");
    writeFile(dir.filePath(QStringLiteral("root/secret.txt")), "secret");
    LocalHttpServer server;
    QVERIFY(server.listen());
    server.serveDirectory(dir.filePath(QStringLiteral("root")));

    const QByteArray answer = exchange(server.port(), request);
    QVERIFY2(answer.startsWith(statusLine), answer.constData());
    QVERIFY2(!answer.contains("secret"), answer.constData());
}

void tst_LocalHttpServer::demoContent_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("start"); // what the body must begin with
    QTest::addColumn<QByteArray>("inside");

    const QByteArray html = "text/html; charset=utf-8";
    QTest::newRow("version file says exactly V1.0")
        << QStringLiteral("http://soft.vantre.example/brelvane/sonav/jc/jc.txt")
        << QByteArray("text/plain") << QByteArray("V1.0") << QByteArray("V1.0");
    QTest::newRow("audio page names its mp3")
        << QStringLiteral("http://changba.com/s/demo-audio") << html << QByteArray("<!DOCTYPE")
        << QByteArray("mp3:\"http://lzscuw.changba.com/84263517.mp3\"");
    QTest::newRow("video page embeds the player with &amp;")
        << QStringLiteral("http://changba.com/s/demo-video") << html << QByteArray("<!DOCTYPE")
        << QByteArray("mvplayer.js?workid=90125533&amp;width=640");
    QTest::newRow("no-photo page closes the element without a space")
        << QStringLiteral("http://changba.com/s/demo-nophoto") << html << QByteArray("<!DOCTYPE")
        << QByteArray("_200_200.jpg\"/>");
    QTest::newRow("partial page") << QStringLiteral("http://changba.com/s/demo-partial") << html
                                  << QByteArray("<!DOCTYPE") << QByteArray("pcsong_listen_icon");
    QTest::newRow("audio photo is a JPEG")
        << QStringLiteral("http://aliimg.changba.com/cache/photo/284736105_200_200.jpg")
        << QByteArray("image/jpeg") << QByteArray("\xFF\xD8\xFF") << QByteArray();
    QTest::newRow("video header, 640 variant, is a JPEG")
        << QStringLiteral("http://qiniuuserphoto.changba.com/head/640/90125533_640.jpg")
        << QByteArray("image/jpeg") << QByteArray("\xFF\xD8\xFF") << QByteArray();
    QTest::newRow("mp3 starts with a frame sync")
        << QStringLiteral("http://lzscuw.changba.com/84263517.mp3") << QByteArray("audio/mpeg")
        << QByteArray("\xFF") << QByteArray();
    QTest::newRow("player script writes something")
        << QStringLiteral("http://changba.com/static/mvplayer.js?workid=90125533&width=640")
        << QByteArray("application/javascript") << QByteArray() << QByteArray("document.write");
}

void tst_LocalHttpServer::demoContent()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, inside);

    LocalHttpServer server;
    QVERIFY(server.listen());
    server.serveDirectory(QStringLiteral(SONAVEX_SOURCE_DIR "/resources/demo"));
    QNetworkAccessManager manager;
    manager.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port()));
    const Result r = get(manager, url);
    QCOMPARE(r.status, 200);
    QCOMPARE(r.contentType, contentType);
    QVERIFY2(r.body.startsWith(start), r.body.left(16).toHex().constData());
    QVERIFY(r.body.contains(inside));
    if (url.endsWith(QLatin1String("jc.txt")))
        QCOMPARE(r.body, QByteArray("V1.0"));
}

QTEST_GUILESS_MAIN(tst_LocalHttpServer)
#include "tst_localhttpserver.moc"
