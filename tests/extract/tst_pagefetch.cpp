// PageFetch against the local server: what a request yields, what goes out,
// and the nested wait that keeps every other handler running.

#include "LocalHttpServer.h"
#include "PageFetch.h"

#include <QPointer>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString kChinese = u"唱吧 歌手：小明 粉丝 1234"_s;

std::optional<QString> text(const std::optional<PageText> &page)
{
    return page ? std::optional<QString>(page->toString()) : std::nullopt;
}

HttpResponse behaving(HttpResponse r, HttpResponse::Behaviour behaviour, int delayMs = 0)
{
    r.behaviour = behaviour;
    r.delayMs = delayMs;
    return r;
}

} // namespace

class tst_PageFetch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_server.clearRequests(); }
    void outcomes_data();
    void outcomes();
    void silentServerTimesOut();
    void nestedCallsEachGetTheirOwnPage();
    void abortEndsEveryNestedCall();
    void destroyedWhileWaiting();
    void throughHttpProxyFromEnvironment();

private:
    QString url(const char *path) const { return m_server.baseUrl() + QLatin1String(path); }
    // Runs action from the event loop once the server has seen `count` requests,
    // for as long as scope lives.
    void onRequest(QObject *scope, int count, std::function<void()> action);

    LocalHttpServer m_server;
};

void tst_PageFetch::initTestCase()
{
    using B = HttpResponse::Behaviour;
    QVERIFY(m_server.listen());
    m_server.route(u"/page"_s, HttpResponse::text("<html>page</html>"));
    m_server.route(u"/moved"_s, HttpResponse::redirect("/page"));
    m_server.route(u"/missing"_s, HttpResponse::text("<p>no such song</p>", "text/html", 404));
    m_server.route(u"/gbk"_s, HttpResponse::text(QStringEncoder("GBK").encode(kChinese),
                                                 "text/html; charset=GBK"));
    m_server.route(u"/at-cap"_s, HttpResponse::text(QByteArray(1000, 'x')));
    m_server.route(u"/over-cap"_s, HttpResponse::text(QByteArray(1001, 'x')));
    m_server.route(u"/hangup"_s,
                   behaving(HttpResponse::text(QByteArray(800, 'x')), B::HangUpMidBody));
    m_server.route(u"/silent"_s, behaving(HttpResponse(), B::Silent));
    m_server.route(u"/slow"_s, behaving(HttpResponse::text("slow page"), B::Normal, 300));
}

void tst_PageFetch::onRequest(QObject *scope, int count, std::function<void()> action)
{
    // Queued: inside the server's own handler our wait would nest in the middle of its parsing.
    const auto run = [this, count, action] {
        if (m_server.requests().size() == count)
            action();
    };
    connect(&m_server, &LocalHttpServer::requestReceived, scope, run, Qt::QueuedConnection);
}

void tst_PageFetch::outcomes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("body"); // null: no page

    QTest::newRow("200") << url("/page") << u"<html>page</html>"_s;
    QTest::newRow("redirect followed") << url("/moved") << u"<html>page</html>"_s;
    QTest::newRow("404 page is a page") << url("/missing") << u"<p>no such song</p>"_s;
    QTest::newRow("GBK charset decoded") << url("/gbk") << kChinese;
    QTest::newRow("body at the cap kept") << url("/at-cap") << QString(1000, u'x');
    QTest::newRow("body over the cap refused") << url("/over-cap") << QString();
    QTest::newRow("hang-up mid-body") << url("/hangup") << QString();
    // A song page is only ever HTTP; QNetworkAccessManager would read local files.
    QTest::newRow("file scheme refused")
        << u"file://localhost" SONAVEX_FIXTURES_DIR "/not-a-song.html"_s << QString();

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = u"http://127.0.0.1:%1/page"_s.arg(closed.serverPort());
    closed.close();
    QTest::newRow("connection refused") << refused << QString();
}

void tst_PageFetch::outcomes()
{
    QFETCH(QString, address);
    QFETCH(QString, body);

    PageFetch fetch;
    fetch.setMaxBodyBytes(1000);
    fetch.setTimeout(0); // a failure must end the wait by itself, not by the time-out
    const std::optional<QString> result = text(fetch.GetBody(address));
    QCOMPARE(result.has_value(), !body.isNull());
    QCOMPARE(result.value_or(QString()), body);
}

void tst_PageFetch::silentServerTimesOut()
{
    PageFetch fetch;
    fetch.setTimeout(400);
    // The window's events keep running while the fetch waits.
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start(20);
    QVERIFY(!fetch.GetBody(url("/silent")));
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
}

void tst_PageFetch::nestedCallsEachGetTheirOwnPage()
{
    PageFetch fetch;
    QSignalSpy pending(&fetch, &PageFetch::pendingChanged);
    std::optional<QString> inner;
    onRequest(&fetch, 1, [&] { inner = text(fetch.GetBody(url("/page"))); });
    QCOMPARE(text(fetch.GetBody(url("/slow"))), u"slow page"_s);
    QCOMPARE(inner, u"<html>page</html>"_s);
    // One pending period for the whole nest, not one per call.
    QCOMPARE(pending.size(), 2);
    QVERIFY(pending[0][0].toBool() && !pending[1][0].toBool());
}

void tst_PageFetch::abortEndsEveryNestedCall()
{
    PageFetch fetch;
    fetch.setTimeout(0);
    std::optional<QString> inner = u"unset"_s;
    onRequest(&fetch, 1, [&] { inner = text(fetch.GetBody(url("/silent"))); });
    onRequest(&fetch, 2, [&] { fetch.abort(); });
    QVERIFY(!fetch.GetBody(url("/silent")));
    QVERIFY(!inner);
    QCOMPARE(text(fetch.GetBody(url("/page"))), u"<html>page</html>"_s); // still usable
}

void tst_PageFetch::destroyedWhileWaiting()
{
    // The window owning the fetch may close from a handler that runs inside the wait.
    QObject scope; // not the fetch: it is deleted inside its own handler
    QPointer<PageFetch> fetch = new PageFetch;
    fetch->setTimeout(0);
    std::optional<QString> inner = u"unset"_s;
    onRequest(&scope, 1, [&] { inner = text(fetch->GetBody(url("/silent"))); });
    onRequest(&scope, 2, [&] { delete fetch.data(); });
    QVERIFY(!fetch->GetBody(url("/silent")));
    QVERIFY(fetch.isNull());
    QVERIFY(!inner);
}

void tst_PageFetch::throughHttpProxyFromEnvironment()
{
    // How a Linux user points the tool at a proxy; the host never resolves here.
    m_server.route(u"changba.com/s/AbCd"_s, HttpResponse::text("proxied song page"));
    qputenv("http_proxy", m_server.baseUrl().toLatin1());
    PageFetch fetch;
    const std::optional<QString> body = text(fetch.GetBody(u"http://changba.com/s/AbCd"_s));
    qunsetenv("http_proxy");

    QCOMPARE(body, u"proxied song page"_s);
    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests[0].viaProxy);
    QCOMPARE(requests[0].method, QByteArray("GET"));
    QCOMPARE(requests[0].header("If-Modified-Since"), QByteArray("0"));
}

QTEST_GUILESS_MAIN(tst_PageFetch)
#include "tst_pagefetch.moc"
