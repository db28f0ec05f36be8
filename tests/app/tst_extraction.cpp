#include "Form1.h"
#include "FormHarness.h"
#include "LocalHttpServer.h"
#include "ModalDialogs.h"
#include "PageFetch.h"
#include "SongPage.h"

#include <QBuffer>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(HttpResponse)

namespace {

// The named parts of a song page; each stands behind its marker in page().
struct Song
{
    QString songName = QStringLiteral("因为爱情");
    QString userName = QStringLiteral("Heightened");
    QString fans = QStringLiteral("2718");
    QString info = QStringLiteral("广东 深圳 歌手");
    QString plays = QStringLiteral("12,034");
    QString gifts = QStringLiteral("56");
    QString forwards = QStringLiteral("7");
    QString comments = QStringLiteral("89");
    QString photo;                  // address in the photo element; empty: no photo block
    bool photoEndsWithSpace = true; // false: src="..."/> with nothing after the quote
    QString mp3;                    // empty: no audio marker
    QString head;                   // empty: no header background marker
    bool giftsMarker = true;
};

QByteArray page(const Song &s)
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n"
                                  "<meta charset=\"utf-8\">\n<title>") +
                   s.songName + QStringLiteral(" - ") + s.userName +
                   QStringLiteral(" - 唱吧,最时尚的手机KTV</title>\n");
    if (!s.head.isEmpty())
        html += QStringLiteral("<style type=\"text/css\">\n.pcsong_head {background: url( \"") +
                s.head + QStringLiteral("\") no-repeat center top;}\n</style>\n");
    html += QStringLiteral("</head>\n<body>\n<div class=\"pcsong_head\">\n");
    if (!s.photo.isEmpty())
        html += QStringLiteral("  <div class=\"pcsong_photos\"><img class=\"avatar\" src=\"") +
                s.photo +
                (s.photoEndsWithSpace ? QStringLiteral("\" width=\"120\" height=\"120\" />")
                                      : QStringLiteral("\"/>")) +
                QStringLiteral("</div>\n");
    html += QStringLiteral("  <div class=\"pcsong_user\">\n    <div class=\"pcsong_title\">有 ") +
            s.fans + QStringLiteral("</div>\n    <div class=\"pcsong_title\" >") + s.info +
            QStringLiteral("</div>\n  </div>\n</div>\n<div class=\"pcsong_info clearfix\">\n"
                           "  <div class=\"pcsong_listen_icon fl\">") +
            s.plays + QStringLiteral("</div>\n");
    if (s.giftsMarker)
        html += QStringLiteral("  <div class=\"pcsong_gift_icon fl\">") + s.gifts +
                QStringLiteral("</div>\n");
    html += QStringLiteral("  <div class=\"pcsong_forward_icon fl\">") + s.forwards +
            QStringLiteral("</div>\n  <div class=\"pcsong_comment_icon fl\">") + s.comments +
            QStringLiteral("</div>\n</div>\n");
    if (!s.mp3.isEmpty())
        html += QStringLiteral("<script type=\"text/javascript\">\nvar songInfo = {id: 88123, "
                               "mp3:\"") +
                s.mp3 + QStringLiteral("\", duration: 251};\n</script>\n");
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

// Label1, Label4, Label10, Label2, Label5, Label6, Label7, Label9, in that order.
const char *const valueLabels[] = {"Label1", "Label4", "Label10", "Label2",
                                   "Label5", "Label6", "Label7",  "Label9"};

QStringList captionsFor(const Song &s)
{
    return {QStringLiteral("用户名：") + s.userName,
            QStringLiteral("粉丝数：") + s.fans,
            s.info,
            QStringLiteral("演唱歌曲：") + s.songName,
            QStringLiteral("播放次数：") + s.plays + QStringLiteral("次"),
            QStringLiteral("收到礼物：") + s.gifts + QStringLiteral("个"),
            QStringLiteral("转发次数：") + s.forwards + QStringLiteral("次"),
            QStringLiteral("评论数量：") + s.comments + QStringLiteral("次")};
}

