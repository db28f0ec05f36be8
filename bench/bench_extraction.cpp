// The extraction's own cost in the real window: a whole Command1_Click on a
// ~100 KiB song page from a loopback server, next to a bare GetBody of the same
// page and a bare LoadPicture of the singer's photo. The differences are what
// parsing, the labels and the picture add to the fetch. Also the CPU that a
// pending fetch costs the window while a server takes 2 s to answer.

#include "Form1.h"
#include "LocalHttpServer.h"
#include "PageFetch.h"
#include "PictureLoader.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int kSlowMs = 2000;

const QString kAudioAddress = QStringLiteral("http://changba.com/s/bench-audio");
const QString kNoPhotoAddress = QStringLiteral("http://changba.com/s/bench-nophoto");
const QString kSlowAddress = QStringLiteral("http://changba.com/s/bench-slow");
const QString kPhotoAddress = QStringLiteral("http://aliimg.changba.com/u/bench_200_200.jpg");
const QString kUserName = QStringLiteral("夜空中最亮的星");

// Mean wall time per iteration, in milliseconds, by benchmark name.
std::map<std::string, double> g_meanMs;

// Shaped like a real song page: a long head, the values, and a long comment list.
QByteArray songPage(bool withPhoto)
{
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>平凡之路 - ") +
        kUserName +
        QStringLiteral(" - 唱吧,最时尚的手机KTV</title>\n"
                       "<meta name=\"keywords\" content=\"唱吧,K歌,手机KTV,平凡之路\">\n"
                       "<link rel=\"stylesheet\" href=\"/static/css/pc-song-2015.css\">\n"
                       "<style type=\"text/css\">\n"
                       ".pcsong_head {background: url( \"http://aliimg.changba.com/cache/photo/"
                       "head/100/284736105.jpg\") no-repeat center top;}\n");
    for (int i = 0; i < 60; ++i)
        html += QStringLiteral(".pc_rule_%1 {margin: %1px 0 0 %1px; color: #6%1; font-size: "
                               "12px; line-height: 1.5;}\n")
                    .arg(i);
    html += QStringLiteral("</style>\n</head>\n<body>\n<div class=\"pcsong_head\">\n");
    html += QStringLiteral("  <div class=\"pcsong_photos\"><img class=\"avatar\" src=\"") +
            kPhotoAddress +
            (withPhoto ? QStringLiteral("\" width=\"120\" height=\"120\" />")
                       : QStringLiteral("\"/>")) +
            QStringLiteral("</div>\n  <div class=\"pcsong_user\">\n"
                           "    <div class=\"pcsong_title\">有 12894</div>\n"
                           "    <div class=\"pcsong_title\" >北京 朝阳 唱歌是一种生活态度</div>\n"
                           "  </div>\n</div>\n<div class=\"pcsong_info clearfix\">\n"
                           "  <div class=\"pcsong_listen_icon fl\">1,203,447</div>\n"
                           "  <div class=\"pcsong_gift_icon fl\">3356</div>\n"
                           "  <div class=\"pcsong_forward_icon fl\">812</div>\n"
                           "  <div class=\"pcsong_comment_icon fl\">4471</div>\n</div>\n"
                           "<ul class=\"comment-list\">\n");
    int n = 0;
    while (html.toUtf8().size() < 100 * 1024) {
        for (int i = 0; i < 50; ++i, ++n)
            html +=
                QStringLiteral("  <li class=\"comment-item\"><a class=\"c-user\" href=\"/u/%1\">"
                               "听众%1号</a><span class=\"c-time\">2015-06-%2 20:%3</span>"
                               "<p>唱得真好听,再来一首! 已经循环了%1遍 - 支持</p></li>\n")
                    .arg(n)
                    .arg(1 + n % 28)
                    .arg(10 + n % 50);
    }
    html += QStringLiteral("</ul>\n<script type=\"text/javascript\">\n"
                           "var songInfo = {id: 84263517, mp3:\"http://lzscuw.changba.com/"
                           "84263517.mp3\", duration: 301};\n</script>\n</body>\n</html>\n");
    return html.toUtf8();
}

