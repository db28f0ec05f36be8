#include "LocalHttpServer.h"
#include "PageFetch.h"

#include <QPointer>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {

QByteArray encoded(const char *encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.isValid() ? QByteArray(encoder.encode(text)) : QByteArray();
}

// The characters song pages carry: Chinese names, full-width punctuation, digits.
const QString kChinese = QStringLiteral("唱吧 歌手：小明 粉丝 1234");
const QString kTraditional = QStringLiteral("唱歌 歌手：小明 點擊 1234");

HttpResponse withBehaviour(HttpResponse r, HttpResponse::Behaviour behaviour, int delayMs = 0)
{
    r.behaviour = behaviour;
    r.delayMs = delayMs;
    return r;
}

// Ends a wait that the code under test failed to end, so the test fails instead of hanging.
struct Watchdog
{
    explicit Watchdog(PageFetch *fetch)
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, fetch, [this, fetch] {
            fired = true;
            fetch->abort();
        });
        timer.start(20000);
    }
    QTimer timer;
    bool fired = false;
};

} // namespace

class tst_PageFetch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestOnTheWire();
    void outcomes_data();
    void outcomes();
    void addressTakenAsGiven_data();
    void addressTakenAsGiven();
    void decodeBody_data();
    void decodeBody();
    void gbkPageEndToEnd();

    void silentServerEndsAtTimeOutWhileEventsRun();
    void abortFromInsideTheWait();
    void nestedCallsEachGetTheirOwnPage();
    void abortEndsEveryNestedCall();
    void destroyedWhileWaiting();
    void throughHttpProxyFromEnvironment();

private:
    QString url(const char *path) const { return m_server.baseUrl() + QLatin1String(path); }
    // Runs action once, from the event loop, as soon as the server has seen `count` requests.
    void onRequest(int count, std::function<void()> action);

    LocalHttpServer m_server;
    QByteArray m_bigBody;
};

void tst_PageFetch::initTestCase()
{
    using B = HttpResponse::Behaviour;
    QVERIFY(m_server.listen());
    m_bigBody = QByteArray(5000, 'x');

    m_server.route(QStringLiteral("/page"), HttpResponse::text("<html>page</html>"));
    m_server.route(QStringLiteral("/missing"),
                   HttpResponse::text("<p>no such song</p>", "text/html", 404));
    m_server.route(QStringLiteral("/broken"),
                   HttpResponse::text("<p>server broke</p>", "text/html", 500));
    m_server.route(QStringLiteral("/slow"),
                   withBehaviour(HttpResponse::text("slow page"), B::Normal, 300));
    m_server.route(QStringLiteral("/silent"), withBehaviour(HttpResponse(), B::Silent));
    m_server.route(QStringLiteral("/hangup"),
                   withBehaviour(HttpResponse::text(m_bigBody), B::HangUpMidBody));
    m_server.route(QStringLiteral("/big"), HttpResponse::text(m_bigBody));
    m_server.route(QStringLiteral("/at-cap"), HttpResponse::text(m_bigBody.left(1000)));
    HttpResponse trickled = withBehaviour(HttpResponse::text(m_bigBody), B::Trickle);
    trickled.chunkBytes = 700;
    trickled.chunkDelayMs = 1;
    m_server.route(QStringLiteral("/trickle"), trickled);

    // qCompress adds a four-byte length before the zlib stream that HTTP's deflate carries.
    HttpResponse deflated = HttpResponse::text(qCompress(kChinese.toUtf8()).mid(4));
    deflated.headers.append({QByteArray("Content-Encoding"), QByteArray("deflate")});
    m_server.route(QStringLiteral("/deflate"), deflated);

    m_server.route(QStringLiteral("/redirect"), HttpResponse::redirect("/page", 301));
    m_server.route(QStringLiteral("/loop"), HttpResponse::redirect("/loop"));
    m_server.route(QStringLiteral("/hop/0"), HttpResponse::redirect("/page"));
    for (int i = 1; i <= 10; ++i) {
        m_server.route(QStringLiteral("/hop/") + QString::number(i),
                       HttpResponse::redirect("/hop/" + QByteArray::number(i - 1)));
    }
}

void tst_PageFetch::init()
{
    m_server.clearRequests();
}

void tst_PageFetch::onRequest(int count, std::function<void()> action)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(&m_server, &LocalHttpServer::requestReceived, this,
                          [this, count, action, connection] {
                              if (m_server.requests().size() != count)
                                  return;
                              disconnect(*connection);
                              // Not inside the server's own handler: that would nest our
                              // wait in the middle of its parsing.
                              QTimer::singleShot(0, this, action);
                          });
}

