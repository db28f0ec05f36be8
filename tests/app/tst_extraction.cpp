// The main window end to end: extraction, then preview, download and video export,
// with every remote host played by a local server behind http_proxy.

#include "FileDialog.h"
#include "Form1.h"
#include "FormHarness.h"
#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "ModalDialogs.h"
#include "WebBrowser.h"

#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString demo = u"" SONAVEX_SOURCE_DIR "/resources/demo/"_s; // pictures and audio
const QString photo = u"aliimg.changba.com/cache/photo/284736105_200_200.jpg"_s;
const QString head640 = u"qiniuuserphoto.changba.com/head/640/90125533_640.jpg"_s;
const QString mp3Address = u"http://lzscuw.changba.com/84263517.mp3"_s;
const QString videoPlayer = u"http://changba.com/static/mvplayer.js?vid=5521&auto=0&t=1"_s;

struct Song
{
    QString photo = {}, mp3 = {}, head = {}, user = u"Heightened"_s; // no photo address: no photo
    QString fans = u"2718"_s, info = u"广东 深圳"_s, name = u"因为爱情"_s, plays = u"12034"_s;
    QString gifts = u"56"_s, forwards = u"7"_s, comments = u"89"_s;
};

QByteArray page(const Song &s)
{
    return uR"(<html><head><title>%1 - %2 - 唱吧</title>
<style>.pcsong_head {background: url( "%3") no-repeat;}</style></head><body>
<div class="pcsong_photos"><img src="%4" width="90" /></div>
<div class="pcsong_title">有 %5</div><div class="pcsong_title" >%6</div>
<div class="pcsong_listen_icon fl">%7</div><div class="pcsong_gift_icon fl">%8</div>
<div class="pcsong_forward_icon fl">%9</div><div class="pcsong_comment_icon fl">%10</div>
<script>var songInfo = {mp3:"%11", duration: 251};</script></body></html>)"_s
        .arg(s.name, s.user, s.head, s.photo, s.fans, s.info, s.plays, s.gifts, s.forwards,
             s.comments, s.mp3)
        .toUtf8();
}

QStringList captionsFor(const Song &s)
{
    return u"用户名：%1|粉丝数：%2|%3|演唱歌曲：%4|播放次数：%5次|收到礼物：%6个|转发次数：%7次|评论数量：%8次"_s
        .arg(s.user, s.fans, s.info, s.name, s.plays, s.gifts, s.forwards, s.comments)
        .split(u'|');
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

constexpr auto queuedOnce = Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection);

} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT

    FormHarness m_harness;
    LocalHttpServer m_server;
    std::unique_ptr<Form1> m_form;
    const Song m_audio{u"http://"_s + photo, mp3Address,
                       u"http://img.songs.example/bg/100/a_100.jpg"_s};
    const Song m_video{QString(videoPlayer).replace(u"&"_s, u"&amp;"_s),
                       {},
                       u"http://qiniuuserphoto.changba.com/head/100/90125533_100.jpg"_s,
                       u"小幸运"_s};
    const QString m_audioUrl = serve(u"audio"_s, page(m_audio));
    const QString m_videoUrl = serve(u"video"_s, page(m_video));

    QString serve(const QString &id, const QByteArray &body)
    {
        m_server.route(u"changba.com/s/"_s + id, HttpResponse::text(body));
        return u"http://changba.com/s/"_s + id;
    }
    // Afterwards the message box history holds only this click's boxes.
    void click(const char *button)
    {
        MessageBox::clearHistory();
        QTest::mouseClick(control(m_form.get(), button), Qt::LeftButton);
    }
    void extract(const QString &text, bool answerVideoNotice = true)
    {
        if (answerVideoNotice)
            MessageBox::setNextAnswer(MessageBox::Ok);
        control<QLineEdit>(m_form.get(), "Text1")->setText(text);
        click("Command1");
        MessageBox::clearAnswers();
    }
    QStringList captions() const
    {
        QStringList texts;
        for (auto name :
             {"Label1", "Label4", "Label10", "Label2", "Label5", "Label6", "Label7", "Label9"})
            texts << control<QLabel>(m_form.get(), name)->text();
        return texts;
    }
    QImage shown() const { return control<QLabel>(m_form.get(), "Image1")->pixmap().toImage(); }
    QStringList requested() const // host and path of each request, in order
    {
        QStringList all;
        for (const HttpRequest &r : m_server.requests())
            all << r.host + r.path;
        return all;
    }
    const SongPage &song() const { return m_form->songPage(); }
    QString videoHtm() const { return m_harness.exeDir.filePath(u"video.htm"_s); }

