// Writes the demo service's sample content: song pages in the service's markup,
// the pictures they point at, the version file, the video player script, and a
// short melody as WAV for make-demo-content.sh to encode as mp3.
// Usage: sonavex-demo-content ROOT WAVFILE

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtEndian>

#include <cmath>
#include <cstdio>

namespace {

QString g_root;

bool writeFile(const QString &relative, const QByteArray &data)
{
    const QString path = g_root + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writePicture(const QString &relative, const QImage &image)
{
    const QString path = g_root + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool jpeg = path.endsWith(QLatin1String(".jpg"));
    if (!image.save(path, jpeg ? "JPEG" : "PNG", jpeg ? 70 : -1)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A round-faced avatar on a soft background, with the singer's initial.
QImage avatar(int size, const QColor &from, const QColor &to, const QString &initial)
{
    QImage image(size, size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, size, size);
    background.setColorAt(0, from);
    background.setColorAt(1, to);
    p.fillRect(image.rect(), background);
    QRadialGradient glow(size * 0.5, size * 0.42, size * 0.45);
    glow.setColorAt(0, QColor(255, 255, 255, 200));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(glow);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(size * 0.1, size * 0.05, size * 0.8, size * 0.8));
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawEllipse(QRectF(size * 0.3, size * 0.18, size * 0.4, size * 0.4)); // head
    p.drawEllipse(QRectF(size * 0.15, size * 0.6, size * 0.7, size * 0.6)); // shoulders
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(size / 5);
    p.setFont(font);
    p.setPen(to.darker(150));
    p.drawText(QRectF(size * 0.3, size * 0.18, size * 0.4, size * 0.4), Qt::AlignCenter, initial);
    return image;
}

// A stage-like banner: the background the song page puts behind its header.
QImage banner(int width, int height, const QColor &base, const QString &caption)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, base.darker(300));
    sky.setColorAt(1, base);
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        QRadialGradient light(width * (0.1 + 0.2 * i), 0, height * 0.9);
        light.setColorAt(0, QColor(255, 240, 200, 90));
        light.setColorAt(1, QColor(255, 240, 200, 0));
        p.setBrush(light);
        QPainterPath beam;
        beam.moveTo(width * (0.1 + 0.2 * i), 0);
        beam.lineTo(width * (0.02 + 0.2 * i), height);
        beam.lineTo(width * (0.18 + 0.2 * i), height);
        beam.closeSubpath();
        p.drawPath(beam);
    }
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(qMax(10, height / 6));
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(image.rect().adjusted(0, 0, 0, -height / 10), Qt::AlignHCenter | Qt::AlignBottom,
               caption);
    return image;
}

