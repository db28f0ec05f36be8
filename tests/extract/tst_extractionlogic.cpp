// The extraction command's logic without widgets: the address check, the
// captions and the run from a fetched page (or none) to the media decision.

#include "Extraction.h"
#include "Hosts.h"

#include <QFile>
#include <QTest>

using namespace Extraction;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Extraction::AddressCheck)
Q_DECLARE_METATYPE(Extraction::End)
Q_DECLARE_METATYPE(SongValues)

namespace {

QString fixture(const QString &name)
{
    QFile f(QStringLiteral(SONAVEX_FIXTURES_DIR "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return QString::fromUtf8(f.readAll());
}

// Every field, so "nothing else changed" can be checked in one comparison.
QStringList allFields(const SongPage &s)
{
    return {s.strPage,          s.strVideoUrl,    s.strTitleUser,     s.strFansPiece,
            s.varFansCut,       s.strInfoPiece,   s.varInfoCut,       s.strTitleSong,
            s.strPlaysPiece,    s.varPlaysCut,    s.strGiftsPiece,    s.varGiftsCut,
            s.strForwardsPiece, s.varForwardsCut, s.strCommentsPiece, s.varCommentsCut,
            s.strPhotosPiece,   s.varPhotoTag,    s.varPhotoSrc,      s.varMp3Piece,
            s.varMp3Cut,        s.strMp3Url,      s.strHeadPiece,     s.varHeadUrl,
            s.varHeadUrl640,    s.strVideoHtml};
}

// What the window does after a video outcome, once its notice is closed.
void finishLikeWindow(SongPage &song, const Outcome &out)
{
    if (out.end == End::Video)
        song.strVideoUrl = out.media.videoUrl;
}

const QString kPlayer = QStringLiteral("http://video.songs.example/player.swf?vid=5521&auto=0");
const QString kAudioMp3 = QStringLiteral("http://mp3.songs.example/userdata/88123.mp3?t=1&amp;v=2");

} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT

private slots:
    void addressCheck_data();
    void addressCheck();
    void captions_data();
    void captions();
    void noPageKeepsEverything_data();
    void noPageKeepsEverything();
    void outcomes_data();
    void outcomes();
};

void TestExtraction::addressCheck_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<AddressCheck>("expected");

    const QString prefix = Hosts::sharePrefix();
    QTest::newRow("no characters") << QString() << AddressCheck::Empty;
    QTest::newRow("spaces only are not empty but wrong") << "   " << AddressCheck::MissingPrefix;
    QTest::newRow("capital scheme is wrong")
        << QString(prefix).replace(QStringLiteral("http"), QStringLiteral("HTTP")) +
               QStringLiteral("x1")
        << AddressCheck::MissingPrefix;
    QTest::newRow("host without the /s/ path is wrong")
        << QString(prefix).replace(QStringLiteral("/s/"), QStringLiteral("/u/")) +
               QStringLiteral("x1")
        << AddressCheck::MissingPrefix;
    QTest::newRow("bare prefix passes") << prefix << AddressCheck::Ok;
    QTest::newRow("words before the address pass")
        << QStringLiteral("快来听我唱的歌 ") + prefix + QStringLiteral("x1 （来自唱吧）")
        << AddressCheck::Ok;
    QTest::newRow("leading space passes untrimmed")
        << QStringLiteral(" ") + prefix + QStringLiteral("x1") << AddressCheck::Ok;
}

void TestExtraction::addressCheck()
{
    QFETCH(QString, text);
    QFETCH(AddressCheck, expected);
    QCOMPARE(checkAddress(text), expected);
}

void TestExtraction::captions_data()
{
    QTest::addColumn<SongValues>("values");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty values leave prefix and unit side by side")
        << SongValues{} << QStringList{u"用户名："_s,     u"粉丝数："_s,     u""_s,
                                       u"演唱歌曲："_s,   u"播放次数：次"_s, u"收到礼物：个"_s,
                                       u"转发次数：次"_s, u"评论数量：次"_s};
    SongValues v;
    v.userName = QStringLiteral("七月");
    v.fanCount = QStringLiteral("301");
    v.otherInfo = QStringLiteral("这个人很懒");
    v.songName = QStringLiteral("小幸运");
    v.playCount = QStringLiteral("\n4410");
    v.giftCount = QStringLiteral("0");
    v.forwardCount = QStringLiteral("3");
    v.commentCount = QStringLiteral("15");
    v.photoUrl = QStringLiteral("http://i/1.jpg");
    QTest::newRow("other information has no prefix; line break kept")
        << v << QStringList{u"用户名：七月"_s,     u"粉丝数：301"_s,        u"这个人很懒"_s,
                            u"演唱歌曲：小幸运"_s, u"播放次数：\n4410次"_s, u"收到礼物：0个"_s,
                            u"转发次数：3次"_s,    u"评论数量：15次"_s};
}

