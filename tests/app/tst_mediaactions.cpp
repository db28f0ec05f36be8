#include "FileDialog.h"
#include "Form1.h"
#include "Form2.h"
#include "FormHarness.h"
#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "ModalDialogs.h"
#include "PageFetch.h"
#include "SongPage.h"
#include "VideoExport.h"
#include "WebBrowser.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString askToExtract = QStringLiteral("请先进行解析..");
const QString previewing = QStringLiteral("正在进行在线试听..");
const QString downloading = QStringLiteral("正在下载音乐..");
const QString badMusicAddress = QStringLiteral("音乐地址无效,无法下载 ..");
const QString noVideo = QStringLiteral("没有发现视频文件..");

const QString mp3Address = QStringLiteral("http://lzscuw.changba.com/84263517.mp3");
const QString videoPlayer = QStringLiteral("http://changba.com/static/mvplayer.js?vid=77&auto=0");

// A song page holding only what the media actions depend on.
QByteArray songPage(const QString &photoElement, const QString &mp3)
{
    QString html = QStringLiteral("<html><head><title>歌 - 人 - 唱吧</title>\n<style>"
                                  ".pcsong_head {background: url( \"http://img.songs.example/"
                                  "bg/100/h.jpg\") no-repeat;}</style></head><body>\n"
                                  "<div class=\"pcsong_photos\">") +
                   photoElement + QStringLiteral("</div>\n");
    if (!mp3.isNull())
        html += QStringLiteral("<script>var s = {mp3:\"") + mp3 + QStringLiteral("\"};</script>\n");
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Any modal window that shows up is noted and closed, so a wrongly shown
// dialog fails the test instead of hanging it.
struct UnexpectedDialogs
{
    ModalDialogs watcher;
    QString seen;
    void watch()
    {
        watcher.whenShown([this](QWidget *dialog) {
            seen = QString::fromLatin1(dialog->metaObject()->className());
            dialog->close();
        });
    }
};

} // namespace

class TestMediaActions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void beforeAnyExtraction_data();
    void beforeAnyExtraction();
    void previewPlaysTheAudioAddress();
    void downloadSavesTheFileEachClick();
    void downloadRejectsNonWebAddress_data();
    void downloadRejectsNonWebAddress();
    void exportWithoutVideo_data();
    void exportWithoutVideo();
    void exportWritesFileAndShowsDialog();
    void exportCannotWrite_data();
    void exportCannotWrite();
    void buttonsDuringPendingFetchUsePreviousValues();

private:
    QString servePage(const QString &id, const QByteArray &body, int delayMs = 0);
    void extract(const QString &address);
    void click(const char *button);
    MediaPlayer *w1() const { return control<MediaPlayer>(m_form.get(), "W1"); }
    WebBrowser *webBrowser1() const { return control<WebBrowser>(m_form.get(), "WebBrowser1"); }
    QString videoHtmPath() const
    {
        return QDir(m_harness.exeDir.path()).filePath(QStringLiteral("video.htm"));
    }

    FormHarness m_harness;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<Form1> m_form;
    QByteArray m_mp3;
    QString m_audioPage;
    QString m_videoPage;
};

void TestMediaActions::initTestCase()
{
    FormHarness::setProgramFont();
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->listen());
    // Before any network object; GStreamer reads the same variables.
    const QByteArray proxy = m_server->baseUrl().toLatin1();
    qputenv("http_proxy", proxy);
    qputenv("HTTP_PROXY", proxy);
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    QNetworkProxyFactory::setUseSystemConfiguration(true); // as main() does

    QFile mp3(QStringLiteral(SONAVEX_SOURCE_DIR "/resources/demo/lzscuw.changba.com/84263517.mp3"));
    QVERIFY(mp3.open(QIODevice::ReadOnly));
    m_mp3 = mp3.readAll();
    QVERIFY(!m_mp3.isEmpty());
    m_server->route(QStringLiteral("lzscuw.changba.com/84263517.mp3"),
                    HttpResponse::text(m_mp3, "audio/mpeg"));

    m_audioPage = servePage(
        QStringLiteral("media-audio"),
        songPage(QStringLiteral("<img src=\"http://aliimg.songs.example/u/1.jpg\" width=\"9\" />"),
                 mp3Address));
    m_videoPage = servePage(
        QStringLiteral("media-video"),
        songPage(QStringLiteral("<embed src=\"http://changba.com/static/mvplayer.js?vid=77&amp;"
                                "auto=0\" type=\"application/x-shockwave-flash\" />"),
                 QString()));
}