const QStringList initialCaptions = {
    QStringLiteral("歌手名：未查询"),         QStringLiteral("粉丝数：未查询"),
    QStringLiteral("请输入地址进行信息提取"), QStringLiteral("演唱歌曲：未查询"),
    QStringLiteral("播放次数：未查询"),       QStringLiteral("收到礼物：未查询"),
    QStringLiteral("转发次数：未查询"),       QStringLiteral("评论数量：未查询")};

const QString emptyRefusal =
    QStringLiteral("请输入唱吧网页地址,不会获取的请点击上方“如何获得”按钮 ..");
const QString wrongRefusal = QStringLiteral("地址错误,请您检查 ..");
const QString videoNotice = QStringLiteral("您当前获取的为视频!");

QImage solid(const QColor &color, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

HttpResponse picture(const QImage &image)
{
    return HttpResponse::text(png(image), "image/png");
}

bool sameImage(const QImage &a, const QImage &b)
{
    return !a.isNull() && !b.isNull() &&
           a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

bool isBusy(Qt::CursorShape shape)
{
    return shape == Qt::BusyCursor || shape == Qt::WaitCursor;
}

} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void audioPageEndToEnd();
    void errorStatusPageIsParsed();
    void videoAddressStoredOnlyAfterTheNotice();
    void noPhotoShowsTheDefaultPicture_data();
    void noPhotoShowsTheDefaultPicture();
    void failedFetchKeepsEverything_data();
    void failedFetchKeepsEverything();
    void refusals_data();
    void refusals();
    void wholeTextGoesToTheFetch_data();
    void wholeTextGoesToTheFetch();
    void extractionAfterRefusalKeepsTheRefusalText();
    void missingMarkersRepeatTheEarlierPage();
    void pictureOutcomes_data();
    void pictureOutcomes();
    void newestClickWins();
    void closeDuringFetch_data();
    void closeDuringFetch();
    void programEndsWhenClosedDuringFetch();
    void busyCursorOnlyWhilePending();

private:
    void openForm(bool runVersionCheck = false);
    QString serve(const QString &id, const QByteArray &body, int delayMs = 0);
    void extract(const QString &text);
    void extractAnswered(const QString &text); // a video notice, if any, answered with OK
    QStringList captions() const;
    QImage image1() const;
    QStringList requestedPaths(const QString &host) const;
    void onRequest(const QString &path, std::function<void()> action);

    FormHarness m_harness;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<Form1> m_form;
};

void TestExtraction::initTestCase()
{
    FormHarness::setProgramFont();
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->listen());
    // Before any network object: every host, the version file's included, is this server.
    const QByteArray proxy = m_server->baseUrl().toLatin1();
    qputenv("http_proxy", proxy);
    qputenv("HTTP_PROXY", proxy);
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    QNetworkProxyFactory::setUseSystemConfiguration(true); // as main() does
    m_server->route(QStringLiteral("soft.vantre.example/brelvane/sonav/jc/jc.txt"),
                    HttpResponse::text("V1.0", "text/plain"));
}

void TestExtraction::init()
{
    m_harness.install();
    m_server->clearRequests();
}

void TestExtraction::cleanup()
{
    m_form.reset();
    m_harness.uninstall();
}