void TestExtraction::captions()
{
    QFETCH(SongValues, values);
    QFETCH(QStringList, expected);

    const Captions c = captionsFor(values);
    const QStringList got{c.label1, c.label4, c.label10, c.label2,
                          c.label5, c.label6, c.label7,  c.label9};
    QCOMPARE(got, expected);
    for (const QString &caption : got)
        QVERIFY2(!caption.contains(u':'), "the colon must be the full-width one");
}

void TestExtraction::noPageKeepsEverything_data()
{
    QTest::addColumn<bool>("failed");
    QTest::newRow("failed fetch") << true;
    QTest::newRow("empty page text") << false;
}

// After a video extraction, a fetch without a page changes only strPage.
void TestExtraction::noPageKeepsEverything()
{
    QFETCH(bool, failed);

    SongPage song;
    finishLikeWindow(song, extractFromPage(song, fixture(QStringLiteral("audio-song.html"))));
    const Outcome video = extractFromPage(song, fixture(QStringLiteral("video-song.html")));
    finishLikeWindow(song, video);
    QCOMPARE(song.strVideoUrl, kPlayer);
    song.strVideoHtml = QStringLiteral("<embed src=\"x\">");

    QStringList before = allFields(song);
    const Outcome none =
        extractFromPage(song, failed ? std::nullopt : std::optional<QString>(QString()));

    QCOMPARE(none.end, End::NoPage);
    QVERIFY(song.strPage.isEmpty());
    before[0].clear();
    QCOMPARE(allFields(song), before);
}

void TestExtraction::outcomes_data()
{
    QTest::addColumn<QStringList>("fixtures");
    QTest::addColumn<End>("end");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("videoUrl");
    QTest::addColumn<QString>("strMp3Url");

    QTest::newRow("audio song: photo, no video") << QStringList{u"audio-song.html"_s} << End::Audio
                                                 << "http://img.songs.example/u/100/7731.jpg"
                                                 << "" << kAudioMp3;
    QTest::newRow("video song: header picture with 640, player address unescaped")
        << QStringList{u"video-song.html"_s} << End::Video
        << "http://img.songs.example/bg/10640/cover_640x640.jpg" << kPlayer << "";
    QTest::newRow("video after audio keeps the audio address")
        << QStringList{u"audio-song.html"_s, u"video-song.html"_s} << End::Video
        << "http://img.songs.example/bg/10640/cover_640x640.jpg" << kPlayer << kAudioMp3;
    QTest::newRow("no usable photo after audio: default picture")
        << QStringList{u"audio-song.html"_s, u"not-a-song.html"_s} << End::NoPhoto << ""
        << "" << kAudioMp3;
    QTest::newRow("no usable photo after video: video address cleared")
        << QStringList{u"video-song.html"_s, u"not-a-song.html"_s} << End::NoPhoto << ""
        << ""
        << "";
}

void TestExtraction::outcomes()
{
    QFETCH(QStringList, fixtures);
    QFETCH(End, end);
    QFETCH(QString, picture);
    QFETCH(QString, videoUrl);
    QFETCH(QString, strMp3Url);

    SongPage song;
    Outcome out;
    for (const QString &name : fixtures) {
        const QString page = fixture(name);
        out = extractFromPage(song, page);
        QCOMPARE(song.strPage, page);
        // Stored by the window only after it has shown the notice.
        QVERIFY(song.strVideoUrl.isEmpty());
        finishLikeWindow(song, out);
    }
    QCOMPARE(out.end, end);
    QCOMPARE(out.media.pictureUrl, picture);
    QCOMPARE(song.strVideoUrl, videoUrl);
    QCOMPARE(song.strMp3Url, strMp3Url);
}

QTEST_GUILESS_MAIN(TestExtraction)
#include "tst_extractionlogic.moc"
