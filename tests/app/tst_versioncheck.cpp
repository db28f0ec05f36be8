#include "Form1.h"
#include "FormHarness.h"
#include "Hosts.h"
#include "Inet.h"
#include "LocalHttpServer.h"
#include "ModalDialogs.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QtTest>

Q_DECLARE_METATYPE(HttpResponse)

namespace {

const QString welcome = QStringLiteral("欢迎使用Vantre旗下Lumo系列软件 ..");
const QString searching = QStringLiteral("正在检测是否有最新版本..");
const QString networkMessage = QStringLiteral("暂时无法使用!请检查您的网络!");

QString newVersionMessage(const QString &answer)
{
    return QStringLiteral("发现最新版本![") + answer + QStringLiteral("]") +
           QStringLiteral("\r\n") + QStringLiteral(" ") + QStringLiteral("\r\n") +
           QStringLiteral("确定后自动打开官方网站!");
}

// The version file as the proxy sees it: host and path of the fixed address.
QString versionRoute()
{
    const QUrl url(Hosts::versionFileUrl());
    return url.host() + url.path();
}

void useProxy(quint16 port)
{
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port));
}

} // namespace

class TestVersionCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { FormHarness::setProgramFont(); }
    void init();
    void cleanup();

    void answers_data();
    void answers();
    void unreachableProxyIsNoNetwork();
    void timerRunsTheCheckOnceByItself();
    void secondTickDuringTheMessageDoesNothing();

private:
    FormHarness m_harness;
    std::unique_ptr<LocalHttpServer> m_server;
};

void TestVersionCheck::init()
{
    m_harness.install();
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->listen());
    useProxy(m_server->port());
}

void TestVersionCheck::cleanup()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    m_server.reset();
    m_harness.uninstall();
}

void TestVersionCheck::answers_data()
{
    QTest::addColumn<HttpResponse>("response");
    // "ready", "network" or "newVersion"
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("shownAnswer");

    auto text = [](const QByteArray &body) {
        return HttpResponse::text(body, "text/plain");
    };
    QTest::newRow("own version: ready") << text("V1.0") << QStringLiteral("ready") << QString();
    QTest::newRow("empty file: no network") << text("") << QStringLiteral("network") << QString();
    QTest::newRow("newer version")
        << text("V1.1") << QStringLiteral("newVersion") << QStringLiteral("V1.1");
    QTest::newRow("own version and CR LF is another version")
        << text("V1.0\r\n") << QStringLiteral("newVersion") << QStringLiteral("V1.0\r\n");
    QTest::newRow("lower-case v is another version")
        << text("v1.0") << QStringLiteral("newVersion") << QStringLiteral("v1.0");
    QTest::newRow("leading space is another version")
        << text(" V1.0") << QStringLiteral("newVersion") << QStringLiteral(" V1.0");
    QTest::newRow("a page of other text is shown as it is")
        << HttpResponse::text(QStringLiteral("<html>维护中</html>").toUtf8())
        << QStringLiteral("newVersion") << QStringLiteral("<html>维护中</html>");
    QTest::newRow("404 page saying V1.0 is no answer")
        << HttpResponse::text("V1.0", "text/plain", 404) << QStringLiteral("network") << QString();

    HttpResponse silent;
    silent.behaviour = HttpResponse::Behaviour::Silent;
    QTest::newRow("server never answers: time-out")
        << silent << QStringLiteral("network") << QString();
}