void TestMediaActions::init()
{
    m_harness.install();
    // The executable folder is shared by the test functions; each starts with it empty.
    QDir exeDir(m_harness.exeDir.path());
    QVERIFY(exeDir.removeRecursively());
    QVERIFY(exeDir.mkpath(QStringLiteral(".")));
    FileDialog::clearNextFileNames();
    FileDialog::clearHistory();
    m_server->clearRequests();
    m_form = std::make_unique<Form1>();
    stopVersionTimer(m_form.get());
    control(m_form.get(), "Text1")->setEnabled(true);
    control(m_form.get(), "Command1")->setEnabled(true);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QVERIFY2(w1() && webBrowser1(), "W1 and WebBrowser1 are the player and the browser control");
}

void TestMediaActions::cleanup()
{
    if (m_form && w1() && w1()->mediaPlayer())
        w1()->mediaPlayer()->stop();
    m_form.reset();
    FileDialog::clearNextFileNames();
    m_harness.uninstall();
}

QString TestMediaActions::servePage(const QString &id, const QByteArray &body, int delayMs)
{
    HttpResponse response = HttpResponse::text(body);
    response.delayMs = delayMs;
    m_server->route(QStringLiteral("changba.com/s/") + id, response);
    return QStringLiteral("http://changba.com/s/") + id;
}

void TestMediaActions::extract(const QString &address)
{
    MessageBox::setNextAnswer(MessageBox::Ok); // the video notice, if any
    control<QLineEdit>(m_form.get(), "Text1")->setText(address);
    click("Command1");
    MessageBox::clearAnswers();
    MessageBox::clearHistory();
}

void TestMediaActions::click(const char *button)
{
    QTest::mouseClick(control(m_form.get(), button), Qt::LeftButton);
}

void TestMediaActions::beforeAnyExtraction_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("preview") << QStringLiteral("Command7");
    QTest::newRow("download") << QStringLiteral("Command2");
}

void TestMediaActions::beforeAnyExtraction()
{
    QFETCH(QString, button);
    click(button.toLatin1().constData());

    QCOMPARE(m_form->statusLine(), askToExtract);
    QCOMPARE(w1()->URL(), QString());
    QVERIFY2(!w1()->mediaPlayer(), "the player was set up although there is nothing to play");
    QVERIFY2(!webBrowser1()->Silent(), "the browser control was touched");
    QCoreApplication::processEvents(); // a navigation asks for the file name from the loop
    QVERIFY(FileDialog::history().isEmpty());
    QVERIFY(MessageBox::history().isEmpty());
    QCOMPARE(m_server->requests().size(), 0);
}

void TestMediaActions::previewPlaysTheAudioAddress()
{
    extract(m_audioPage);
    QCOMPARE(m_form->songPage().strMp3Url, mp3Address);
    m_server->clearRequests();

    click("Command7");

    QCOMPARE(m_form->statusLine(), previewing);
    QCOMPARE(w1()->URL(), mp3Address);
    QMediaPlayer *player = w1()->mediaPlayer();
    QVERIFY(player);
    if (!player->isAvailable())
        QSKIP("no multimedia backend on this machine");
    QCOMPARE(player->source(), QUrl(mp3Address));
    QTRY_VERIFY_WITH_TIMEOUT(player->position() > 0 || player->error() != QMediaPlayer::NoError,
                             15000);
    if (player->error() == QMediaPlayer::FormatError &&
        player->errorString().contains(QLatin1String("plugin"), Qt::CaseInsensitive))
        QSKIP(qPrintable(QStringLiteral("GStreamer plug-in missing: ") + player->errorString()));
    QVERIFY2(player->error() == QMediaPlayer::NoError, qPrintable(player->errorString()));
    QCOMPARE(player->playbackState(), QMediaPlayer::PlayingState);
    bool viaProxy = false;
    for (const HttpRequest &r : m_server->requests())
        viaProxy |= r.host == QLatin1String("lzscuw.changba.com") &&
                    r.path == QLatin1String("/84263517.mp3");
    QVERIFY2(viaProxy, "the audio did not come from the song's address");
    QCOMPARE(m_form->statusLine(), previewing);
}