void TestExtraction::openForm(bool runVersionCheck)
{
    m_form = std::make_unique<Form1>();
    if (!runVersionCheck) {
        stopVersionTimer(m_form.get());
        control(m_form.get(), "Text1")->setEnabled(true);
        control(m_form.get(), "Command1")->setEnabled(true);
    }
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

// Serves body as the song page http://changba.com/s/<id> and returns that address.
QString TestExtraction::serve(const QString &id, const QByteArray &body, int delayMs)
{
    HttpResponse response = HttpResponse::text(body);
    response.delayMs = delayMs;
    m_server->route(QStringLiteral("changba.com/s/") + id, response);
    return QStringLiteral("http://changba.com/s/") + id;
}

void TestExtraction::extract(const QString &text)
{
    control<QLineEdit>(m_form.get(), "Text1")->setText(text);
    QTest::mouseClick(control(m_form.get(), "Command1"), Qt::LeftButton);
}

void TestExtraction::extractAnswered(const QString &text)
{
    MessageBox::setNextAnswer(MessageBox::Ok);
    extract(text);
    MessageBox::clearAnswers();
}

QStringList TestExtraction::captions() const
{
    QStringList texts;
    for (const char *name : valueLabels)
        texts << control<QLabel>(m_form.get(), name)->text();
    return texts;
}

QImage TestExtraction::image1() const
{
    return control<QLabel>(m_form.get(), "Image1")->pixmap().toImage();
}

QStringList TestExtraction::requestedPaths(const QString &host) const
{
    QStringList paths;
    for (const HttpRequest &r : m_server->requests()) {
        if (r.host == host)
            paths << r.path;
    }
    return paths;
}

// Runs action once from the event loop, after the server has read a request for path.
void TestExtraction::onRequest(const QString &path, std::function<void()> action)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_server.get(), &LocalHttpServer::requestReceived, this,
                          [this, path, action, connection](const HttpRequest &request) {
                              if (request.path != path)
                                  return;
                              disconnect(*connection);
                              QTimer::singleShot(0, this, action);
                          });
}

void TestExtraction::audioPageEndToEnd()
{
    const QImage photo = solid(Qt::darkCyan, 20, 20);
    m_server->route(QStringLiteral("aliimg.songs.example/u/7731.jpg"), picture(photo));
    Song song;
    song.photo = QStringLiteral("http://aliimg.songs.example/u/7731.jpg");
    song.mp3 = QStringLiteral("http://mp3.songs.example/userdata/88123.mp3");
    song.head = QStringLiteral("http://img.songs.example/bg/100/head_100.jpg");
    const QString address = serve(QStringLiteral("e2e-audio"), page(song));

    openForm(true);
    QTRY_VERIFY_WITH_TIMEOUT(control(m_form.get(), "Command1")->isEnabled(), 5000);
    const QString statusBefore = m_form->statusLine();
    QCOMPARE(statusBefore, QStringLiteral("欢迎使用Vantre旗下Lumo系列软件 .."));
    m_server->clearRequests();

    QTest::keyClicks(control(m_form.get(), "Text1"), address);
    QTest::mouseClick(control(m_form.get(), "Command1"), Qt::LeftButton);

    QCOMPARE(captions(), captionsFor(song));
    QVERIFY(sameImage(image1(), photo));
    QVERIFY(MessageBox::history().isEmpty());
    QCOMPARE(m_form->songPage().strVideoUrl, QString());
    QCOMPARE(m_form->songPage().strMp3Url, song.mp3);
    QCOMPARE(m_form->songPage().strPage, QString::fromUtf8(page(song)));
    QCOMPARE(m_form->statusLine(), statusBefore);
    // The header picture is no business of an audio song.
    QCOMPARE(requestedPaths(QStringLiteral("img.songs.example")), QStringList());

    const QStringList pages = requestedPaths(QStringLiteral("changba.com"));
    QCOMPARE(pages, QStringList{QStringLiteral("/s/e2e-audio")});
    const HttpRequest fetch = m_server->requests().first();
    QCOMPARE(fetch.header("If-Modified-Since"), QByteArray("0"));
}

void TestExtraction::errorStatusPageIsParsed()
{
    Song song;
    song.userName = QStringLiteral("迷路的人");
    song.photo = QStringLiteral("http://aliimg.songs.example/u/404page.jpg");
    m_server->route(QStringLiteral("aliimg.songs.example/u/404page.jpg"),
                    picture(solid(Qt::yellow, 8, 8)));
    m_server->route(QStringLiteral("changba.com/s/gone"),
                    HttpResponse::text(page(song), "text/html; charset=utf-8", 404));
    openForm();

    extract(QStringLiteral("http://changba.com/s/gone"));

    QCOMPARE(captions(), captionsFor(song));
    QVERIFY(sameImage(image1(), solid(Qt::yellow, 8, 8)));
}