void TestVersionCheck::answers()
{
    QFETCH(HttpResponse, response);
    QFETCH(QString, outcome);
    QFETCH(QString, shownAnswer);
    m_server->route(versionRoute(), response);

    Form1 form;
    control<QTimer>(&form, "Timer2")->stop();
    form.findChild<Inet *>(QStringLiteral("Inet1"))->setRequestTimeout(300);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    MessageBox::setNextAnswer(MessageBox::Ok);

    form.Timer2_Timer();

    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(m_server->requests().first().viaProxy);
    QCOMPARE(m_server->requests().first().host + m_server->requests().first().path, versionRoute());
    QVERIFY(!control<QTimer>(&form, "Timer2")->isActive());
    const QList<MessageBox::Shown> boxes = MessageBox::history();
    const bool ready = outcome == QLatin1String("ready");
    QCOMPARE(control(&form, "Text1")->isEnabled(), ready);
    QCOMPARE(control(&form, "Command1")->isEnabled(), ready);

    if (ready) {
        QCOMPARE(form.statusLine(), welcome);
        QVERIFY(boxes.isEmpty());
        QVERIFY(m_harness.ended.isEmpty());
        QVERIFY(m_harness.opened.isEmpty());
    } else if (outcome == QLatin1String("network")) {
        QCOMPARE(form.statusLine(), searching);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, networkMessage);
        QCOMPARE(boxes.first().flags, 48);
        QCOMPARE(boxes.first().title, QStringLiteral("Lumo系列软件"));
        QCOMPARE(m_harness.ended, QList<int>{0});
        QVERIFY(m_harness.opened.isEmpty());
    } else {
        QCOMPARE(form.statusLine(), welcome);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, newVersionMessage(shownAnswer));
        QCOMPARE(boxes.first().flags, 64);
        QCOMPARE(boxes.first().title, QStringLiteral("Tavi提示"));
        QCOMPARE(m_harness.opened, QStringList{Hosts::forumPageUrl()});
        QCOMPARE(m_harness.ended, QList<int>{0});
    }
    // Whatever the end, the exit question is never raised on the way.
    QVERIFY(form.isVisible());
}

void TestVersionCheck::unreachableProxyIsNoNetwork()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    useProxy(port);

    Form1 form;
    MessageBox::setNextAnswer(MessageBox::Ok);
    form.Timer2_Timer();

    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, networkMessage);
    QCOMPARE(m_harness.ended, QList<int>{0});
    QVERIFY(!control(&form, "Text1")->isEnabled());
}

void TestVersionCheck::timerRunsTheCheckOnceByItself()
{
    m_server->route(versionRoute(), HttpResponse::text("V1.0", "text/plain"));
    Form1 form;
    form.show();
    QVERIFY(m_server->requests().isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(control(&form, "Text1")->isEnabled(), 15000);
    QVERIFY(control(&form, "Command1")->isEnabled());
    QCOMPARE(form.statusLine(), welcome);
    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(!control<QTimer>(&form, "Timer2")->isActive());
}

// The check blocks in its message box; a tick arriving meanwhile must not
// fetch or ask again.
void TestVersionCheck::secondTickDuringTheMessageDoesNothing()
{
    m_server->route(versionRoute(), HttpResponse::text("V1.1", "text/plain"));
    Form1 form;
    control<QTimer>(&form, "Timer2")->stop();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    ModalDialogs dialogs;
    QString statusWhileShown;
    QStringList openedWhileShown;
    qsizetype requestsAfterSecondTick = -1;
    qsizetype boxesAfterSecondTick = -1;
    dialogs.whenShown([&](QWidget *dialog) {
        statusWhileShown = form.statusLine();
        openedWhileShown = m_harness.opened;
        form.Timer2_Timer();
        requestsAfterSecondTick = m_server->requests().size();
        boxesAfterSecondTick = MessageBox::history().size();
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else
            dialog->close();
    });

    form.Timer2_Timer();

    QVERIFY(dialogs.handled());
    QVERIFY(!dialogs.timedOut());
    QCOMPARE(statusWhileShown, welcome);
    QVERIFY2(openedWhileShown.isEmpty(), "the forum opens only after the message");
    QCOMPARE(requestsAfterSecondTick, 1);
    QCOMPARE(boxesAfterSecondTick, 1);
    QCOMPARE(m_harness.opened, QStringList{Hosts::forumPageUrl()});
    QCOMPARE(m_harness.ended, QList<int>{0});
    QCOMPARE(MessageBox::history().size(), 1);
}

QTEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