void tst_PageFetch::requestOnTheWire()
{
    PageFetch fetch;
    QVERIFY(!fetch.isPending());
    QCOMPARE(fetch.GetBody(url("/page")), QStringLiteral("<html>page</html>"));
    QVERIFY(!fetch.isPending());

    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("GET"));
    QCOMPARE(requests[0].header("If-Modified-Since"), QByteArray("0"));
    QCOMPARE(requests[0].path, QStringLiteral("/page"));
    QVERIFY(!requests[0].viaProxy);
}

void tst_PageFetch::outcomes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("body");

    const qint64 noCap = qint64(64) * 1024 * 1024;
    const QString page = QStringLiteral("<html>page</html>");
    QTest::newRow("404 page is a result, not a failure")
        << url("/missing") << noCap << true << QStringLiteral("<p>no such song</p>");
    QTest::newRow("500 page is a result too")
        << url("/broken") << noCap << true << QStringLiteral("<p>server broke</p>");
    QTest::newRow("redirect followed") << url("/redirect") << noCap << true << page;
    QTest::newRow("ten redirects followed") << url("/hop/9") << noCap << true << page;
    QTest::newRow("eleventh redirect refused") << url("/hop/10") << noCap << false << QString();
    QTest::newRow("redirect loop ends") << url("/loop") << noCap << false << QString();
    QTest::newRow("deflate-encoded body inflated") << url("/deflate") << noCap << true << kChinese;
    QTest::newRow("delayed answer waited for")
        << url("/slow") << noCap << true << QStringLiteral("slow page");
    QTest::newRow("trickled body assembled")
        << url("/trickle") << noCap << true << QString::fromLatin1(m_bigBody);
    QTest::newRow("hang-up mid-body is no page") << url("/hangup") << noCap << false << QString();
    QTest::newRow("body over the cap refused") << url("/big") << qint64(1000) << false << QString();
    QTest::newRow("trickled body over the cap refused")
        << url("/trickle") << qint64(1000) << false << QString();
    QTest::newRow("body exactly at the cap kept")
        << url("/at-cap") << qint64(1000) << true << QString::fromLatin1(m_bigBody.left(1000));

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/page").arg(closed.serverPort());
    closed.close();
    QTest::newRow("connection refused") << refused << noCap << false << QString();

    // QNetworkAccessManager would happily read these; a song page is only ever HTTP.
    QTest::newRow("file scheme refused")
        << QStringLiteral("file://localhost" SONAVEX_SOURCE_DIR "/CMakeLists.txt") << noCap << false
        << QString();
    QTest::newRow("data scheme refused")
        << QStringLiteral("data:text/plain,hello") << noCap << false << QString();
    QTest::newRow("ftp scheme refused")
        << QStringLiteral("ftp://127.0.0.1/x") << noCap << false << QString();
    QTest::newRow("empty address") << QString() << noCap << false << QString();
    QTest::newRow("address without host")
        << QStringLiteral("http:///s/x") << noCap << false << QString();
    QTest::newRow("bare text") << QStringLiteral("changba.com/s/x") << noCap << false << QString();
}

void tst_PageFetch::outcomes()
{
    QFETCH(QString, address);
    QFETCH(qint64, maxBytes);
    QFETCH(bool, ok);
    QFETCH(QString, body);

    PageFetch fetch;
    fetch.setMaxBodyBytes(maxBytes);
    Watchdog watchdog(&fetch);
    const std::optional<QString> result = fetch.GetBody(address);
    QVERIFY(!watchdog.fired);
    QCOMPARE(result.has_value(), ok);
    if (ok)
        QCOMPARE(*result, body);
    QVERIFY(!fetch.isPending());
}

void tst_PageFetch::addressTakenAsGiven_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("pathSeen"); // empty: the server must see no request

    // Qt's tolerant parsing keeps a trailing space as %20 in the path; the page
    // asked for is then a different one, as with the original request object.
    QTest::newRow("trailing space kept") << url("/page ") << true << QStringLiteral("/page%20");
    QTest::newRow("inner space kept") << url("/pa ge") << true << QStringLiteral("/pa%20ge");
    // A leading space leaves no scheme at the start: there is nothing to send.
    QTest::newRow("leading space is a failure")
        << QLatin1Char(' ') + url("/page") << false << QString();
    QTest::newRow("escapes not doubled") << url("/a%20b") << true << QStringLiteral("/a%20b");
    QTest::newRow("case kept") << url("/S/AbC?Q=1") << true << QStringLiteral("/S/AbC?Q=1");
    QTest::newRow("query kept") << url("/page?a=1&b=%E5%94%B1") << true
                                << QStringLiteral("/page?a=1&b=%E5%94%B1");
}