void TestExtraction::videoAddressStoredOnlyAfterTheNotice()
{
    const QImage firstHead = solid(Qt::red, 16, 9);
    const QImage secondHead = solid(Qt::blue, 32, 18);
    m_server->route(QStringLiteral("img.songs.example/bg/640/first_640.jpg"), picture(firstHead));
    m_server->route(QStringLiteral("img.songs.example/bg/640/1640/head_640.jpg"),
                    picture(secondHead));
    Song first;
    first.photo = QStringLiteral("http://video.songs.example/player.swf?vid=1&amp;auto=1");
    first.head = QStringLiteral("http://img.songs.example/bg/100/first_100.jpg");
    Song second;
    second.songName = QStringLiteral("小幸运");
    second.photo =
        QStringLiteral("http://video.songs.example/player.swf?vid=5521&amp;auto=0&amp;t=1");
    // "100" inside a longer run of digits counts too.
    second.head = QStringLiteral("http://img.songs.example/bg/100/1100/head_100.jpg");
    openForm();

    extractAnswered(serve(QStringLiteral("video-1"), page(first)));
    QCOMPARE(m_form->songPage().strVideoUrl,
             QStringLiteral("http://video.songs.example/player.swf?vid=1&auto=1"));
    QVERIFY(sameImage(image1(), firstHead));
    MessageBox::clearHistory();
    m_server->clearRequests();

    struct WhileOpen
    {
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString strVideoUrl = QStringLiteral("(not seen)");
        QImage image1;
        QStringList labels;
    } seen;
    ModalDialogs dialogs;
    dialogs.whenShown([&](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box) {
            seen.text = box->text();
            seen.title = box->windowTitle();
            seen.icon = box->icon();
        }
        seen.strVideoUrl = m_form->songPage().strVideoUrl;
        seen.image1 = image1();
        seen.labels = captions();
        if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else
            dialog->close();
    });
    extract(serve(QStringLiteral("video-2"), page(second)));

    QVERIFY(dialogs.handled());
    QCOMPARE(seen.text, videoNotice);
    QCOMPARE(seen.title, QStringLiteral("Lumo系列软件"));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(seen.strVideoUrl, QString());
    QVERIFY2(sameImage(seen.image1, secondHead), "the picture comes before the notice");
    QCOMPARE(seen.labels, captionsFor(second));

    QCOMPARE(m_form->songPage().strVideoUrl,
             QStringLiteral("http://video.songs.example/player.swf?vid=5521&auto=0&t=1"));
    QCOMPARE(requestedPaths(QStringLiteral("img.songs.example")),
             QStringList{QStringLiteral("/bg/640/1640/head_640.jpg")});
    QVERIFY2(requestedPaths(QStringLiteral("video.songs.example")).isEmpty(),
             "the player address is no picture");
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().flags, 64);
    QCOMPARE(MessageBox::history().first().title, QStringLiteral("Lumo系列软件"));
}

void TestExtraction::noPhotoShowsTheDefaultPicture_data()
{
    QTest::addColumn<bool>("earlierVideo");
    QTest::newRow("after audio: the singer's photo must go") << false;
    QTest::newRow("after video: the old video address must go") << true;
}

void TestExtraction::noPhotoShowsTheDefaultPicture()
{
    QFETCH(bool, earlierVideo);
    const QImage earlierPicture = solid(Qt::magenta, 12, 12);
    m_server->route(QStringLiteral("aliimg.songs.example/u/before.jpg"), picture(earlierPicture));
    m_server->route(QStringLiteral("img.songs.example/bg/640/before.jpg"), picture(earlierPicture));
    Song earlier;
    earlier.head = QStringLiteral("http://img.songs.example/bg/100/before.jpg");
    earlier.photo = earlierVideo ? QStringLiteral("http://v.songs.example/mvplayer.js?id=3")
                                 : QStringLiteral("http://aliimg.songs.example/u/before.jpg");
    Song noPhoto;
    noPhoto.userName = QStringLiteral("无头像");
    noPhoto.photo = QStringLiteral("http://aliimg.songs.example/u/unreachable.jpg");
    noPhoto.photoEndsWithSpace = false;
    openForm();
    const QImage defaultPicture = control<QLabel>(m_form.get(), "Image2")->pixmap().toImage();

    extractAnswered(serve(QStringLiteral("before-nophoto"), page(earlier)));
    QVERIFY(sameImage(image1(), earlierPicture));
    QCOMPARE(m_form->songPage().strVideoUrl.isEmpty(), !earlierVideo);
    MessageBox::clearHistory();

    extract(serve(QStringLiteral("nophoto"), page(noPhoto)));

    QCOMPARE(captions(), captionsFor(noPhoto));
    QVERIFY(sameImage(image1(), defaultPicture));
    QCOMPARE(m_form->songPage().strVideoUrl, QString());
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(!requestedPaths(QStringLiteral("aliimg.songs.example"))
                 .contains(QStringLiteral("/u/unreachable.jpg")));
}

