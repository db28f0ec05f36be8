// The main window end to end on the demo pages: extraction, preview and video export,
// with every remote host played by a local server behind http_proxy.

#include "Form1.h"
#include "FormHarness.h"
#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "ModalDialogs.h"
#include "NetworkProxy.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString demo = u"" SONAVEX_SOURCE_DIR "/resources/demo/"_s; // pages, pictures, audio
// The demo pages' captions, Label1 to Label9 as they stand.
const QString audioCaptions =
    u"用户名：小鹿同学|粉丝数：3562|广东 深圳 · 金牌歌手 · 等级 Lv.12|演唱歌曲：晴天|播放次数：12846次|收到礼物：327个|转发次数：58次|评论数量：142次"_s;
const QString videoCaptions =
    u"用户名：阿杰Jay|粉丝数：20417|北京 朝阳 · 唱吧麦霸 · 等级 Lv.18|演唱歌曲：小幸运|播放次数：98310次|收到礼物：2045个|转发次数：611次|评论数量：1288次"_s;
const QString noPhotoCaptions =
    u"用户名：青柠|粉丝数：86|浙江 杭州 · 新人|演唱歌曲：后来|播放次数：403次|收到礼物：5个|转发次数：1次|评论数量：9次"_s;
const QString player =
    u"http://changba.com/static/mvplayer.js?workid=90125533&width=640&height=360"_s;
// Cutting the share address out of this text would fetch changba.com/s/word.
const QString inside = u"http://share.songs.example/go?to=http://changba.com/s/word"_s;

