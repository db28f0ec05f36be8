// PageFetch against the local server: what a request yields, what goes out,
// and the nested wait that keeps every other handler running. A body cut off
// mid-way and the route through http_proxy are driven from the window, in
// tst_extraction.

#include "LocalHttpServer.h"
#include "PageFetch.h"
#include "TextCodec.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(HttpResponse)

const QString kPage = u"<html>page</html>"_s;
const QString kNoPage = u"(no page)"_s;
const QString kLocalFile = u"file://localhost" SONAVEX_FIXTURES_DIR "/not-a-song.html"_s;

class tst_PageFetch : public QObject
{
    Q_OBJECT

    LocalHttpServer m_server;
    HttpResponse m_silent;

    static QString text(const std::optional<PageText> &p) { return p ? p->toString() : kNoPage; }
    QString url(const char *path) const { return m_server.baseUrl() + QLatin1String(path); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_server.route(u"/page"_s, HttpResponse::text(kPage.toUtf8()));
        HttpResponse slow = HttpResponse::text("slow page");
        slow.delayMs = 300;
        m_server.route(u"/slow"_s, slow);
        m_silent.behaviour = HttpResponse::Behaviour::Silent;
        m_server.route(u"/silent"_s, m_silent);
    }
    void init() { m_server.clearRequests(); }

    void outcomes_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<QString>("body");
        const QString song = u"唱吧 歌手：小明 粉丝 1234"_s;
        const QByteArray gbk = TextCodec::encode("GBK", song);
        const QByteArray atCap(1000, 'x');
        QTest::newRow("redirect followed") << HttpResponse::redirect("/page") << kPage;
        QTest::newRow("404: a page") << HttpResponse::text("gone", "text/html", 404) << u"gone"_s;
        QTest::newRow("GBK by header") << HttpResponse::text(gbk, "text/html; charset=GBK") << song;
        QTest::newRow("at the cap: kept") << HttpResponse::text(atCap) << QString(1000, u'x');
        QTest::newRow("body over the cap refused") << HttpResponse::text(atCap + 'x') << kNoPage;
        QTest::newRow("silent server: time-out") << m_silent << kNoPage;
    }
    void outcomes()
    {
        QFETCH(HttpResponse, response);
        QFETCH(QString, body);
        m_server.route(u"/song"_s, response);
        PageFetch fetch;
        fetch.setMaxBodyBytes(1000);
        // Only silence waits for the time-out; any other failure must end the wait by itself.
        fetch.setTimeout(response.behaviour == HttpResponse::Behaviour::Silent ? 400 : 0);
        // Well inside the network manager's own one-minute stall limit.
        const QDeadlineTimer deadline(10000);
        QCOMPARE(text(fetch.GetBody(url("/song"))), body);
        QVERIFY(!deadline.hasExpired());
        // Asks for a fresh page from any cache between us and the service.
        QCOMPARE(m_server.requests().value(0).header("If-Modified-Since"), QByteArray("0"));
    }

    // A song page is only ever HTTP; QNetworkAccessManager would read local files.
    void fileSchemeRefused() { QCOMPARE(text(PageFetch().GetBody(kLocalFile)), kNoPage); }

    // A second GetBody from a handler inside the first one's wait; once the
    // second request is in, a handler may abort the fetch or delete it.
    void nested_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("pages"); // the outer call's, the inner call's
        QTest::newRow("each gets its own page") << QString() << QStringList{u"slow page"_s, kPage};
        QTest::newRow("abort ends every call") << u"abort"_s << QStringList(2, kNoPage);
        // The window owning the fetch may close from a handler that runs inside the wait.
        QTest::newRow("destroyed while waiting") << u"delete"_s << QStringList(2, kNoPage);
    }
    void nested()
    {
        QFETCH(QString, end);
        QFETCH(QStringList, pages);
        QObject scope; // not the fetch: it may be deleted inside its own handler
        QPointer<PageFetch> fetch = new PageFetch(&scope);
        fetch->setTimeout(0); // only the handler may end a silent wait
        QList<bool> pending;
        connect(fetch, &PageFetch::pendingChanged, this, [&pending](bool p) { pending << p; });
        QString inner;
        const auto handle = [&](const HttpRequest &request) {
            if (request.path == u"/slow")
                inner = text(fetch->GetBody(url(end.isEmpty() ? "/page" : "/silent")));
            else if (request.path == u"/silent")
                end == u"abort" ? fetch->abort() : delete fetch.data();
        };
        // Queued: inside the server's own handler our wait would nest in the middle of its parsing.
        connect(&m_server, &LocalHttpServer::requestReceived, &scope, handle, Qt::QueuedConnection);
        QCOMPARE((QStringList{text(fetch->GetBody(url("/slow"))), inner}), pages);
        if (fetch) // one pending period for the whole nest, not one per call
            QCOMPARE(pending, (QList<bool>{true, false}));
    }
};

QTEST_GUILESS_MAIN(tst_PageFetch)
#include "tst_pagefetch.moc"