void TestExtraction::failedFetchKeepsEverything_data()
{
    QTest::addColumn<QString>("failure");
    QTest::newRow("connection refused") << QStringLiteral("refused");
    QTest::newRow("server hangs up mid-body") << QStringLiteral("hangup");
    QTest::newRow("server never answers: time-out") << QStringLiteral("silent");
}

void TestExtraction::failedFetchKeepsEverything()
{
    QFETCH(QString, failure);
    const QImage head = solid(Qt::darkGreen, 10, 30);
    m_server->route(QStringLiteral("img.songs.example/bg/640/kept.jpg"), picture(head));
    Song video;
    video.photo = QStringLiteral("http://v.songs.example/mvplayer.js?id=9&amp;x=1");
    video.head = QStringLiteral("http://img.songs.example/bg/100/kept.jpg");
    video.mp3 = QStringLiteral("http://mp3.songs.example/kept.mp3");
    openForm();
    m_form->pageFetch()->setTimeout(300);
    extractAnswered(serve(QStringLiteral("kept-video"), page(video)));
    QCOMPARE(m_form->songPage().strVideoUrl,
             QStringLiteral("http://v.songs.example/mvplayer.js?id=9&x=1"));
    MessageBox::clearHistory();
    const QString statusBefore = m_form->statusLine();

    QString address;
    if (failure == QLatin1String("refused")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        // Loopback is never proxied; the share prefix only has to occur somewhere.
        address = QStringLiteral("http://127.0.0.1:%1/?from=http://changba.com/s/x").arg(port);
    } else {
        Song other;
        other.userName = QStringLiteral("不该出现");
        HttpResponse response = HttpResponse::text(page(other));
        response.behaviour = failure == QLatin1String("hangup")
                                 ? HttpResponse::Behaviour::HangUpMidBody
                                 : HttpResponse::Behaviour::Silent;
        m_server->route(QStringLiteral("changba.com/s/fails-") + failure, response);
        address = QStringLiteral("http://changba.com/s/fails-") + failure;
    }

    extract(address);

    QCOMPARE(captions(), captionsFor(video));
    QVERIFY(sameImage(image1(), head));
    QCOMPARE(m_form->songPage().strVideoUrl,
             QStringLiteral("http://v.songs.example/mvplayer.js?id=9&x=1"));
    QCOMPARE(m_form->songPage().strMp3Url, video.mp3);
    QCOMPARE(m_form->songPage().strPage, QString());
    QVERIFY(MessageBox::history().isEmpty());
    QCOMPARE(m_form->statusLine(), statusBefore);
    QVERIFY(!m_form->pageFetch()->isPending());
    QVERIFY2(!QGuiApplication::overrideCursor() ||
                 !isBusy(QGuiApplication::overrideCursor()->shape()),
             "the busy cursor outlived a failed fetch");
}

void TestExtraction::refusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("status");
    QTest::newRow("empty box") << QString() << emptyRefusal;
    QTest::newRow("spaces only are not empty") << QStringLiteral("   ") << wrongRefusal;
    QTest::newRow("whole address in capitals")
        << QStringLiteral("HTTP://CHANGBA.COM/S/ABC") << wrongRefusal;
    QTest::newRow("scheme in capitals")
        << QStringLiteral("HTTP://changba.com/s/abc") << wrongRefusal;
    QTest::newRow("https is another prefix")
        << QStringLiteral("https://changba.com/s/abc") << wrongRefusal;
    QTest::newRow("user page instead of /s/")
        << QStringLiteral("http://changba.com/u/abc") << wrongRefusal;
    QTest::newRow("other host") << QStringLiteral("http://www.changba.com/s/abc") << wrongRefusal;
}