constexpr auto queuedOnce = Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection);

} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT
    FormHarness m_harness;
    LocalHttpServer m_server;
    std::unique_ptr<Form1> m_form;
    QHash<QString, QImage> m_pictures;
    ModalDialogs m_dialogs;
    QStringList m_open; // what the window showed while the last dialog was open

    // Extracts text, then clicks button if one is given. The extraction's first box gets
    // answer; with none it opens, and the window is recorded while it or another dialog is
    // open. Afterwards the box history and the server's requests are this step's; returns
    // how many requests the extraction made.
    qsizetype run(const QString &text, const QByteArray &button = {},
                  std::optional<int> answer = MessageBox::Ok)
    {
        MessageBox::clearHistory();
        m_server.clearRequests();
        m_dialogs.whenShown([this](QWidget *dialog) {
            const auto *address = control<QLineEdit>(dialog, "Text1");
            QFile html(m_harness.exeDir.filePath(u"video.htm"_s));
            const bool written = html.open(QIODevice::ReadOnly);
            m_open = shown() << m_form->statusLine()
                             << (written ? QString::fromLatin1(html.readAll()) : u"(none)"_s)
                             << (address ? address->text() : QString());
            dialog->close();
        });
        if (answer)
            MessageBox::setNextAnswer(*answer);
        control<QLineEdit>(m_form.get(), "Text1")->setText(text);
        QTest::mouseClick(control(m_form.get(), "Command1"), Qt::LeftButton);
        MessageBox::clearAnswers();
        const qsizetype requests = m_server.requests().size();
        if (!button.isEmpty())
            QTest::mouseClick(control(m_form.get(), button.constData()), Qt::LeftButton);
        return requests;
    }
    // The picture, the address video export uses, the captions, the boxes of the last step.
    QStringList shown() const
    {
        const QImage picture = control<QLabel>(m_form.get(), "Image1")->pixmap().toImage();
        QStringList captions;
        for (auto name :
             {"Label1", "Label4", "Label10", "Label2", "Label5", "Label6", "Label7", "Label9"})
            captions << control<QLabel>(m_form.get(), name)->text();
        QStringList all{m_pictures.key(picture, u"(another)"_s), m_form->songPage().strVideoUrl,
                        captions.join(u'|')};
        for (const MessageBox::Shown &box : MessageBox::history())
            all << box.text;
        return all;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_server.serveDirectory(demo);
        // Before any network object; GStreamer reads the same variable.
        qputenv("http_proxy", m_server.baseUrl().toLatin1());
        NetworkProxy::useEnvironmentOrSystem(); // as main() does
        m_server.route(u"changba.com/s/ftp"_s, HttpResponse::text("mp3:\"ftp://a.example/a.mp3\""));
        m_server.route(inside.mid(7), HttpResponse::text("mp3:\"http://a.example/whole.mp3\""));
        m_server.route(u"changba.com/s/local"_s,
                       HttpResponse::text("mp3:\"" SONAVEX_SOURCE_DIR "/CMakeLists.txt\""));
        HttpResponse slow = HttpResponse::text("<title>较早 - 较早 -</title>");
        slow.delayMs = 5000;
        m_server.route(u"changba.com/s/slow"_s, slow);
        for (const QString &path : {u"aliimg.changba.com/cache/photo/284736105_200_200.jpg"_s,
                                    u"qiniuuserphoto.changba.com/head/640/90125533_640.jpg"_s})
            m_pictures[path.section(u'.', 0, 0)] = QImage(demo + path);
    }

    void init()
    {
        m_harness.install();
        m_form = std::make_unique<Form1>();
        stopVersionTimer(m_form.get());
        control(m_form.get(), "Command1")->setEnabled(true);
        m_pictures[u"default"_s] = control<QLabel>(m_form.get(), "Image2")->pixmap().toImage();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    // What each box or dialog shows up against: the notice after the picture and before
    // the address is stored; Form2 after video.htm is written, with the address a failed
    // extraction kept; after a page without a video, a box before the status line says so.
    void videoNoticeAndExport()
    {
        const QString status = m_form->statusLine(), header = u"qiniuuserphoto"_s;
        // The page and the header picture, not the photo.
        QCOMPARE(run(u"http://changba.com/s/demo-video"_s, {}, std::nullopt), 2);
        QCOMPARE(m_open, (QStringList{header, QString(), videoCaptions, u"您当前获取的为视频!"_s,
                                      status, u"(none)"_s, QString()}));
        QCOMPARE(MessageBox::history().value(0).flags, int(MessageBox::Information));

        run(u"我在唱吧唱了一首歌 http://changba.com/s/word"_s, "Command8"); // no such page
        const QString snippet = u"<div><script src=\""_s + player +
                                u"\" type=\"text/javascript\"></script></div>\r\n"_s;
        QCOMPARE(m_open, (QStringList{header, player, videoCaptions, status, snippet, player}));

        run(u"http://changba.com/s/demo-nophoto"_s, "Command8");
        QCOMPARE(m_open, (QStringList{u"default"_s, QString(), noPhotoCaptions,
                                      u"没有发现视频文件.."_s, status, snippet, QString()}));
        QCOMPARE(MessageBox::history().value(0).flags, int(MessageBox::Information));
        QCOMPARE(m_form->statusLine(), u"没有发现视频文件.."_s);
    }

    // The slow page takes 5 s to come: an extraction that waited for it would miss the
    // deadline.
    void newerClickOrCloseEndsAWaitingFetch()
    {
        const QDeadlineTimer deadline(4500);
        connect(
            &m_server, &LocalHttpServer::requestReceived, this,
            [this] { run(u"http://changba.com/s/demo-audio"_s); }, queuedOnce);
        // Counted since the newer click: its page and the photo, none after them from the
        // older click.
        QCOMPARE(run(u"http://changba.com/s/slow"_s), 2);
        // The audio page, its photo and no box.
        QCOMPARE(shown(), (QStringList{u"aliimg"_s, QString(), audioCaptions}));

        // The same while the older page's photo loads: the newer photo stays.
        QFile page(demo + u"changba.com/s/demo-audio"_s);
        QVERIFY(page.open(QIODevice::ReadOnly));
        HttpResponse slowPhoto = HttpResponse::text(
            page.readAll().replace("http://aliimg.changba.com/cache/photo/284736105_200_200.jpg",
                                   "http://slow.example/photo.jpg"));
        m_server.route(u"changba.com/s/slowphoto"_s, slowPhoto);
        QFile header(demo + u"qiniuuserphoto.changba.com/head/640/90125533_640.jpg"_s);
        QVERIFY(header.open(QIODevice::ReadOnly));
        slowPhoto = HttpResponse::text(header.readAll(), "image/jpeg");
        slowPhoto.delayMs = 1000;
        m_server.route(u"slow.example/photo.jpg"_s, slowPhoto);
        const auto whilePhotoLoads = connect(
            &m_server, &LocalHttpServer::requestReceived, this, [this](const HttpRequest &request) {
                if (request.host == u"slow.example")
                    QTimer::singleShot(0, this,
                                       [this] { run(u"http://changba.com/s/demo-audio"_s); });
            });
        run(u"http://changba.com/s/slowphoto"_s);
        disconnect(whilePhotoLoads);
        QCOMPARE(shown(), (QStringList{u"aliimg"_s, QString(), audioCaptions}));

        connect(&m_server, &LocalHttpServer::requestReceived, m_form.get(), &QWidget::close,
                queuedOnce);
        run(u"http://changba.com/s/slow"_s, {}, MessageBox::No);
        QVERIFY2(!deadline.hasExpired(), "a fetch outlived its extraction");
        QVERIFY(!m_form->isVisible());
        QCOMPARE(MessageBox::history().size(), 1); // the exit question only
    }

    // A text extracted, then a button clicked: how many requests the extraction made, the
    // status line, the player's address.
    void clicks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QString &text, const QByteArray &button,
                            int requests, const QString &status, const QString &url = {}) {
            QTest::newRow(name) << text << button
                                << QStringList{QString::number(requests), status, url};
        };
        const QString wrong = u"地址错误,请您检查 .."_s, notYet = u"请先进行解析.."_s;
        row("empty", {}, {}, 0, u"请输入唱吧网页地址,不会获取的请点击上方“如何获得”按钮 .."_s);
        row("spaces only", u"   "_s, {}, 0, wrong);
        row("https", u"https://changba.com/s/a"_s, {}, 0, wrong);
        row("capital scheme", u"HTTP://changba.com/s/a"_s, {}, 0, wrong);
        row("preview, nothing extracted", {}, "Command7", 0, notYet);
        row("download, nothing extracted", {}, "Command2", 0, notYet);
        // Only the web: a page must not point the tool at this computer's files.
        row("download from ftp", u"http://changba.com/s/ftp"_s, "Command2", 1,
            u"无法下载该地址.."_s);
        row("preview from ftp", u"http://changba.com/s/ftp"_s, "Command7", 1,
            u"无法播放该地址.."_s);
        row("preview of a local file", u"http://changba.com/s/local"_s, "Command7", 1,
            u"无法播放该地址.."_s);
        row("download of a local file", u"http://changba.com/s/local"_s, "Command2", 1,
            u"无法下载该地址.."_s);
        // Last: the player fetches its audio in its own time, and would be counted later.
        row("inside another address: fetched whole", inside, "Command7", 1, u"正在进行在线试听.."_s,
            u"http://a.example/whole.mp3"_s);
    }
    void clicks()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, button);
        QFETCH(QStringList, expected);
        // A braced list is evaluated left to right: the window is read after the clicks.
        QCOMPARE((QStringList{QString::number(run(text, button)), m_form->statusLine(),
                              control<MediaPlayer>(m_form.get(), "W1")->URL()}),
                 expected);
    }
};

QTEST_MAIN(TestExtraction)
#include "tst_extraction.moc"