void tst_PageFetch::addressTakenAsGiven()
{
    QFETCH(QString, address);
    QFETCH(bool, ok);
    QFETCH(QString, pathSeen);

    PageFetch fetch;
    QCOMPARE(fetch.GetBody(address).has_value(), ok);
    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), pathSeen.isEmpty() ? 0 : 1);
    if (!pathSeen.isEmpty())
        QCOMPARE(requests[0].path, pathSeen);
}

void tst_PageFetch::decodeBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");

    const QByteArray utf8 = kChinese.toUtf8();
    QTest::newRow("GBK charset") << encoded("GBK", kChinese) << QByteArray("text/html; charset=GBK")
                                 << kChinese;
    QTest::newRow("lower-case gb2312")
        << encoded("GB2312", kChinese) << QByteArray("text/html; charset=gb2312") << kChinese;
    QTest::newRow("GB18030") << encoded("GB18030", kChinese)
                             << QByteArray("text/html; charset=GB18030") << kChinese;
    QTest::newRow("Big5") << encoded("Big5", kTraditional) << QByteArray("text/html; charset=Big5")
                          << kTraditional;
    QTest::newRow("no space, upper-case parameter name")
        << encoded("GBK", kChinese) << QByteArray("text/html;CHARSET=GBK") << kChinese;
    QTest::newRow("quoted charset")
        << encoded("GBK", kChinese) << QByteArray("text/html; charset=\"gbk\"") << kChinese;
    QTest::newRow("charset after another parameter")
        << encoded("GBK", kChinese) << QByteArray("text/html; q=1; charset=GBK") << kChinese;
    QTest::newRow("look-alike parameter is not the charset")
        << utf8 << QByteArray("text/html; x-charset=GBK") << kChinese;
    QTest::newRow("no header: UTF-8") << utf8 << QByteArray() << kChinese;
    QTest::newRow("UTF-8 byte-order mark dropped")
        << QByteArray("\xEF\xBB\xBF") + utf8 << QByteArray("text/html") << kChinese;
    QTest::newRow("UTF-16LE byte-order mark")
        << QByteArray("\xFF\xFE") +
               QByteArray(reinterpret_cast<const char *>(kChinese.utf16()), kChinese.size() * 2)
        << QByteArray("text/html") << kChinese;
    QTest::newRow("unknown charset falls back to the byte-order mark")
        << QByteArray("\xEF\xBB\xBF") + utf8 << QByteArray("text/html; charset=x-no-such")
        << kChinese;
    QTest::newRow("unknown charset falls back to UTF-8")
        << utf8 << QByteArray("text/html; charset=x-no-such") << kChinese;
    QTest::newRow("invalid UTF-8 replaced, rest kept")
        << QByteArray("ab\xFF") + utf8 << QByteArray("text/html; charset=utf-8")
        << QStringLiteral("ab") + QChar(QChar::ReplacementCharacter) + kChinese;
    QTest::newRow("invalid UTF-8 without header replaced")
        << QByteArray("\xC3(x") << QByteArray()
        << QString(QChar(QChar::ReplacementCharacter)) + QStringLiteral("(x");
    QTest::newRow("empty body") << QByteArray() << QByteArray("text/html; charset=GBK")
                                << QString();
}

void tst_PageFetch::decodeBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QVERIFY2(!body.isEmpty() || text.isEmpty(), "encoder missing for this row");
    QCOMPARE(::decodeBody(body, contentType), text);
}

void tst_PageFetch::gbkPageEndToEnd()
{
    m_server.route(QStringLiteral("/gbk"),
                   HttpResponse::text(encoded("GBK", kChinese), "text/html; charset=GBK"));
    PageFetch fetch;
    QCOMPARE(fetch.GetBody(url("/gbk")), kChinese);
}