void TestExtraction::refusals()
{
    QFETCH(QString, text);
    QFETCH(QString, status);
    openForm();
    m_form->songPage().strPage = QStringLiteral("earlier page");

    extract(text);

    QCOMPARE(m_form->statusLine(), status);
    QCOMPARE(captions(), initialCaptions);
    QCOMPARE(m_form->songPage().strPage, QStringLiteral("earlier page"));
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(!m_form->pageFetch()->isPending());
    QCOMPARE(m_server->requests().size(), 0);
}

void TestExtraction::wholeTextGoesToTheFetch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("requestedHost");
    QTest::addColumn<QString>("requestedPath");

    // Cutting the share address out of the text would fetch /s/word on changba.com.
    QTest::newRow("words that make another address: that address is fetched")
        << QStringLiteral("http://share.songs.example/go?to=http://changba.com/s/word")
        << QStringLiteral("share.songs.example")
        << QStringLiteral("/go?to=http://changba.com/s/word");
    QTest::newRow("Chinese words before: no address at all, nothing fetched")
        << QStringLiteral("我在唱吧唱了一首歌 http://changba.com/s/word") << QString() << QString();
}

void TestExtraction::wholeTextGoesToTheFetch()
{
    QFETCH(QString, text);
    QFETCH(QString, requestedHost);
    QFETCH(QString, requestedPath);
    Song song;
    song.userName = QStringLiteral("分享者");
    m_server->route(requestedHost.isEmpty() ? QStringLiteral("unused.example/")
                                            : requestedHost + requestedPath,
                    HttpResponse::text(page(song)));
    serve(QStringLiteral("word"), page(Song()));
    openForm();
    const QString statusBefore = m_form->statusLine();

    extract(text);

    QCOMPARE(m_form->statusLine(), statusBefore);
    QVERIFY(requestedPaths(QStringLiteral("changba.com")).isEmpty());
    if (requestedHost.isEmpty()) {
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(captions(), initialCaptions);
    } else {
        QCOMPARE(requestedPaths(requestedHost), QStringList{requestedPath});
        QCOMPARE(captions(), captionsFor(song));
    }
}

void TestExtraction::extractionAfterRefusalKeepsTheRefusalText()
{
    Song song;
    openForm();
    extract(QStringLiteral("changba.com/s/no-scheme"));
    QCOMPARE(m_form->statusLine(), wrongRefusal);

    extract(serve(QStringLiteral("after-refusal"), page(song)));

    QCOMPARE(captions(), captionsFor(song));
    QCOMPARE(m_form->statusLine(), wrongRefusal);
}

void TestExtraction::missingMarkersRepeatTheEarlierPage()
{
    Song first;
    first.gifts = QStringLiteral("56");
    first.mp3 = QStringLiteral("http://mp3.songs.example/first.mp3");
    Song second;
    second.songName = QStringLiteral("第二首");
    second.userName = QStringLiteral("第二位");
    second.plays = QStringLiteral("3");
    second.gifts = QStringLiteral("never shown");
    second.giftsMarker = false;
    openForm();
    extract(serve(QStringLiteral("sticky-1"), page(first)));
    QCOMPARE(captions(), captionsFor(first));

    extract(serve(QStringLiteral("sticky-2"), page(second)));

    Song expected = second;
    expected.gifts = first.gifts;
    QCOMPARE(captions(), captionsFor(expected));
    QCOMPARE(m_form->songPage().strMp3Url, first.mp3);
}

