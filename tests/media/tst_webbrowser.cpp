#include "Download.h"
#include "FileDialog.h"
#include "FileSizeLimit.h"
#include "LocalHttpServer.h"
#include "MessageBox.h"
#include "SaveFile.h"
#include "WebBrowser.h"
#include "WebOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

using Outcome = WebBrowser::Outcome;

class TestWebBrowser : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;
    QByteArray m_song;
    QByteArray m_mp3; // MPEG audio, which is tagged
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // A home without a Downloads folder, as on a fresh Linux system.
        // (Windows names the home in USERPROFILE, and its Downloads folder apart.)
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("USERPROFILE", m_home.path().toLocal8Bit());
        // No period that divides a chunk, so a dropped or repeated chunk shows;
        // no byte 0xFF, so it never reads as MPEG audio that could be tagged.
        for (int i = 0; i < 300 * 1024 + 16; ++i)
            m_song += char(i % 251);
        QVERIFY(m_server.listen());
        HttpResponse r = HttpResponse::text(m_song, "audio/mpeg");
        m_server.route(u"/song.mp3"_s, r);
        m_server.route(u"/small.mp3"_s, HttpResponse::text(m_song.left(4000), "audio/mpeg"));
        r.behaviour = HttpResponse::Behaviour::HangUpMidBody;
        m_server.route(u"/cut.mp3"_s, r);
        r.behaviour = HttpResponse::Behaviour::Trickle;
        r.chunkDelayMs = 500; // so a cancel that lets it run on outlasts the wait
        m_server.route(u"/slow.mp3"_s, r);
        r.behaviour = HttpResponse::Behaviour::HeadOnly;
        m_server.route(u"/stalled.mp3"_s, r);
        for (char i = 1; i <= 20; ++i)
            m_mp3 += "\xFF\xFB\x90\x00"_ba + QByteArray(413, i);
        m_server.route(u"/tagged.mp3"_s, HttpResponse::text(m_mp3, "audio/mpeg"));
    }
    // Nothing new under the target name unless complete, the older file of
    // that name untouched, no temporary file left, and a box that says which.
    // A song that cannot be tagged is kept as sent. (Tagging: tst_download.)
    void downloads_data()
    {
        // Cancelled rows are cancelled; /stalled.mp3 falls silent after its
        // headers, waited for 300 ms where it fails; /small.mp3 meets a full
        // disk, /tagged.mp3 one with no room for its tag.
        QTest::addColumn<QString>("path");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("message");
        QTest::newRow("saved") << "/song.mp3" << Outcome::Saved << u"下载完成!"_s;
        QTest::newRow("404") << "/gone.mp3" << Outcome::Failed << u"下载失败,请稍后再试 .."_s;
        QTest::newRow("cut") << "/cut.mp3" << Outcome::Failed << u"下载失败,请稍后再试 .."_s;
        QTest::newRow("cancelled") << "/slow.mp3" << Outcome::Cancelled << u"下载已取消.."_s;
        QTest::newRow("silent after the headers")
            << "/stalled.mp3" << Outcome::Failed << u"下载失败,请稍后再试 .."_s;
        QTest::newRow("cancelled while silent")
            << "/stalled.mp3" << Outcome::Cancelled << u"下载已取消.."_s;
        // A small file sits in the write buffer until the end: the failure shows only then.
        QTest::newRow("disk full at the last write")
            << "/small.mp3" << Outcome::CannotSave << u"无法保存文件,请检查保存位置 .."_s;
        QTest::newRow("room for the song, not for its tag")
            << "/tagged.mp3" << Outcome::Saved << u"下载完成!\n未能写入歌曲信息（磁盘空间不足）"_s;
    }
    void downloads()
    {
        QFETCH(QString, path);
        QFETCH(Outcome, outcome);
        QFETCH(QString, message);
        const QByteArray sent = path == u"/tagged.mp3"_s ? m_mp3 : m_song;
        MessageBox::clearHistory();
        FileDialog::clearHistory();
        FileDialog::clearNextFileNames();
        QTemporaryDir dir;
        const QByteArray older("an older song the user keeps");
        QFile f(dir.filePath(u"a.mp3"_s));
        QCOMPARE(f.open(QIODevice::WriteOnly) ? f.write(older) : -1, older.size());
        f.close();

        WebBrowser browser;
        browser.setSongTags({u"小鹿同学"_s, u"晴天"_s, {}, {}, m_server.baseUrl() + path});
        QSignalSpy finished(&browser, &WebBrowser::downloadFinished);
        FileDialog::setNextFileName(f.fileName());
        FileDialog::setNextFileName(QString());       // a second download is cancelled
        FileDialog::setNextFileName(QString());       // so a wrongly asked question cannot block
        MessageBox::setNextAnswer(MessageBox::Extra); // "open the folder"
        QString opened;
        WebOpener::setHandlerForTesting([&opened](const QString &url) { opened = url; });
        // A file size limit makes the disk full for root too.
        const bool diskFull = path == u"/small.mp3"_s;
        if (diskFull && !FileSizeLimit::supported())
            QSKIP(FileSizeLimit::unsupportedReason());
        auto limit = std::make_unique<FileSizeLimit>(diskFull ? 10 : FileSizeLimit::None);
        QVERIFY(limit->applied());
        SaveFile::setRoomForTesting(path == u"/tagged.mp3"_s ? sent.size() : -1);
        const bool silent = path == u"/stalled.mp3"_s;
        Download::setStallTimeoutMsForTesting(silent && outcome == Outcome::Failed ? 300 : 0);
        m_server.clearRequests();
        QVERIFY(browser.Navigate(m_server.baseUrl() + path));
        if (outcome == Outcome::Cancelled) {
            // Once the song is coming, or has been asked of a server that says no more.
            QProgressDialog *dialog = nullptr;
            QTRY_VERIFY((dialog = browser.findChild<QProgressDialog *>()) &&
                        (dialog->value() > 0 || (silent && !m_server.requests().isEmpty())));
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        }
        const bool ended = finished.wait(15000);
        limit.reset();
        SaveFile::setRoomForTesting(-1);
        Download::setStallTimeoutMsForTesting(0);
        WebOpener::setHandlerForTesting({});
        QVERIFY(ended);

        QCOMPARE(MessageBox::history().size(), 1);
        QCOMPARE(MessageBox::history().first().text, message);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList(u"a.mp3"_s));
        QCOMPARE(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(),
                 outcome == Outcome::Saved ? sent : older);
        // No host: refused at once, and a question it asked would come first.
        // (A scheme not http or https: tst_extraction.)
        QVERIFY(!browser.Navigate(u"http:///song.mp3"_s));
        // The next download of this run starts in the folder the last one was
        // saved in, else in Downloads where there is one, else at home, and is
        // named for its own address.
        QVERIFY(browser.Navigate(m_server.baseUrl() + u"/other.mp3"_s));
        QTRY_COMPARE(FileDialog::history().size(), 2);
        const QString downloads =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        const QString fresh = QFileInfo(downloads).isDir() ? downloads : m_home.path();
        const QString folder = outcome == Outcome::Saved ? dir.path() : fresh;
        QCOMPARE(FileDialog::history().last().suggestedPath, folder + u"/other.mp3"_s);
        QCOMPARE(QUrl(opened).toLocalFile(), outcome == Outcome::Saved ? folder : QString());
        QCOMPARE(MessageBox::history().first().details.informativeText,
                 outcome == Outcome::Saved ? QDir::toNativeSeparators(f.fileName()) : QString());
    }

    void suggestedName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<SongTags>("tags");
        QTest::addColumn<QString>("expected");
        QTest::newRow("tags, no extension: mp3")
            << "/play" << SongTags{u"A"_s, u"B"_s, {}, {}, {}} << u"A - B.mp3"_s;
        QTest::newRow("m4a, forbidden characters")
            << "/a.m4a?x=1" << SongTags{u"a/b\\c:d*e?f"_s, u"\"g<h>i|j\n."_s, {}, {}, {}}
            << u"a_b_c_d_e_f - _g_h_i_j.m4a"_s;
        // 255 bytes is the file system's limit: "唱 - " and ".mp3" take 10, 81 characters the rest.
        QTest::newRow("310 bytes") << "/a.mp3" << SongTags{u"唱"_s, QString(100, u'歌'), {}, {}, {}}
                                   << u"唱 - "_s + QString(81, u'歌') + u".mp3"_s;
        // One name alone does not do: the address's name, decoded.
        QTest::newRow("one name") << "/%E6%AD%8C%20%E6%9B%B2.mp3"
                                  << SongTags{{}, u"B"_s, {}, {}, {}} << u"歌 曲.mp3"_s;
        QTest::newRow("encoded /") << "/%2F..%2Fevil" << SongTags() << u"_.._evil"_s;
    }
    void suggestedName()
    {
        QFETCH(QString, path);
        QFETCH(SongTags, tags);
        QFETCH(QString, expected);
        QCOMPARE(WebBrowser::suggestedFileName(QUrl(u"http://127.0.0.1"_s + path), tags), expected);
    }
};

QTEST_MAIN(TestWebBrowser)
#include "tst_webbrowser.moc"
