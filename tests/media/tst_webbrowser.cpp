#include "FileDialog.h"
#include "LocalHttpServer.h"
#include "MessageBox.h"
#include "WebBrowser.h"

#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

using Outcome = WebBrowser::Outcome;

class TestWebBrowser : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;
    QByteArray m_song;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Random bytes, so a dropped or repeated chunk shows.
        m_song.resize(300 * 1024 + 16);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(m_song.data()),
                                      m_song.size() / 4);
        QVERIFY(m_server.listen());
        HttpResponse r = HttpResponse::text(m_song, "audio/mpeg");
        m_server.route(u"/song.mp3"_s, r);
        m_server.route(u"/small.mp3"_s, HttpResponse::text(m_song.left(4000), "audio/mpeg"));
        r.behaviour = HttpResponse::Behaviour::HangUpMidBody;
        m_server.route(u"/cut.mp3"_s, r);
        r.behaviour = HttpResponse::Behaviour::Trickle;
        r.chunkBytes = 2048;
        r.chunkDelayMs = 20;
        m_server.route(u"/slow.mp3"_s, r);
    }
    void init()
    {
        MessageBox::clearHistory();
        FileDialog::clearHistory();
        FileDialog::clearNextFileNames();
    }

    void downloads_data()
    {
        QTest::addColumn<QString>("path"); // /slow.mp3 is cancelled mid-transfer
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("message");
        const QString song = u"歌曲.mp3"_s, done = u"下载完成!"_s;
        const QString failed = u"下载失败,请稍后再试 .."_s;
        for (const bool old : {false, true}) {
            const char *s = old ? ", older file there" : "";
            QTest::addRow("saved%s", s) << "/song.mp3" << song << old << Outcome::Saved << done;
            QTest::addRow("404%s", s) << "/gone.mp3" << song << old << Outcome::Failed << failed;
            QTest::addRow("cut%s", s) << "/cut.mp3" << song << old << Outcome::Failed << failed;
            QTest::addRow("cancelled%s", s)
                << "/slow.mp3" << song << old << Outcome::Cancelled << u"下载已取消.."_s;
        }
        const QString cannotSave = u"无法保存文件,请检查保存位置 .."_s;
        QTest::newRow("folder missing")
            << "/song.mp3" << u"missing/a.mp3"_s << false << Outcome::CannotSave << cannotSave;
        // A small file sits in the write buffer until the end: the failure shows only then.
        QTest::newRow("disk full at the last write, older file there")
            << "/small.mp3" << song << true << Outcome::CannotSave << cannotSave;
    }
    void downloads()
    {
        QFETCH(QString, path);
        QFETCH(QString, target);
        QFETCH(bool, existing);
        QFETCH(Outcome, outcome);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = dir.filePath(target);
        const QByteArray older("an older song the user keeps");
        QFile f(file);
        QVERIFY(!existing || (f.open(QIODevice::WriteOnly) && f.write(older) == older.size()));
        f.close();

        WebBrowser browser;
        QSignalSpy finished(&browser, &WebBrowser::downloadFinished);
        FileDialog::setNextFileName(file);
        MessageBox::setNextAnswer(MessageBox::Ok);
        const bool diskFull = QByteArray(QTest::currentDataTag()).startsWith("disk full");
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        if (diskFull) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit tiny{10, saved.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        }
        QVERIFY(browser.Navigate(m_server.baseUrl() + path));
        if (path == QLatin1String("/slow.mp3")) {
            QProgressDialog *dialog = nullptr;
            QTRY_VERIFY((dialog = browser.findChild<QProgressDialog *>()) && dialog->value() > 0);
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        }
        const bool ended = finished.wait(15000);
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(ended);
        QCOMPARE(FileDialog::history().first().suggestedPath,
                 QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation))
                     .filePath(path.mid(1)));
        QCOMPARE(finished.first().at(1).value<Outcome>(), outcome);
        QCOMPARE(MessageBox::history().size(), 1);
        QCOMPARE(MessageBox::history().first().text, message);
        // Nothing under the target name unless complete, and no temporary file left.
        const bool kept = outcome == Outcome::Saved || existing;
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 kept ? QStringList(target) : QStringList());
        QVERIFY(!kept || (f.open(QIODevice::ReadOnly) &&
                          f.readAll() == (outcome == Outcome::Saved ? m_song : older)));
    }

    void safeFileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("parent folders") << "/../../x.mp3" << u"x.mp3"_s;
        QTest::newRow("encoded slashes") << "/%2F..%2Fevil" << u"_.._evil"_s;
        QTest::newRow("control characters") << "/%00bad%0A.mp3" << u"_bad_.mp3"_s;
        QTest::newRow("hidden file") << "/.hidden" << u"hidden"_s;
        QTest::newRow("only dots") << "/..." << u"changba.mp3"_s;
        QTest::newRow("no name") << "/" << u"changba.mp3"_s;
        QTest::newRow("Chinese decoded, query dropped")
            << "/d/%E6%AD%8C%20%E6%9B%B2.mp3?x=1" << u"歌 曲.mp3"_s;
    }
    void safeFileName()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(WebBrowser::suggestedFileName(QUrl(u"http://h"_s + path)), expected);
    }

    void onlyHttpAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("local file") << "file:///etc/passwd";
        QTest::newRow("ftp") << "ftp://127.0.0.1/song.mp3";
        QTest::newRow("script") << "javascript:alert(1)";
        QTest::newRow("no host") << "http:///song.mp3";
    }
    void onlyHttpAddresses()
    {
        QFETCH(QString, address);
        WebBrowser browser;
        FileDialog::setNextFileName(QString()); // so a wrongly asked question cannot block
        QVERIFY(!browser.Navigate(address));
        QCoreApplication::processEvents();
        QVERIFY(FileDialog::history().isEmpty());
    }
};

QTEST_MAIN(TestWebBrowser)
#include "tst_webbrowser.moc"