void TestMediaActions::downloadSavesTheFileEachClick()
{
    extract(m_audioPage);
    QTemporaryDir saveDir;
    const QString first = saveDir.filePath(QStringLiteral("first.mp3"));
    const QString second = saveDir.filePath(QStringLiteral("second.mp3"));
    FileDialog::setNextFileName(first);
    FileDialog::setNextFileName(second);
    MessageBox::setNextAnswer(MessageBox::Ok); // "download finished", twice
    MessageBox::setNextAnswer(MessageBox::Ok);
    QSignalSpy finished(webBrowser1(), &WebBrowser::downloadFinished);

    click("Command2");
    QCOMPARE(m_form->statusLine(), downloading);
    QVERIFY(webBrowser1()->Silent());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    QCOMPARE(finished.at(0).at(0).toString(), first);
    QCOMPARE(finished.at(0).at(1).value<WebBrowser::Outcome>(), WebBrowser::Outcome::Saved);
    QCOMPARE(readFile(first), m_mp3);

    webBrowser1()->setSilent(false); // set again on every click, not once
    click("Command2");
    QVERIFY(webBrowser1()->Silent());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
    QCOMPARE(finished.at(1).at(0).toString(), second);
    QCOMPARE(readFile(second), m_mp3);

    QCOMPARE(FileDialog::history().size(), 2);
    int fetched = 0;
    for (const HttpRequest &r : m_server->requests()) {
        // A player of an earlier test may still ask for the file while it winds down.
        const bool player = r.header("User-Agent").contains("GStreamer");
        fetched += r.host == QLatin1String("lzscuw.changba.com") && !player;
    }
    QCOMPARE(fetched, 2);
    QCOMPARE(m_form->statusLine(), downloading);
}

void TestMediaActions::downloadRejectsNonWebAddress_data()
{
    QTest::addColumn<QString>("mp3");
    QTest::newRow("ftp address") << QStringLiteral("ftp://files.songs.example/a.mp3");
    QTest::newRow("local file address") << QStringLiteral("file:///etc/hostname");
    QTest::newRow("path without a host") << QStringLiteral("/userdata/a.mp3");
    QTest::newRow("host without a scheme") << QStringLiteral("lzscuw.changba.com/84263517.mp3");
}

void TestMediaActions::downloadRejectsNonWebAddress()
{
    QFETCH(QString, mp3);
    const QString address = servePage(
        QStringLiteral("odd-mp3-") + QString::number(qHash(mp3)),
        songPage(QStringLiteral("<img src=\"http://aliimg.songs.example/u/2.jpg\" x=\"\" />"),
                 mp3));
    extract(address);
    QCOMPARE(m_form->songPage().strMp3Url, mp3);

    click("Command2");

    QCOMPARE(m_form->statusLine(), badMusicAddress);
    QVERIFY(webBrowser1()->Silent());
    QCoreApplication::processEvents();
    QVERIFY2(FileDialog::history().isEmpty(), "a save dialog for an address that cannot download");
    QVERIFY(MessageBox::history().isEmpty());
}

void TestMediaActions::exportWithoutVideo_data()
{
    QTest::addColumn<bool>("audioFirst");
    QTest::newRow("before any extraction") << false;
    QTest::newRow("after an audio song") << true;
}

void TestMediaActions::exportWithoutVideo()
{
    QFETCH(bool, audioFirst);
    if (audioFirst)
        extract(m_audioPage);
    const QByteArray oldFile = "<p>an earlier export</p>\r\n";
    QVERIFY(writeFile(videoHtmPath(), oldFile));
    const QDateTime oldTime = QFileInfo(videoHtmPath()).lastModified();
    m_form->setStatusLine(QStringLiteral("之前的状态"));

    QString boxText;
    QString statusWhileOpen;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    UnexpectedDialogs unexpected;
    ModalDialogs box;
    box.whenShown([&](QWidget *dialog) {
        statusWhileOpen = m_form->statusLine();
        if (auto *b = qobject_cast<QMessageBox *>(dialog)) {
            boxText = b->text();
            icon = b->icon();
        }
        unexpected.watch();
        dialog->close();
    });
    click("Command8");

    QVERIFY(box.handled());
    QCOMPARE(boxText, noVideo);
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(statusWhileOpen, QStringLiteral("之前的状态"));
    QCOMPARE(m_form->statusLine(), noVideo);
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().flags, 64);
    QCOMPARE(MessageBox::history().first().title, QStringLiteral("Lumo系列软件"));
    QCOMPARE(unexpected.seen, QString());
    QCOMPARE(readFile(videoHtmPath()), oldFile);
    QCOMPARE(QFileInfo(videoHtmPath()).lastModified(), oldTime);
    QCOMPARE(QDir(m_harness.exeDir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("video.htm")});
}

