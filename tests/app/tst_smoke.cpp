#include "Hosts.h"
#include "LocalHttpServer.h"

#include <QProcess>
#include <QUrl>
#include <QtTest>

// The real program, with the maker's server behind http_proxy: it must come
// up, fetch the version file once by itself, and on its own version stay up.
class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void startsChecksOnceAndStaysUp()
    {
        LocalHttpServer server;
        QVERIFY(server.listen());
        const QUrl url(Hosts::versionFileUrl());
        server.route(url.host() + url.path(), HttpResponse::text("V1.0", "text/plain"));
        qputenv("http_proxy", server.baseUrl().toUtf8()); // for the program only

        QProcess program;
        program.start(QStringLiteral(SONAVEX_BINARY), {});
        QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 30000);
        // Nothing marks "stayed up": give a wrong end or a second fetch two seconds to show,
        // far longer than either takes once the answer is in.
        QVERIFY2(!program.waitForFinished(2000), "ended on its own version");
        QCOMPARE(server.requests().size(), 1);
        // Killed: a polite close would ask the user first (Windows closes the window).
        program.kill();
        QVERIFY(program.waitForFinished(10000));
    }
};

QTEST_MAIN(TestSmoke)
#include "tst_smoke.moc"