void tst_PageFetch::silentServerEndsAtTimeOutWhileEventsRun()
{
    PageFetch fetch;
    fetch.setTimeout(400);
    QSignalSpy pending(&fetch, &PageFetch::pendingChanged);
    int ticks = 0;
    int ticksWhilePending = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        ++ticks;
        ticksWhilePending += fetch.isPending() ? 1 : 0;
    });
    ticker.start(10);

    QVERIFY(!fetch.GetBody(url("/silent")));
    QVERIFY2(ticksWhilePending > 0, "the wait must let timers run");
    QCOMPARE(ticksWhilePending, ticks);
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(pending.size(), 2);
    QCOMPARE(pending[0][0].toBool(), true);
    QCOMPARE(pending[1][0].toBool(), false);
    QVERIFY(!fetch.isPending());
}

void tst_PageFetch::abortFromInsideTheWait()
{
    PageFetch fetch;
    fetch.setTimeout(0);
    Watchdog watchdog(&fetch);
    onRequest(1, [&] { fetch.abort(); });
    QVERIFY(!fetch.GetBody(url("/silent")));
    QVERIFY(!watchdog.fired);
    QVERIFY(!fetch.isPending());
    // The object stays usable after an abort.
    QCOMPARE(fetch.GetBody(url("/page")), QStringLiteral("<html>page</html>"));
}

void tst_PageFetch::nestedCallsEachGetTheirOwnPage()
{
    PageFetch fetch;
    QSignalSpy pending(&fetch, &PageFetch::pendingChanged);
    QStringList order;
    std::optional<QString> inner;
    bool pendingInside = false;
    onRequest(1, [&] {
        pendingInside = fetch.isPending();
        inner = fetch.GetBody(url("/page"));
        order << QStringLiteral("inner");
    });
    const std::optional<QString> outer = fetch.GetBody(url("/slow"));
    order << QStringLiteral("outer");

    QVERIFY(pendingInside);
    QCOMPARE(inner, QStringLiteral("<html>page</html>"));
    QCOMPARE(outer, QStringLiteral("slow page"));
    QCOMPARE(order, QStringList({QStringLiteral("inner"), QStringLiteral("outer")}));
    // One pending period for the whole nest, not one per call.
    QCOMPARE(pending.size(), 2);
    QVERIFY(!fetch.isPending());
}

void tst_PageFetch::abortEndsEveryNestedCall()
{
    PageFetch fetch;
    fetch.setTimeout(0);
    Watchdog watchdog(&fetch);
    std::optional<QString> inner = QStringLiteral("unset");
    onRequest(1, [&] { inner = fetch.GetBody(url("/silent")); });
    onRequest(2, [&] { fetch.abort(); });
    const std::optional<QString> outer = fetch.GetBody(url("/silent"));

    QVERIFY(!watchdog.fired);
    QVERIFY(!inner);
    QVERIFY(!outer);
    QVERIFY(!fetch.isPending());
}

void tst_PageFetch::destroyedWhileWaiting()
{
    // The window owning the fetch may close from a handler that runs inside the wait.
    QObject window;
    QPointer<PageFetch> fetch = new PageFetch(&window);
    fetch->setTimeout(0);
    std::optional<QString> inner = QStringLiteral("unset");
    onRequest(1, [&] { inner = fetch->GetBody(url("/silent")); });
    onRequest(2, [&] { delete fetch.data(); });
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, fetch, &PageFetch::abort);
    watchdog.start(20000);

    const std::optional<QString> outer = fetch->GetBody(url("/silent"));
    QVERIFY(fetch.isNull());
    QVERIFY(!inner);
    QVERIFY(!outer);
}

void tst_PageFetch::throughHttpProxyFromEnvironment()
{
    // The way a Linux user points the tool at a proxy; the host never resolves here.
    m_server.route(QStringLiteral("changba.com/s/AbCd"), HttpResponse::text("proxied song page"));
    qputenv("http_proxy", m_server.baseUrl().toLatin1());
    qunsetenv("no_proxy");
    PageFetch fetch;
    const std::optional<QString> body = fetch.GetBody(QStringLiteral("http://changba.com/s/AbCd"));
    qunsetenv("http_proxy");

    QCOMPARE(body, QStringLiteral("proxied song page"));
    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests[0].viaProxy);
    QCOMPARE(requests[0].host, QStringLiteral("changba.com"));
    QCOMPARE(requests[0].path, QStringLiteral("/s/AbCd"));
    QCOMPARE(requests[0].header("If-Modified-Since"), QByteArray("0"));
}

QTEST_GUILESS_MAIN(tst_PageFetch)
#include "tst_pagefetch.moc"