void TestExtraction::pictureOutcomes_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<bool>("video");
    QTest::addColumn<QString>("expected"); // "new", "cleared" or "kept"

    const QImage fresh = solid(Qt::darkYellow, 14, 7);
    QTest::newRow("photo decodes: shown") << picture(fresh) << false << QStringLiteral("new");
    QTest::newRow("missing photo (404): Image1 cleared")
        << HttpResponse::text("<html>404</html>", "text/html", 404) << false
        << QStringLiteral("cleared");
    QTest::newRow("photo is not a picture: old picture kept")
        << HttpResponse::text("<html>not a picture</html>") << false << QStringLiteral("kept");
    QTest::newRow("half a picture: old picture kept")
        << HttpResponse::text(png(fresh).left(40), "image/png") << false << QStringLiteral("kept");
    QTest::newRow("video, missing header picture: cleared, notice and address all the same")
        << HttpResponse::text("gone", "text/plain", 404) << true << QStringLiteral("cleared");
    QTest::newRow("video, header is not a picture: kept, notice and address all the same")
        << HttpResponse::text("<p>x</p>") << true << QStringLiteral("kept");
}

void TestExtraction::pictureOutcomes()
{
    QFETCH(HttpResponse, response);
    QFETCH(bool, video);
    QFETCH(QString, expected);
    const QImage old = solid(Qt::cyan, 9, 9);
    m_server->route(QStringLiteral("aliimg.songs.example/u/old.jpg"), picture(old));
    m_server->route(QStringLiteral("aliimg.songs.example/u/probe.jpg"), response);
    m_server->route(QStringLiteral("img.songs.example/bg/640/probe.jpg"), response);
    Song before;
    before.photo = QStringLiteral("http://aliimg.songs.example/u/old.jpg");
    Song probe;
    probe.head = QStringLiteral("http://img.songs.example/bg/100/probe.jpg");
    probe.photo = video ? QStringLiteral("http://v.songs.example/player?id=4")
                        : QStringLiteral("http://aliimg.songs.example/u/probe.jpg");
    openForm();
    extract(serve(QStringLiteral("picture-before"), page(before)));
    QVERIFY(sameImage(image1(), old));

    extractAnswered(serve(QStringLiteral("picture-probe"), page(probe)));

    if (expected == QLatin1String("new"))
        QVERIFY(sameImage(image1(), QImage::fromData(response.body)));
    else if (expected == QLatin1String("cleared"))
        QVERIFY2(image1().isNull(), "a picture that could not be fetched leaves no picture");
    else
        QVERIFY2(sameImage(image1(), old), "undecodable data must not replace the picture");
    QCOMPARE(captions(), captionsFor(probe));
    if (video) {
        QCOMPARE(MessageBox::history().size(), 1);
        QCOMPARE(MessageBox::history().first().text, videoNotice);
        QCOMPARE(m_form->songPage().strVideoUrl,
                 QStringLiteral("http://v.songs.example/player?id=4"));
    } else {
        QVERIFY(MessageBox::history().isEmpty());
    }
}

void TestExtraction::newestClickWins()
{
    Song slow;
    slow.userName = QStringLiteral("慢的");
    slow.mp3 = QStringLiteral("http://mp3.songs.example/slow.mp3");
    Song fast;
    fast.userName = QStringLiteral("快的");
    fast.gifts = QStringLiteral("999");
    fast.mp3 = QStringLiteral("http://mp3.songs.example/fast.mp3");
    // Long enough that an older fetch still running would overwrite the newer values.
    const QString slowAddress = serve(QStringLiteral("slow"), page(slow), 600);
    const QString fastAddress = serve(QStringLiteral("fast"), page(fast));
    openForm();
    const QString statusBefore = m_form->statusLine();

    QStringList captionsAfterInner;
    bool innerReturned = false;
    onRequest(QStringLiteral("/s/slow"), [&] {
        extract(fastAddress);
        innerReturned = true;
        captionsAfterInner = captions();
    });
    extract(slowAddress);

    QVERIFY(innerReturned);
    QCOMPARE(captionsAfterInner, captionsFor(fast));
    QCOMPARE(captions(), captionsFor(fast));
    QCOMPARE(m_form->songPage().strPage, QString::fromUtf8(page(fast)));
    QCOMPARE(m_form->songPage().strMp3Url, fast.mp3);
    QCOMPARE(requestedPaths(QStringLiteral("changba.com")),
             (QStringList{QStringLiteral("/s/slow"), QStringLiteral("/s/fast")}));
    QVERIFY(MessageBox::history().isEmpty());
    QCOMPARE(m_form->statusLine(), statusBefore);
    QVERIFY(!m_form->pageFetch()->isPending());
}

