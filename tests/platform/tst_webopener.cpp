#include "WebOpener.h"

#include <QDesktopServices>
#include <QtTest>

// Stands in for the desktop's browser: the real opener hands http addresses
// to whatever handler the desktop services have for the scheme.
class BrowserStandIn : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void openUrl(const QUrl &url) { opened.append(url); }
};

class TestWebOpener : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void realOpenerHandsTheAddressToTheBrowser_data();
    void realOpenerHandsTheAddressToTheBrowser();
    void testHandlerReplacesTheBrowserUntilCleared();

private:
    BrowserStandIn m_browser;
};

void TestWebOpener::init()
{
    m_browser.opened.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "openUrl");
}

void TestWebOpener::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    WebOpener::setHandlerForTesting({});
}

void TestWebOpener::realOpenerHandsTheAddressToTheBrowser_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("root page of a host") << QStringLiteral("http://bbs.vantre.example/");
    QTest::newRow("path and query kept") << QStringLiteral("http://www.vantre.example/a/b?c=1&d=2");
}

void TestWebOpener::realOpenerHandsTheAddressToTheBrowser()
{
    QFETCH(QString, address);
    WebOpener::open(address);
    QCOMPARE(m_browser.opened.size(), 1);
    QCOMPARE(m_browser.opened.first(), QUrl(address));
}

void TestWebOpener::testHandlerReplacesTheBrowserUntilCleared()
{
    QStringList seen;
    WebOpener::setHandlerForTesting([&seen](const QString &url) { seen.append(url); });
    WebOpener::open(QStringLiteral("http://bbs.vantre.example/"));
    QCOMPARE(seen, QStringList{QStringLiteral("http://bbs.vantre.example/")});
    QVERIFY2(m_browser.opened.isEmpty(), "a test must never reach a real browser");

    WebOpener::setHandlerForTesting({});
    WebOpener::open(QStringLiteral("http://www.vantre.example/"));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(m_browser.opened.size(), 1);
}

QTEST_MAIN(TestWebOpener)
#include "tst_webopener.moc"