QByteArray photoBytes()
{
    QImage image(200, 200, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x, y, (x * y) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::unique_ptr<Form1> readyWindow()
{
    auto form = std::make_unique<Form1>();
    form->findChild<QTimer *>(QStringLiteral("Timer2"))->stop();
    form->findChild<QWidget *>(QStringLiteral("Text1"))->setEnabled(true);
    form->findChild<QWidget *>(QStringLiteral("Command1"))->setEnabled(true);
    form->show();
    return form;
}

// Google Benchmark may call a function more than once; the last, longest run stays.
void keepMean(const std::string &key, benchmark::State &state, double totalMs)
{
    g_meanMs[key] = totalMs / double(state.iterations());
}

void BM_GetBody(benchmark::State &state)
{
    PageFetch fetch;
    fetch.GetBody(kAudioAddress); // the first connection is not what is measured
    double totalMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<PageText> body = fetch.GetBody(kAudioAddress);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!body || body->isEmpty()) {
            state.SkipWithError("the page did not arrive");
            return;
        }
        state.SetIterationTime(ms / 1e3);
        totalMs += ms;
    }
    keepMean("getbody", state, totalMs);
}

void BM_LoadPicture(benchmark::State &state)
{
    LoadPicture(kPhotoAddress);
    double totalMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const PictureFiles::Result picture = LoadPicture(kPhotoAddress);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (picture.picture.isNull()) {
            state.SkipWithError("the photo did not load");
            return;
        }
        state.SetIterationTime(ms / 1e3);
        totalMs += ms;
    }
    keepMean("picture", state, totalMs);
}

void clickBench(benchmark::State &state, const QString &address, const std::string &key)
{
    std::unique_ptr<Form1> form = readyWindow();
    auto *label1 = form->findChild<QLabel *>(QStringLiteral("Label1"));
    form->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(address);
    form->Command1_Click();
    const QString expected = QStringLiteral("用户名：") + kUserName;
    double totalMs = 0;
    for (auto _ : state) {
        label1->setText(QString());
        QElapsedTimer timer;
        timer.start();
        form->Command1_Click();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (label1->text() != expected) {
            state.SkipWithError("the labels were not written");
            return;
        }
        state.SetIterationTime(ms / 1e3);
        totalMs += ms;
    }
    keepMean(key, state, totalMs);
}

void BM_ClickAudioPage(benchmark::State &state)
{
    clickBench(state, kAudioAddress, "click-audio");
}

void BM_ClickNoPhotoPage(benchmark::State &state)
{
    clickBench(state, kNoPhotoAddress, "click-nophoto");
}

void BM_PendingFetchInWindow(benchmark::State &state)
{
    std::unique_ptr<Form1> form = readyWindow();
    form->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(kSlowAddress);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double before = processCpuSeconds();
        form->Command1_Click();
        cpu += processCpuSeconds() - before;
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        wall += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["cpu_percent_of_a_core"] = benchmark::Counter(100.0 * cpu / wall);
    g_meanMs["pending_cpu_percent"] = 100.0 * cpu / wall;
}

BENCHMARK(BM_GetBody)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPicture)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClickNoPhotoPage)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClickAudioPage)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PendingFetchInWindow)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

double meanOf(const std::string &key)
{
    const auto found = g_meanMs.find(key);
    return found == g_meanMs.end() ? -1 : found->second;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    LocalHttpServer server;
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    // Every host is the local server, as in the tests; set before any network object.
    const QByteArray proxy = server.baseUrl().toLatin1();
    qputenv("http_proxy", proxy);
    qputenv("HTTP_PROXY", proxy);
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    const QByteArray audio = songPage(true);
    server.route(QStringLiteral("changba.com/s/bench-audio"), HttpResponse::text(audio));
    server.route(QStringLiteral("changba.com/s/bench-nophoto"),
                 HttpResponse::text(songPage(false)));
    HttpResponse slow = HttpResponse::text(songPage(false));
    slow.delayMs = kSlowMs;
    server.route(QStringLiteral("changba.com/s/bench-slow"), slow);
    server.route(QStringLiteral("aliimg.changba.com/u/bench_200_200.jpg"),
                 HttpResponse::text(photoBytes(), "image/jpeg"));
    std::printf("song page: %lld bytes\n", static_cast<long long>(audio.size()));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double getBody = meanOf("getbody");
    const double picture = meanOf("picture");
    const double noPhoto = meanOf("click-nophoto");
    const double withPhoto = meanOf("click-audio");
    if (getBody >= 0 && noPhoto >= 0)
        std::printf("click to labels, minus the fetch (no-photo page): %.3f ms\n",
                    noPhoto - getBody);
    if (getBody >= 0 && picture >= 0 && withPhoto >= 0)
        std::printf("audio page click, minus fetch and photo load: %.3f ms "
                    "(with the photo load: %.3f ms)\n",
                    withPhoto - getBody - picture, withPhoto - getBody);
    if (g_meanMs.count("pending_cpu_percent"))
        std::printf("pending fetch in the window: %.2f %% of a core\n",
                    g_meanMs["pending_cpu_percent"]);
    return 0;
}