private slots:
    void initTestCase()
    {
        FormHarness::setProgramFont();
        QVERIFY(m_server.listen());
        m_server.serveDirectory(demo);
        // Before any network object; GStreamer reads the same variable.
        qputenv("http_proxy", m_server.baseUrl().toLatin1());
        QNetworkProxyFactory::setUseSystemConfiguration(true); // as main() does
    }

    void init()
    {
        m_harness.install();
        FileDialog::clearHistory();
        m_server.clearRequests();
        m_form = std::make_unique<Form1>();
        stopVersionTimer(m_form.get());
        control(m_form.get(), "Text1")->setEnabled(true);
        control(m_form.get(), "Command1")->setEnabled(true);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void audioPageEndToEnd()
    {
        const QString statusBefore = m_form->statusLine();
        QTest::keyClicks(control(m_form.get(), "Text1"), m_audioUrl);
        click("Command1");

        QCOMPARE(captions(), captionsFor(m_audio));
        QCOMPARE(shown(), QImage(demo + photo));
        QVERIFY(MessageBox::history().isEmpty());
        QCOMPARE(m_form->statusLine(), statusBefore);
        // The header picture is no business of an audio song.
        QCOMPARE(requested(), (QStringList{u"changba.com/s/audio"_s, photo}));
    }

    void videoAddressStoredOnlyAfterTheNotice()
    {
        QString videoUrlWhileOpen = u"(not seen)"_s;
        QImage pictureWhileOpen;
        ModalDialogs dialogs;
        dialogs.whenShown([&](QWidget *dialog) {
            videoUrlWhileOpen = song().strVideoUrl;
            pictureWhileOpen = shown();
            dialog->close();
        });
        extract(m_videoUrl, false);

        QCOMPARE(videoUrlWhileOpen, QString());
        QCOMPARE(pictureWhileOpen, QImage(demo + head640)); // the picture comes first
        QCOMPARE(song().strVideoUrl, videoPlayer);
        QCOMPARE(requested(), (QStringList{u"changba.com/s/video"_s, head640}));
        QCOMPARE(MessageBox::history().value(0).text, u"您当前获取的为视频!"_s);
        QCOMPARE(MessageBox::history().value(0).flags, int(MessageBox::Information));
    }

    void afterAVideoFailedFetchKeepsAllNoPhotoClears()
    {
        extract(m_videoUrl);
        const QString statusBefore = m_form->statusLine();
        HttpResponse failing = HttpResponse::text(page(Song()));
        failing.behaviour = HttpResponse::Behaviour::HangUpMidBody;
        m_server.route(u"changba.com/s/fails"_s, failing);

        extract(u"http://changba.com/s/fails"_s); // a failed fetch keeps everything
        QCOMPARE(captions(), captionsFor(m_video));
        QCOMPARE(shown(), QImage(demo + head640));
        QCOMPARE(song().strVideoUrl, videoPlayer);
        QCOMPARE(m_form->statusLine(), statusBefore);

        extract(serve(u"nophoto"_s, page(Song()))); // the picture and the address must go
        QCOMPARE(shown(), control<QLabel>(m_form.get(), "Image2")->pixmap().toImage());
        QCOMPARE(song().strVideoUrl, QString());
    }

    void addressText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // empty: none, the status line stays
        QTest::addColumn<QString>("fetched");
        QTest::newRow("empty") << QString()
                               << u"请输入唱吧网页地址,不会获取的请点击上方“如何获得”按钮 .."_s
                               << QString();
        QTest::newRow("spaces only") << u"   "_s << u"地址错误,请您检查 .."_s << QString();
        QTest::newRow("https") << u"https://changba.com/s/a"_s << u"地址错误,请您检查 .."_s
                               << QString();
        QTest::newRow("capital scheme")
            << u"HTTP://changba.com/s/a"_s << u"地址错误,请您检查 .."_s << QString();
        // Cutting the share address out of the text would fetch changba.com/s/word.
        QTest::newRow("inside another address")
            << u"http://share.songs.example/go?to=http://changba.com/s/word"_s << QString()
            << u"share.songs.example/go?to=http://changba.com/s/word"_s;
        QTest::newRow("after words: no address at all")
            << u"我在唱吧唱了一首歌 http://changba.com/s/word"_s << QString() << QString();
    }

    void addressText()
    {
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QFETCH(QString, fetched);
        const QString statusBefore = m_form->statusLine();

        extract(text);

        QCOMPARE(m_form->statusLine(), refusal.isEmpty() ? statusBefore : refusal);
        QCOMPARE(requested().join(u' '), fetched);
    }

    void missingMarkersRepeatTheEarlierPage()
    {
        extract(m_audioUrl);
        Song second{{}, {}, {}, u"第二位"_s};
        second.gifts = u"0"_s;

        extract(serve(u"sticky"_s, page(second).replace("gift_icon", "x").replace("mp3:", "a:")));

        second.gifts = m_audio.gifts;
        QCOMPARE(captions(), captionsFor(second));
        QCOMPARE(song().strMp3Url, mp3Address);
    }

    void newestClickWins()
    {
        // Long enough that an older fetch still running would overwrite the newer values.
        HttpResponse slow = HttpResponse::text(page(m_video));
        slow.delayMs = 600;
        m_server.route(u"changba.com/s/slow"_s, slow);
        connect(
            &m_server, &LocalHttpServer::requestReceived, this, [this] { extract(m_audioUrl); },
            queuedOnce);

        extract(u"http://changba.com/s/slow"_s);

        QCOMPARE(captions(), captionsFor(m_audio));
    }

    void closeDuringFetchEndsIt()
    {
        HttpResponse silent = HttpResponse::text(page(m_audio));
        silent.behaviour = HttpResponse::Behaviour::Silent;
        m_server.route(u"changba.com/s/close-during"_s, silent);
        connect(&m_server, &LocalHttpServer::requestReceived, m_form.get(), &QWidget::close,
                queuedOnce);
        MessageBox::setNextAnswer(MessageBox::No);
        const QDeadlineTimer deadline(10000);

        extract(u"http://changba.com/s/close-during"_s, false);

        // Left waiting, the fetch would end only at its 30 s time-out.
        QVERIFY2(!deadline.hasExpired(), "the fetch outlived the window");
        QVERIFY(!m_form->isVisible());
        QCOMPARE(MessageBox::history().size(), 1); // the exit question only
    }

    void actionsWithoutMedia()
    {
        for (const char *button : {"Command7", "Command2"}) {
            m_form->setStatusLine(QString());
            click(button);
            QCOMPARE(m_form->statusLine(), u"请先进行解析.."_s);
        }

        QFile earlier(videoHtm());
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") && earlier.flush());
        QString statusWhileOpen;
        ModalDialogs box;
        box.whenShown([&](QWidget *dialog) {
            statusWhileOpen = m_form->statusLine();
            dialog->close();
        });

        click("Command8");

        QCOMPARE(statusWhileOpen, u"请先进行解析.."_s); // the box comes first
        QCOMPARE(m_form->statusLine(), u"没有发现视频文件.."_s);
        QCOMPARE(MessageBox::history().value(0).text, u"没有发现视频文件.."_s);
        QCOMPARE(MessageBox::history().value(0).flags, int(MessageBox::Information));
        QCOMPARE(readFile(videoHtm()), QByteArray("earlier"));
    }

    void previewAndDownload()
    {
        extract(m_audioUrl);
        click("Command7");
        QCOMPARE(m_form->statusLine(), u"正在进行在线试听.."_s);
        QCOMPARE(control<MediaPlayer>(m_form.get(), "W1")->URL(), mp3Address);

        QTemporaryDir saveDir;
        FileDialog::setNextFileName(saveDir.filePath(u"song.mp3"_s));
        MessageBox::setNextAnswer(MessageBox::Ok); // "download finished"
        QSignalSpy finished(control<WebBrowser>(m_form.get(), "WebBrowser1"),
                            &WebBrowser::downloadFinished);
        click("Command2");

        QCOMPARE(m_form->statusLine(), u"正在下载音乐.."_s);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        // Tagged for the song: the server's bytes follow the tag unchanged.
        const QByteArray saved = readFile(saveDir.filePath(u"song.mp3"_s));
        QVERIFY(saved.startsWith("ID3"));
        QVERIFY(saved.endsWith(readFile(demo + u"lzscuw.changba.com/84263517.mp3"_s)));

        extract(serve(u"ftp"_s, page(Song{{}, u"ftp://files.songs.example/a.mp3"_s})));
        click("Command2");
        QCOMPARE(m_form->statusLine(), u"音乐地址无效,无法下载 .."_s);
        QCoreApplication::processEvents(); // a download asks for the file name from the loop
        QCOMPARE(FileDialog::history().size(), 1); // the first download's
    }

    void exportVideo()
    {
        extract(m_videoUrl);
        const QString snippet = u"<div><script src=\""_s + videoPlayer +
                                u"\" type=\"text/javascript\"></script></div>"_s;
        QStringList seen;
        ModalDialogs dialogs;
        dialogs.whenShown([&](QWidget *dialog) {
            seen << dialog->objectName() << QString::fromLatin1(readFile(videoHtm()));
            for (auto name : {"Text1", "Text2"})
                seen << control<QLineEdit>(dialog, name)->text();
            dialog->close();
        });
        AppPaths::setExecutableFolderForTesting(m_harness.exeDir.filePath(u"gone"_s));
        MessageBox::setNextAnswer(MessageBox::Ok);
        click("Command8");
        QCOMPARE(seen, QStringList()); // no dialog when the file cannot be written
        QCOMPARE(MessageBox::history().value(0).text,
                 u"无法生成video.htm文件,请检查软件所在文件夹是否可写 .."_s);
        QCOMPARE(MessageBox::history().value(0).flags, int(MessageBox::Exclamation));

        AppPaths::setExecutableFolderForTesting(m_harness.exeDir.path());
        click("Command8");
        QCOMPARE(seen, (QStringList{u"Form2"_s, snippet + u"\r\n"_s, videoPlayer, snippet}));
    }
};

QTEST_MAIN(TestExtraction)
#include "tst_extraction.moc"