void TestMediaActions::exportWritesFileAndShowsDialog()
{
    extract(m_videoPage);
    QCOMPARE(m_form->songPage().strVideoUrl, videoPlayer);
    m_form->setStatusLine(QStringLiteral("导出之前"));
    const QString snippet = QStringLiteral("<div><script src=\"") + videoPlayer +
                            QStringLiteral("\" type=\"text/javascript\"></script></div>");

    for (int round = 1; round <= 2; ++round) {
        struct Seen
        {
            QString className, objectName, text1, text2;
            bool modal = false;
            QByteArray file;
        } seen;
        ModalDialogs dialogs;
        dialogs.whenShown([&](QWidget *dialog) {
            seen.className = QString::fromLatin1(dialog->metaObject()->className());
            seen.objectName = dialog->objectName();
            seen.modal = dialog->isModal();
            if (auto *t = dialog->findChild<QLineEdit *>(QStringLiteral("Text1")))
                seen.text1 = t->text();
            if (auto *t = dialog->findChild<QLineEdit *>(QStringLiteral("Text2")))
                seen.text2 = t->text();
            seen.file = readFile(videoHtmPath());
            dialog->close();
        });
        click("Command8");

        QVERIFY2(dialogs.handled(), qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(seen.className, QStringLiteral("Form2"));
        QCOMPARE(seen.objectName, QStringLiteral("Form2"));
        QVERIFY(seen.modal);
        QCOMPARE(seen.text1, videoPlayer);
        QCOMPARE(seen.text2, snippet);
        QVERIFY2(seen.file == snippet.toLatin1() + "\r\n", seen.file.constData());
        QCOMPARE(readFile(videoHtmPath()), snippet.toLatin1() + "\r\n");
        QCOMPARE(m_form->songPage().strVideoHtml, snippet);
        QCOMPARE(m_form->statusLine(), QStringLiteral("导出之前"));
        QVERIFY(MessageBox::history().isEmpty());
        // Something else in the file, so the second round must really write it again.
        QVERIFY(writeFile(videoHtmPath(), "stale"));
    }
}

void TestMediaActions::exportCannotWrite_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("executable folder gone") << QStringLiteral("missing");
    QTest::newRow("video.htm is a folder") << QStringLiteral("folder");
}

void TestMediaActions::exportCannotWrite()
{
    QFETCH(QString, obstacle);
    extract(m_videoPage);
    if (obstacle == QLatin1String("missing"))
        AppPaths::setExecutableFolderForTesting(m_harness.exeDir.filePath(QStringLiteral("gone")));
    else
        QVERIFY(QDir(m_harness.exeDir.path()).mkdir(QStringLiteral("video.htm")));
    MessageBox::setNextAnswer(MessageBox::Ok);
    UnexpectedDialogs unexpected;
    unexpected.watch();

    click("Command8");

    QCOMPARE(unexpected.seen, QString());
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, VideoHtmFailureText());
    QCOMPARE(MessageBox::history().first().flags, 48);
    QCOMPARE(MessageBox::history().first().title, QStringLiteral("Lumo系列软件"));
    QVERIFY(!QFileInfo::exists(m_harness.exeDir.filePath(QStringLiteral("gone"))));
}

void TestMediaActions::buttonsDuringPendingFetchUsePreviousValues()
{
    extract(m_videoPage);
    const QString slow = servePage(
        QStringLiteral("media-slow"),
        songPage(QStringLiteral("<embed src=\"http://changba.com/static/mvplayer.js?vid=88\" />"),
                 QString()),
        400);

    QString text1WhilePending;
    bool pendingWhenClicked = false;
    ModalDialogs dialogs;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        connect(m_server.get(), &LocalHttpServer::requestReceived, this,
                [&, connection](const HttpRequest &request) {
                    if (request.path != QLatin1String("/s/media-slow"))
                        return;
                    disconnect(*connection);
                    QTimer::singleShot(0, this, [&] {
                        pendingWhenClicked = m_form->pageFetch()->isPending();
                        dialogs.whenShown([&](QWidget *dialog) {
                            if (auto *t = dialog->findChild<QLineEdit *>(QStringLiteral("Text1")))
                                text1WhilePending = t->text();
                            dialog->close();
                        });
                        click("Command8");
                    });
                });
    extract(slow);

    QVERIFY(pendingWhenClicked);
    QVERIFY(dialogs.handled());
    QCOMPARE(text1WhilePending, videoPlayer);
    QCOMPARE(m_form->songPage().strVideoUrl,
             QStringLiteral("http://changba.com/static/mvplayer.js?vid=88"));
}

QTEST_MAIN(TestMediaActions)
#include "tst_mediaactions.moc"
