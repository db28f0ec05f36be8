#include "Hosts.h"
#include "LocalHttpServer.h"

#include <QProcess>
#include <QUrl>
#include <QtTest>

// Starts the real program offscreen, with the maker's server standing behind
// a local proxy, and checks that it comes up, asks for the version once, and
// stays up afterwards.
class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void startsChecksAndStaysUp();
};

void TestSmoke::startsChecksAndStaysUp()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    const QUrl versionUrl(Hosts::versionFileUrl());
    server.route(versionUrl.host() + versionUrl.path(), HttpResponse::text("V1.0", "text/plain"));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("http_proxy"), server.baseUrl());
    env.remove(QStringLiteral("no_proxy"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(SONAVEX_BINARY), QStringList());
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));

    QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 30000);
    QVERIFY(server.requests().first().viaProxy);

    // On the own version the program has nothing more to do and must not end.
    QVERIFY2(!program.waitForFinished(2000),
             qPrintable(QStringLiteral("ended with %1").arg(program.exitCode())));
    QCOMPARE(program.state(), QProcess::Running);
    QCOMPARE(server.requests().size(), 1);

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
}

QTEST_MAIN(TestSmoke)
#include "tst_smoke.moc"