void TestExtraction::closeDuringFetch_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Yes: forum, the fetch is dropped") << int(MessageBox::Yes) << true;
    QTest::newRow("No: the fetch is dropped") << int(MessageBox::No) << true;
    QTest::newRow("Cancel: the fetch goes on and shows its page")
        << int(MessageBox::Cancel) << false;
}

void TestExtraction::closeDuringFetch()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    Song song;
    song.userName = QStringLiteral("关窗时");
    // When the window goes, a server that never answers must not keep the click waiting.
    HttpResponse response = HttpResponse::text(page(song));
    if (closes)
        response.behaviour = HttpResponse::Behaviour::Silent;
    else
        response.delayMs = 300;
    m_server->route(QStringLiteral("changba.com/s/close-during"), response);
    openForm();

    bool visibleAfterClose = true;
    onRequest(QStringLiteral("/s/close-during"), [&] {
        MessageBox::setNextAnswer(answer);
        m_form->close();
        visibleAfterClose = m_form->isVisible();
    });
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [&] {
        watchdogFired = true;
        m_form->pageFetch()->abort();
    });
    watchdog.start(10000);
    extract(QStringLiteral("http://changba.com/s/close-during"));
    watchdog.stop();

    QVERIFY2(!watchdogFired, "the fetch outlived the window's close");
    QCOMPARE(visibleAfterClose, !closes);
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().flags, 67);
    QCOMPARE(m_harness.opened.size(), answer == MessageBox::Yes ? 1 : 0);
    QCOMPARE(captions(), closes ? initialCaptions : captionsFor(song));
    QCOMPARE(m_form->songPage().strPage, closes ? QString() : QString::fromUtf8(page(song)));
    QVERIFY(!m_form->pageFetch()->isPending());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestExtraction::programEndsWhenClosedDuringFetch()
{
    HttpResponse silent = HttpResponse::text(page(Song()));
    silent.behaviour = HttpResponse::Behaviour::Silent;
    m_server->route(QStringLiteral("changba.com/s/quit-during"), silent);
    openForm();
    QPointer<Form1> form(m_form.get());

    onRequest(QStringLiteral("/s/quit-during"), [&] {
        MessageBox::setNextAnswer(MessageBox::No);
        form->close();
    });
    // As in main(): the click runs inside the application's loop, which ends
    // when the last window has closed.
    QTimer::singleShot(0, this,
                       [&] { extract(QStringLiteral("http://changba.com/s/quit-during")); });
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [&] {
        watchdogFired = true;
        QApplication::exit(99);
    });
    watchdog.start(10000);
    const int code = QApplication::exec();
    watchdog.stop();

    QVERIFY(!watchdogFired);
    QCOMPARE(code, 0);
    QVERIFY(form && !form->isVisible());
    QCOMPARE(captions(), initialCaptions);
    m_form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form.isNull());
}

void TestExtraction::busyCursorOnlyWhilePending()
{
    const QString address = serve(QStringLiteral("busy"), page(Song()), 200);
    openForm();
    const auto shapeNow = [this] {
        if (const QCursor *cursor = QGuiApplication::overrideCursor())
            return cursor->shape();
        return m_form->cursor().shape();
    };
    QVERIFY(!isBusy(shapeNow()));

    Qt::CursorShape whilePending = Qt::ArrowCursor;
    onRequest(QStringLiteral("/s/busy"), [&] { whilePending = shapeNow(); });
    extract(address);

    QVERIFY2(isBusy(whilePending), "no busy cursor while the page was on its way");
    QVERIFY(!isBusy(shapeNow()));
    QCOMPARE(captions(), captionsFor(Song()));

    extract(QStringLiteral("no address"));
    QVERIFY(!isBusy(shapeNow()));
}

QTEST_MAIN(TestExtraction)
#include "tst_extraction.moc"