// About 2.5 s of a plucked little tune, mono 16-bit at 22050 Hz.
QByteArray melodyWav()
{
    const int rate = 22050;
    const double notes[] = {523.25, 659.25, 783.99, 659.25, 698.46, 880.00, 783.99, 1046.50};
    const int noteSamples = rate * 5 / 16; // 0.3125 s per note
    QByteArray pcm;
    for (double frequency : notes) {
        for (int i = 0; i < noteSamples; ++i) {
            const double t = double(i) / rate;
            const double envelope = std::exp(-4.0 * t) * std::min(1.0, i / 200.0);
            const double sample = envelope * (0.6 * std::sin(2 * M_PI * frequency * t) +
                                              0.25 * std::sin(4 * M_PI * frequency * t));
            const qint16 value = qint16(std::lround(sample * 20000));
            pcm.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
        }
    }
    auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    return "RIFF" + le32(quint32(36 + pcm.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
           le32(rate) + le32(rate * 2) + le16(2) + le16(16) + "data" + le32(quint32(pcm.size())) +
           pcm;
}

// Non-ASCII as \uXXXX, so the script reads the same in whatever charset the page has.
QByteArray jsEscaped(const QString &text)
{
    QByteArray out;
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    }
    return out;
}

struct Song
{
    QString id;    // the share code after /s/
    QString title; // song name
    QString singer;
    QString fans; // as the page writes it, "有" included
    QString info; // the free-text line under the name
    QString plays, gifts, forwards, comments;
    QString photoElement; // whole element inside the photo block, empty: no block
    QString mp3;          // empty: no audio marker
    QString head;         // header background address, empty: no header style
    bool counts = true;   // gift, forward and comment blocks present
};

QString songPage(const Song &s)
{
    QString page = QStringLiteral(R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="keywords" content="唱吧,手机KTV,K歌,在线K歌,@SONG@,@SINGER@">
<meta name="description" content="@SINGER@在唱吧演唱的@SONG@，快来听听吧。">
<title>@SONG@ - @SINGER@ - 唱吧，最火爆的手机KTV</title>
<link rel="stylesheet" href="http://s.changba.com/static/css/pc/song.css?v=20190715">
<link rel="shortcut icon" href="http://s.changba.com/favicon.ico">
@HEADSTYLE@
</head>
<body>
<div id="header" class="header">
  <div class="wrap clearfix">
    <a class="logo fl" href="http://changba.com/" title="唱吧">唱吧</a>
    <ul class="nav fl">
      <li><a href="http://changba.com/">首页</a></li>
      <li><a href="http://changba.com/now/stars.php">明星</a></li>
      <li><a href="http://changba.com/download.php">下载唱吧</a></li>
    </ul>
    <div class="search fr"><input type="text" placeholder="搜索歌曲、歌手" autocomplete="off"></div>
  </div>
</div>
<div class="pcsong_head">
  <div class="wrap clearfix">
    <div class="pcsong_user fl">
      <div class="pcsong_photos">@PHOTO@</div>
      <div class="pcsong_name">
        <h1 class="pcsong_user_name">@SINGER@</h1>
        <div class="pcsong_title">@FANS@</div>
        <div class="pcsong_title" >@INFO@</div>
      </div>
    </div>
    <div class="pcsong_follow fr"><a href="javascript:;" class="btn_follow">+ 关注</a></div>
  </div>
</div>
<div class="pcsong_main wrap clearfix">
  <div class="pcsong_left fl">
    <h2 class="pcsong_songname">@SONG@</h2>
    <div class="pcsong_player" id="player"><div class="pcsong_play_btn"></div><div class="pcsong_progress"><span style="width:0"></span></div></div>
    <div class="pcsong_counts clearfix">
      <div class="pcsong_listen_icon fl">@PLAYS@</div>
@COUNTS@    </div>
    <div class="pcsong_share">
      <span>分享到：</span>
      <a class="share_weibo" href="javascript:;" title="新浪微博">微博</a>
      <a class="share_qzone" href="javascript:;" title="QQ空间">QQ空间</a>
      <a class="share_wechat" href="javascript:;" title="微信">微信</a>
    </div>
    <div class="pcsong_comments">
      <h3>最新评论</h3>
      <ul>
        <li><span class="c_user">夜空中最亮的星</span><p>声音好温柔，单曲循环中</p></li>
        <li><span class="c_user">路过的猫</span><p>副歌部分太好听了！</p></li>
        <li><span class="c_user">青柠</span><p>求合唱～</p></li>
      </ul>
      <a class="more" href="javascript:;">查看更多评论</a>
    </div>
  </div>
  <div class="pcsong_right fr">
    <div class="pcsong_download">
      <p>下载唱吧，随时随地想唱就唱</p>
      <a href="http://changba.com/download.php" class="btn_download">免费下载</a>
    </div>
    <div class="pcsong_hot">
      <h3>热门作品</h3>
      <ol>
        <li><a href="http://changba.com/s/demo-audio">晴天</a></li>
        <li><a href="http://changba.com/s/demo-video">小幸运</a></li>
        <li><a href="http://changba.com/s/demo-nophoto">后来</a></li>
      </ol>
    </div>
  </div>
</div>
<div id="footer" class="footer">
  <p>Copyright © 唱吧 changba.com 版权所有 · 演示页面，内容为虚构</p>
</div>
<script type="text/javascript">
var songInfo = {
    workid: "@ID@",
    songname: "@SONG@",
    singer: "@SINGER@",@MP3@
    isvideo: @ISVIDEO@
};
(function () {
    var btn = document.querySelector('.pcsong_play_btn');
    if (btn && songInfo.isvideo === 0) {
        btn.onclick = function () { new Audio(songInfo.url || '').play(); };
    }
})();
</script>
</body>
</html>
)");
    const QString counts =
        QStringLiteral("      <div class=\"pcsong_gift_icon fl\">@GIFTS@</div>\n"
                       "      <div class=\"pcsong_forward_icon fl\">@FORWARDS@</div>\n"
                       "      <div class=\"pcsong_comment_icon fl\">@COMMENTS@</div>\n");
    const QString headStyle =
        QStringLiteral("<style type=\"text/css\">\n"
                       ".pcsong_head {background: url( \"@HEAD@\" ) no-repeat center top; "
                       "background-size: cover;}\n</style>");
    page.replace(QLatin1String("@HEADSTYLE@"), s.head.isEmpty() ? QString() : headStyle);
    page.replace(QLatin1String("@COUNTS@"), s.counts ? counts : QString());
    page.replace(QLatin1String("@MP3@"),
                 s.mp3.isEmpty() ? QString()
                                 : QStringLiteral("\n    mp3:\"") + s.mp3 + QStringLiteral("\","));
    if (s.photoElement.isEmpty())
        page.replace(QLatin1String("      <div class=\"pcsong_photos\">@PHOTO@</div>\n"),
                     QLatin1String("      <div class=\"pcsong_avatar\"></div>\n"));
    page.replace(QLatin1String("@PHOTO@"), s.photoElement);
    page.replace(QLatin1String("@HEAD@"), s.head);
    page.replace(QLatin1String("@SONG@"), s.title);
    page.replace(QLatin1String("@SINGER@"), s.singer);
    page.replace(QLatin1String("@FANS@"), s.fans);
    page.replace(QLatin1String("@INFO@"), s.info);
    page.replace(QLatin1String("@PLAYS@"), s.plays);
    page.replace(QLatin1String("@GIFTS@"), s.gifts);
    page.replace(QLatin1String("@FORWARDS@"), s.forwards);
    page.replace(QLatin1String("@COMMENTS@"), s.comments);
    page.replace(QLatin1String("@ID@"), s.id);
    page.replace(QLatin1String("@ISVIDEO@"), s.photoElement.contains(QLatin1String("player"))
                                                 ? QStringLiteral("1")
                                                 : QStringLiteral("0"));
    return page;
}

const char *const kMp3 = "http://lzscuw.changba.com/84263517.mp3";
const char *const kAudioPhoto = "http://aliimg.changba.com/cache/photo/284736105_200_200.jpg";
const char *const kAudioHead = "http://aliimg.changba.com/cache/photo/head/100/284736105.jpg";
const char *const kVideoHead = "http://qiniuuserphoto.changba.com/head/100/90125533_100.jpg";
const char *const kPlayer =
    "http://changba.com/static/mvplayer.js?workid=90125533&amp;width=640&amp;height=360";

QString hostPath(const char *url)
{
    return QString::fromLatin1(url).mid(int(qstrlen("http://")));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: sonavex-demo-content ROOT WAVFILE\n");
        return 2;
    }
    g_root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    bool ok = true;

    ok &= writeFile(QStringLiteral("soft.vantre.example/brelvane/sonav/jc/jc.txt"), "V1.0");
    const QByteArray forum =
        QStringLiteral("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta "
                       "charset=\"utf-8\"><title>软件论坛（演示）</title></head>"
                       "<body><h1>软件论坛（演示）</h1><p>演示服务的占位页面。</p></body>"
                       "</html>\n")
            .toUtf8();
    ok &= writeFile(QStringLiteral("bbs.vantre.example/index.html"), forum);
    ok &= writeFile(QStringLiteral("www.vantre.example/index.html"), forum);

    Song audio;
    audio.id = QStringLiteral("84263517");
    audio.title = QStringLiteral("晴天");
    audio.singer = QStringLiteral("小鹿同学");
    audio.fans = QStringLiteral("有 3562");
    audio.info = QStringLiteral("广东 深圳 · 金牌歌手 · 等级 Lv.12");
    audio.plays = QStringLiteral("12846");
    audio.gifts = QStringLiteral("327");
    audio.forwards = QStringLiteral("58");
    audio.comments = QStringLiteral("142");
    audio.photoElement = QStringLiteral("<img src=\"") + QLatin1String(kAudioPhoto) +
                         QStringLiteral("\" alt=\"小鹿同学\" width=\"100\" height=\"100\" />");
    audio.mp3 = QLatin1String(kMp3);
    audio.head = QLatin1String(kAudioHead);
    ok &= writeFile(QStringLiteral("changba.com/s/demo-audio"), songPage(audio).toUtf8());

    Song video;
    video.id = QStringLiteral("90125533");
    video.title = QStringLiteral("小幸运");
    video.singer = QStringLiteral("阿杰Jay");
    video.fans = QStringLiteral("有 20417");
    video.info = QStringLiteral("北京 朝阳 · 唱吧麦霸 · 等级 Lv.18");
    video.plays = QStringLiteral("98310");
    video.gifts = QStringLiteral("2045");
    video.forwards = QStringLiteral("611");
    video.comments = QStringLiteral("1288");
    video.photoElement =
        QStringLiteral("<embed src=\"") + QLatin1String(kPlayer) +
        QStringLiteral("\" type=\"text/javascript\" width=\"640\" height=\"360\" />");
    video.head = QLatin1String(kVideoHead);
    ok &= writeFile(QStringLiteral("changba.com/s/demo-video"), songPage(video).toUtf8());

    Song noPhoto = audio;
    noPhoto.id = QStringLiteral("61730284");
    noPhoto.title = QStringLiteral("后来");
    noPhoto.singer = QStringLiteral("青柠");
    noPhoto.fans = QStringLiteral("有 86");
    noPhoto.info = QStringLiteral("浙江 杭州 · 新人");
    noPhoto.plays = QStringLiteral("403");
    noPhoto.gifts = QStringLiteral("5");
    noPhoto.forwards = QStringLiteral("1");
    noPhoto.comments = QStringLiteral("9");
    // The closing quote runs straight into "/>": no space, so no photo address.
    noPhoto.photoElement = QStringLiteral(
        "<img src=\"http://aliimg.changba.com/cache/photo/193847562_200_200.jpg\"/>");
    ok &= writeFile(QStringLiteral("changba.com/s/demo-nophoto"), songPage(noPhoto).toUtf8());

    Song partial;
    partial.id = QStringLiteral("70011852");
    partial.title = QStringLiteral("平凡之路");
    partial.singer = QStringLiteral("旅人");
    partial.fans = QStringLiteral("有 712");
    partial.info = QStringLiteral("四川 成都");
    partial.plays = QStringLiteral("2210");
    partial.counts = false; // no gift, forward or comment blocks
    ok &= writeFile(QStringLiteral("changba.com/s/demo-partial"), songPage(partial).toUtf8());

    ok &=
        writePicture(hostPath(kAudioPhoto), avatar(200, QColor(0xff, 0xb3, 0xa7),
                                                   QColor(0xe0, 0x4f, 0x5f), QStringLiteral("鹿")));
    ok &= writePicture(hostPath(kAudioHead),
                       banner(100, 100, QColor(0x6a, 0x3d, 0x9a), QStringLiteral("晴天")));
    ok &= writePicture(hostPath(kVideoHead),
                       banner(100, 100, QColor(0x1f, 0x6f, 0x8b), QStringLiteral("小幸运")));
    QString head640 = hostPath(kVideoHead);
    head640.replace(QLatin1String("100"), QLatin1String("640"));
    ok &= writePicture(
        head640, banner(640, 320, QColor(0x1f, 0x6f, 0x8b), QStringLiteral("小幸运 · 阿杰Jay")));

    const QByteArray script =
        "// Demo stand-in for the song service's video player.\n"
        "(function () {\n"
        "    var poster = '" +
        QByteArray(kVideoHead).replace("100", "640") +
        "';\n"
        "    document.write('<div style=\"width:640px;height:360px;background:#123 url(' + poster "
        "+\n"
        "        ') center/cover;color:#fff;display:flex;align-items:flex-end;'\n"
        "        + 'justify-content:center;font:16px sans-serif\">'\n"
        "        + '<p style=\"background:rgba(0,0,0,.5);padding:6px 12px\">" +
        jsEscaped(QStringLiteral("唱吧演示播放器：演示服务没有视频，下面播放一段音频")) +
        "</p></div>'\n"
        "        + '<audio controls src=\"" +
        QByteArray(kMp3) +
        "\"></audio>');\n"
        "})();\n";
    ok &= writeFile(QStringLiteral("changba.com/static/mvplayer.js"), script);

    QFile wav(QString::fromLocal8Bit(argv[2]));
    ok &= wav.open(QIODevice::WriteOnly) && wav.write(melodyWav()) > 0;
    return ok ? 0 : 1;
}
