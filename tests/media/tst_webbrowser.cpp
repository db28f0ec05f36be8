#include "FileDialog.h"
#include "LocalHttpServer.h"
#include "MessageBox.h"
#include "WebBrowser.h"
#include "WebOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <mpegfile.h>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

using Outcome = WebBrowser::Outcome;

namespace {
// MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, 417 bytes), each payload different.
QByteArray mpegFrames()
{
    QByteArray audio;
    for (int i = 1; i <= 12; ++i)
        audio += QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(413, char(i));
    return audio;
}
} // namespace

class TestWebBrowser : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;
    QByteArray m_song;
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("HOME", m_home.path().toLocal8Bit());
        QVERIFY(QDir(m_home.path()).mkpath(u"Downloads"_s));
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
        m_server.route(u"/tagged.mp3"_s, HttpResponse::text(mpegFrames(), "audio/mpeg"));
        m_server.route(u"/page.mp3"_s, HttpResponse::text("<html>gone</html>"));
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

    void suggestedName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("singer");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        const QString long300 = QString(300, u'歌');
        QTest::newRow("plain song")
            << "/84263517.mp3" << u"小鹿同学"_s << u"晴天"_s << u"小鹿同学 - 晴天.mp3"_s;
        QTest::newRow("extension from the address")
            << "/a.m4a?x=1" << u"A"_s << u"B"_s << u"A - B.m4a"_s;
        QTest::newRow("no extension: mp3") << "/play" << u"A"_s << u"B"_s << u"A - B.mp3"_s;
        QTest::newRow("forbidden characters") << "/a.mp3" << u"a/b\\c:d*e?f"_s << u"\"g<h>i|j\n."_s
                                              << u"a_b_c_d_e_f - _g_h_i_j.mp3"_s;
        // 255 bytes is the file system's limit: "唱 - " and ".mp3" take 10, 81 characters the rest.
        QTest::newRow("300 characters")
            << "/a.mp3" << u"唱"_s << long300 << u"唱 - "_s + QString(81, u'歌') + u".mp3"_s;
        QTest::newRow("empty singer: address name")
            << "/84263517.mp3" << QString() << u"晴天"_s << u"84263517.mp3"_s;
        QTest::newRow("tags of another address")
            << "/other.mp3" << u"A"_s << u"B"_s << u"other.mp3"_s;
        QTest::newRow("address: encoded slashes")
            << "/%2F..%2Fevil" << QString() << QString() << u"_.._evil"_s;
        QTest::newRow("address: long, no extension")
            << u"/"_s + QString(300, u'x') << QString() << QString() << QString(200, u'x');
        QTest::newRow("address: Chinese decoded")
            << "/d/%E6%AD%8C%20%E6%9B%B2.mp3?x=1" << QString() << QString() << u"歌 曲.mp3"_s;
    }
    void suggestedName()
    {
        QFETCH(QString, path);
        QFETCH(QString, singer);
        QFETCH(QString, title);
        QFETCH(QString, expected);
        const QString address = m_server.baseUrl() + path;
        const QString tagged = path == QLatin1String("/other.mp3") ? u"http://x/"_s : address;
        WebBrowser browser;
        browser.setSongTags({singer, title, {}, {}, tagged});
        FileDialog::setNextFileName(QString());
        QVERIFY(browser.Navigate(address));
        QTRY_COMPARE(FileDialog::history().size(), 1);
        QCOMPARE(QFileInfo(FileDialog::history().first().suggestedPath).fileName(), expected);
    }

    // The tag goes in before the file is kept; a body that cannot be tagged is kept as sent.
    void taggedDownload_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("tagged");
        QTest::newRow("mp3 tagged") << "/tagged.mp3" << true;
        QTest::newRow("web page untouched") << "/page.mp3" << false;
    }
    void taggedDownload()
    {
        QFETCH(QString, path);
        QFETCH(bool, tagged);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"x.mp3"_s);
        WebBrowser browser;
        const QString address = m_server.baseUrl() + path;
        browser.setSongTags({u"小鹿同学"_s, u"晴天"_s, {}, {}, address});
        QSignalSpy finished(&browser, &WebBrowser::downloadFinished);
        FileDialog::setNextFileName(file);
        MessageBox::setNextAnswer(MessageBox::Extra); // "open the folder"
        QString opened;
        WebOpener::setHandlerForTesting([&opened](const QString &url) { opened = url; });
        QVERIFY(browser.Navigate(address));
        QVERIFY(finished.wait(15000));
        WebOpener::setHandlerForTesting({});
        QCOMPARE(finished.first().at(1).value<Outcome>(), Outcome::Saved);
        QCOMPARE(MessageBox::history().first().details.informativeText, file);
        QCOMPARE(opened, QUrl::fromLocalFile(dir.path()).toString());

        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray saved = f.readAll(), sent = tagged ? mpegFrames() : "<html>gone</html>"_ba;
        TagLib::MPEG::File read(file.toLocal8Bit().constData(), false);
        QCOMPARE(read.hasID3v2Tag(), tagged);
        QCOMPARE(saved.mid(tagged ? int(read.firstFrameOffset()) : 0), sent);
        QCOMPARE(QString::fromStdString(read.tag()->title().to8Bit(true)),
                 tagged ? u"晴天"_s : QString());

        // The next download of this run offers the same folder.
        FileDialog::setNextFileName(QString());
        QVERIFY(browser.Navigate(address));
        QTRY_COMPARE(FileDialog::history().size(), 2);
        QCOMPARE(QFileInfo(FileDialog::history().last().suggestedPath).absolutePath(), dir.path());
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
