// The song page parser on small pages built from named parts: one part is
// replaced or dropped per row, so each row says which fault it catches.

#include "SongPage.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A song page in the shape of the real ones; every part is one marker block.
struct PageParts
{
    QString title = u"<title>因为爱情 - Heightened - 唱吧</title>"_s;
    QString head = u"<style>.pcsong_head {background: url( \"http://img.example/bg/head.jpg\");}"
                   "</style>"_s;
    QString photos = u"<div class=\"pcsong_photos\"><img src=\"http://img.example/u/7.jpg\" "
                     "alt=\"\" /></div>"_s;
    QString fans = u"<div class=\"pcsong_title\">有2718</div>"_s;
    QString info = u"<div class=\"pcsong_title\" >广东 深圳</div>"_s;
    QString plays = u"<div class=\"pcsong_listen_icon fl\">1200</div>"_s;
    QString gifts = u"<div class=\"pcsong_gift_icon fl\">56</div>"_s;
    QString forwards = u"<div class=\"pcsong_forward_icon fl\">7</div>"_s;
    QString comments = u"<div class=\"pcsong_comment_icon fl\">89</div>"_s;
    QString mp3 = u"<script>var s = {mp3:\"http://mp3.example/9.mp3\"};</script>"_s;

    QString page() const
    {
        // The "-" in the markup after the title is there on purpose: a name that
        // runs on past the title would reach it.
        return u"<html><head><meta charset=\"utf-8\">"_s + title + head +
               u"</head><body class=\"song-page\">"_s + photos + fans + info +
               u"<span data-x=\"a-b\">2015-06-01</span>"_s + plays + gifts + forwards + comments +
               mp3 + u"</body></html>"_s;
    }
};

const QString kDefaultPage = PageParts().page();
const QString kDefaultPhoto = u"http://img.example/u/7.jpg"_s;

QString pageWith(QString PageParts::*part, const QString &text)
{
    PageParts p;
    p.*part = text;
    return p.page();
}

QString block(const QString &cls, const QString &inner)
{
    return u"<div class=\""_s + cls + u"\">"_s + inner + u"</div>"_s;
}

QString photoBlock(const QString &element)
{
    return u"<div class=\"pcsong_photos\">"_s + element + u"</div>"_s;
}

QString headStyle(const QString &address)
{
    return u"<style>.pcsong_head {background: url( \""_s + address + u"\");}</style>"_s;
}

void row(const char *name, const QString &page, const char *field, const QString &expected)
{
    QTest::newRow(name) << page << QString::fromLatin1(field) << expected;
}

void row(const char *name, const QStringList &pages, const char *field, const QString &expected)
{
    QTest::newRow(name) << pages << QString::fromLatin1(field) << expected;
}

QString kindName(MediaKind k)
{
    switch (k) {
    case MediaKind::NoPhoto:
        return u"NoPhoto"_s;
    case MediaKind::Video:
        return u"Video"_s;
    case MediaKind::Audio:
        return u"Audio"_s;
    }
    return QString();
}

// Everything a row may check, by name: the values, the kept fields, the decision.
QString fieldOf(const QString &name, const SongValues &v, const SongPage &s)
{
    const MediaDecision d = DecideMedia(v.photoUrl, s.varHeadUrl640);
    const QList<QPair<QString, QString>> all = {
        {u"userName"_s, v.userName},         {u"fanCount"_s, v.fanCount},
        {u"otherInfo"_s, v.otherInfo},       {u"songName"_s, v.songName},
        {u"playCount"_s, v.playCount},       {u"giftCount"_s, v.giftCount},
        {u"forwardCount"_s, v.forwardCount}, {u"commentCount"_s, v.commentCount},
        {u"photoUrl"_s, v.photoUrl},         {u"strMp3Url"_s, s.strMp3Url},
        {u"varHeadUrl"_s, s.varHeadUrl},     {u"varHeadUrl640"_s, s.varHeadUrl640},
        {u"kind"_s, kindName(d.kind)},       {u"picture"_s, d.pictureUrl},
    };
    for (const auto &f : all) {
        if (f.first == name)
            return f.second;
    }
    qFatal("unknown field %s", qPrintable(name));
}

} // namespace

class TestSongPage : public QObject
{
    Q_OBJECT

private slots:
    void onePage_data();
    void onePage();
    void malformed_data();
    void malformed() { onePage(); }
    void sequence_data();
    void sequence();
    void piecesKeptAcrossPages();
    void keptPiecesStayShortOnLongPages();
    void mediaDecision_data();
    void mediaDecision();
};

void TestSongPage::onePage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    row("song name before first dash, spaces trimmed", kDefaultPage, "songName", u"因为爱情"_s);
    row("user name between the dashes, spaces trimmed", kDefaultPage, "userName", u"Heightened"_s);
    row("fan count drops 有", kDefaultPage, "fanCount", u"2718"_s);
    row("other information", kDefaultPage, "otherInfo", u"广东 深圳"_s);
    row("play count", kDefaultPage, "playCount", u"1200"_s);
    row("gift count", kDefaultPage, "giftCount", u"56"_s);
    row("forward count", kDefaultPage, "forwardCount", u"7"_s);
    row("comment count", kDefaultPage, "commentCount", u"89"_s);
    row("photo address", kDefaultPage, "photoUrl", kDefaultPhoto);
    row("audio address", kDefaultPage, "strMp3Url", u"http://mp3.example/9.mp3"_s);
    row("header address", kDefaultPage, "varHeadUrl640", u"http://img.example/bg/head.jpg"_s);

    const QString realTitle = pageWith(
        &PageParts::title, u"<title>因为爱情 - Heightened  唱吧,最时尚的手机KTV</title>"_s);
    row("one dash: user name is the rest of the title, not the markup", realTitle, "userName",
        u"Heightened  唱吧,最时尚的手机KTV"_s);
    row("one dash: song name unaffected", realTitle, "songName", u"因为爱情"_s);
    const QString noDash = pageWith(&PageParts::title, u"<title>因为爱情</title>"_s);
    row("no dash in title: song name empty, not cut from markup", noDash, "songName", QString());
    row("no dash in title: user name empty", noDash, "userName", QString());
    row("title never closed: user name runs to the next dash",
        pageWith(&PageParts::title, u"<title>歌 - 人"_s), "userName",
        u"人<style>.pcsong_head {background: url( \"http://img.example/bg/head.jpg\");}</style>"
        "</head><body class=\"song"_s);
    row("three dashes: user name stops at the second",
        pageWith(&PageParts::title, u"<title>A-B-C-D</title>"_s), "userName", u"B"_s);
    row("full-width spaces trimmed from the song name",
        pageWith(&PageParts::title, u"<title>\u3000因为爱情\u3000 - X -</title>"_s), "songName",
        u"因为爱情"_s);
    row("tab before the song name is not trimmed",
        pageWith(&PageParts::title, u"<title>\t歌 - X -</title>"_s), "songName", u"\t歌"_s);
    row("second title marker ends the first piece",
        pageWith(&PageParts::title, u"<title>歌<title> - X -</title>"_s), "songName", QString());

    row("every 有 dropped, also inside the number",
        pageWith(&PageParts::fans, block(u"pcsong_title"_s, u"2有7有18"_s)), "fanCount", u"2718"_s);
    row("fans inner element keeps its text without <",
        pageWith(&PageParts::fans, block(u"pcsong_title"_s, u"有<b>301</b>"_s)), "fanCount",
        u"b>301/b>"_s);
    row("line break before a count is kept",
        pageWith(&PageParts::plays, block(u"pcsong_listen_icon fl"_s, u"\n 4410 "_s)), "playCount",
        u"\n 4410"_s);
    row("count inner element keeps tag names and >",
        pageWith(&PageParts::gifts, block(u"pcsong_gift_icon fl"_s, u"<i class=\"n\">5</i>"_s)),
        "giftCount", u"i class=\"n\">5/i>"_s);
    row("full-width and ASCII spaces trimmed from other information",
        pageWith(&PageParts::info,
                 u"<div class=\"pcsong_title\" >\u3000 广东　深圳 \u3000</div>"_s),
        "otherInfo", u"广东　深圳"_s);
    row("second count marker ends the piece before any </div>",
        pageWith(&PageParts::comments, u"<p class=\"pcsong_comment_icon fl\">12 "
                                       "<p class=\"pcsong_comment_icon fl\">34</div>"_s),
        "commentCount", QString());
    PageParts playsLast;
    playsLast.comments += playsLast.plays;
    playsLast.plays.clear();
    row("markers found wherever they stand: plays after comments", playsLast.page(), "playCount",
        u"1200"_s);

    row("photo address among other attributes",
        pageWith(
            &PageParts::photos,
            photoBlock(u"<img class=\"a b\" src=\"http://img.example/u/8.jpg\" alt=\"x y\" />"_s)),
        "photoUrl", u"http://img.example/u/8.jpg"_s);
    row("no space before /> gives no photo",
        pageWith(&PageParts::photos, photoBlock(u"<img src=\"http://x/1.jpg\"/>"_s)), "kind",
        u"NoPhoto"_s);
    row("audio address with &amp; kept as written",
        pageWith(&PageParts::mp3, u"mp3:\"http://m/1.mp3?a=1&amp;b=2\""_s), "strMp3Url",
        u"http://m/1.mp3?a=1&amp;b=2"_s);
    row("audio address trimmed", pageWith(&PageParts::mp3, u"mp3:\" http://m/1.mp3 \""_s),
        "strMp3Url", u"http://m/1.mp3"_s);
    row("header address not trimmed", pageWith(&PageParts::head, headStyle(u" http://h/1.jpg"_s)),
        "varHeadUrl", u" http://h/1.jpg"_s);
    row("100 becomes 640 inside digit runs",
        pageWith(&PageParts::head, headStyle(u"http://h/100/1100/10100/1000/100100.jpg"_s)),
        "varHeadUrl640", u"http://h/640/1640/10640/6400/640640.jpg"_s);
}

void TestSongPage::onePage()
{
    QFETCH(QString, page);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    SongPage song;
    song.strPage = page;
    const SongValues v = ParseSongPage(song);
    QCOMPARE(fieldOf(field, v, song), expected);
}

// Pages with a marker missing or cut short, parsed on a fresh song state: the
// kept fields are empty, so a failed step shows as an empty value.
void TestSongPage::malformed_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    const QString none;
    row("title marker in capitals", pageWith(&PageParts::title, u"<TITLE>A - B -</TITLE>"_s),
        "songName", none);
    row("fans marker without quote", pageWith(&PageParts::fans, u"pcsong_title>9</div>"_s),
        "fanCount", none);
    row("no </div> after the fans marker",
        pageWith(&PageParts::fans, u"<p class=\"pcsong_title\">9</p>"_s)
            .replace(u"</div>"_s, u"</p>"_s),
        "fanCount", none);
    row("plays marker with different case",
        pageWith(&PageParts::plays, block(u"pcsong_Listen_icon fl"_s, u"1"_s)), "playCount", none);
    row("other information marker absent", pageWith(&PageParts::info, none), "otherInfo", none);
    row("photo element without />",
        pageWith(&PageParts::photos, photoBlock(u"<img src=\"http://x/1.jpg\" >"_s)), "photoUrl",
        none);
    row("photo src in single quotes",
        pageWith(&PageParts::photos, photoBlock(u"<img src='http://x/1.jpg' />"_s)), "photoUrl",
        none);
    row("photo block marker absent", pageWith(&PageParts::photos, none), "kind", u"NoPhoto"_s);
    row("audio marker with a space before the quote",
        pageWith(&PageParts::mp3, u"mp3: \"http://m/1.mp3\""_s), "strMp3Url", none);
    row("audio address never closed", pageWith(&PageParts::mp3, u"mp3:\"http://m/1.mp3"_s),
        "strMp3Url", none);
    row("header marker without the space after url(",
        pageWith(&PageParts::head, u".pcsong_head {background: url(\"http://h/100.jpg\");}"_s),
        "varHeadUrl640", none);
    row("header address never closed",
        u"<style>.pcsong_head {background: url( \"http://h/1.jpg);}</style>"_s, "varHeadUrl640",
        none);
    row("page truncated inside the title", u"<html><head><title>歌 "_s, "userName", none);
    row("page truncated right after a marker", u"<div class=\"pcsong_gift_icon fl\">"_s,
        "giftCount", none);
}

// Several pages in a row on one song state; the field is read after the last.
void TestSongPage::sequence_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    const QString &first = kDefaultPage;
    const QString gifts9 = pageWith(&PageParts::gifts, block(u"pcsong_gift_icon fl"_s, u"9"_s));
    const QString noGifts = pageWith(&PageParts::gifts, QString());
    const QString noMp3 = pageWith(&PageParts::mp3, QString());
    const QString noTitle = pageWith(&PageParts::title, QString());
    const QString video =
        pageWith(&PageParts::photos,
                 photoBlock(u"<embed src=\"http://v.example/player.swf?a=1&amp;b=2\" />"_s));
    PageParts otherHead;
    otherHead.photos.clear();
    otherHead.head = headStyle(u"http://h/b100.jpg"_s);
    const QString otherHeadNoPhoto = otherHead.page();

    row("missing gifts marker repeats the earlier count", QStringList{first, noGifts}, "giftCount",
        u"56"_s);
    row("missing in second and third page repeats the first", QStringList{first, noGifts, noGifts},
        "giftCount", u"56"_s);
    row("marker back on the third page wins", QStringList{first, noGifts, gifts9}, "giftCount",
        u"9"_s);
    row("missing audio marker keeps the earlier audio address", QStringList{first, noMp3},
        "strMp3Url", u"http://mp3.example/9.mp3"_s);
    row("first page without audio leaves it empty", QStringList{noMp3}, "strMp3Url", QString());
    row("audio marker at the very end gives an empty piece, not the earlier one",
        QStringList{first, noMp3 + u"mp3:\""_s}, "strMp3Url", QString());
    row("missing </div> after a present marker empties, not repeats",
        QStringList{first,
                    pageWith(&PageParts::comments, u"<p class=\"pcsong_comment_icon fl\">3</p>"_s)
                        .replace(u"</div>"_s, u"</p>"_s)},
        "commentCount", QString());
    row("missing title repeats the user name", QStringList{first, noTitle}, "userName",
        u"Heightened"_s);
    row("missing title repeats the song name", QStringList{first, noTitle}, "songName",
        u"因为爱情"_s);
    row("missing photo block repeats the video kind", QStringList{video, otherHeadNoPhoto}, "kind",
        u"Video"_s);
    row("missing photo block: video picture from this page's header",
        QStringList{video, otherHeadNoPhoto}, "picture", u"http://h/b640.jpg"_s);
    row("photo element without src repeats the earlier address",
        QStringList{first, pageWith(&PageParts::photos, photoBlock(u"<img alt=\"x\" />"_s))},
        "photoUrl", kDefaultPhoto);
    row("photo element without /> repeats the earlier address",
        QStringList{first,
                    pageWith(&PageParts::photos, photoBlock(u"<img src=\"http://x/2.jpg\">"_s))},
        "photoUrl", kDefaultPhoto);
    row("no space after src gives no photo even after an audio page",
        QStringList{first,
                    pageWith(&PageParts::photos, photoBlock(u"<img src=\"http://x/2.jpg\"/>"_s))},
        "kind", u"NoPhoto"_s);
    row("missing header marker repeats the 640 address",
        QStringList{pageWith(&PageParts::head, headStyle(u"http://h/100.jpg"_s)),
                    pageWith(&PageParts::head, QString())},
        "varHeadUrl640", u"http://h/640.jpg"_s);
}

void TestSongPage::sequence()
{
    QFETCH(QStringList, pages);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    SongPage song;
    SongValues v;
    for (const QString &page : pages) {
        song.strPage = page;
        v = ParseSongPage(song);
    }
    QCOMPARE(fieldOf(field, v, song), expected);
}

// The twelve pieces survive a page that has no marker at all; the cuts derived
// from them are computed again and so stay equal too.
void TestSongPage::piecesKeptAcrossPages()
{
    SongPage song;
    song.strPage = kDefaultPage;
    const SongValues first = ParseSongPage(song);
    const SongPage before = song;

    song.strPage = u"<html><body>页面不存在</body></html>"_s;
    const SongValues second = ParseSongPage(song);

    const QList<QPair<const char *, QString SongPage::*>> kept = {
        {"strTitleUser", &SongPage::strTitleUser},
        {"strFansPiece", &SongPage::strFansPiece},
        {"strInfoPiece", &SongPage::strInfoPiece},
        {"strTitleSong", &SongPage::strTitleSong},
        {"strPlaysPiece", &SongPage::strPlaysPiece},
        {"strGiftsPiece", &SongPage::strGiftsPiece},
        {"strForwardsPiece", &SongPage::strForwardsPiece},
        {"strCommentsPiece", &SongPage::strCommentsPiece},
        {"strPhotosPiece", &SongPage::strPhotosPiece},
        {"varPhotoSrc", &SongPage::varPhotoSrc},
        {"varMp3Piece", &SongPage::varMp3Piece},
        {"strHeadPiece", &SongPage::strHeadPiece},
        {"varFansCut", &SongPage::varFansCut},
        {"strMp3Url", &SongPage::strMp3Url},
        {"varHeadUrl640", &SongPage::varHeadUrl640},
    };
    for (const auto &[name, member] : kept) {
        QVERIFY2(!(before.*member).isEmpty(), name);
        QVERIFY2(song.*member == before.*member, name);
    }
    // Kept pieces stop where their reading stops, so a long page is not copied ten times.
    QVERIFY(song.strTitleUser.endsWith(u"</title>"_s));
    QVERIFY(song.strFansPiece.endsWith(u"</div>"_s));
    QVERIFY(song.strPhotosPiece.endsWith(u"/>"_s));
    QVERIFY(song.strHeadPiece.endsWith(u'"'));
    QCOMPARE(second.userName, first.userName);
    QCOMPARE(second.commentCount, first.commentCount);
    QCOMPARE(second.photoUrl, first.photoUrl);
}

void TestSongPage::keptPiecesStayShortOnLongPages()
{
    // Each piece would otherwise run to the end of the page: ten copies of a huge page.
    const QString filler(1 << 20, u'x');
    SongPage song;
    song.strPage = kDefaultPage + filler;
    const SongValues values = ParseSongPage(song);
    QCOMPARE(values.commentCount, u"89"_s);

    const qsizetype shortPage = kDefaultPage.size();
    for (const QString *kept :
         {&song.strTitleUser, &song.strTitleSong, &song.strFansPiece, &song.strInfoPiece,
          &song.strPlaysPiece, &song.strGiftsPiece, &song.strForwardsPiece, &song.strCommentsPiece,
          &song.strPhotosPiece, &song.varMp3Piece, &song.strHeadPiece}) {
        QVERIFY2(kept->size() < shortPage, qPrintable(kept->left(40)));
    }
}

void TestSongPage::mediaDecision_data()
{
    QTest::addColumn<QString>("photoUrl");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("video");

    // The header picture is the one chosen for a video.
    const QString head = u"http://h/640.jpg"_s;
    QTest::newRow("empty photo address: default picture")
        << QString() << u"NoPhoto"_s << QString() << QString();
    QTest::newRow("player anywhere: video with header picture")
        << u"http://v/x.swf?from=player"_s << u"Video"_s << head << u"http://v/x.swf?from=player"_s;
    QTest::newRow("&amp; unescaped only in the video address")
        << u"http://v/player.swf?a=1&amp;b=2"_s << u"Video"_s << head
        << u"http://v/player.swf?a=1&b=2"_s;
    QTest::newRow("unescaped & is not searched again")
        << u"http://v/player?a=&amp;amp;"_s << u"Video"_s << head << u"http://v/player?a=&amp;"_s;
    QTest::newRow("capital Player is audio")
        << u"http://v/Player.swf"_s << u"Audio"_s << u"http://v/Player.swf"_s << QString();
    QTest::newRow("audio picture keeps &amp;")
        << u"http://i/1.jpg?a&amp;b"_s << u"Audio"_s << u"http://i/1.jpg?a&amp;b"_s << QString();
}

void TestSongPage::mediaDecision()
{
    QFETCH(QString, photoUrl);
    QFETCH(QString, kind);
    QFETCH(QString, picture);
    QFETCH(QString, video);

    const MediaDecision d = DecideMedia(photoUrl, u"http://h/640.jpg"_s);
    QCOMPARE(kindName(d.kind), kind);
    QCOMPARE(d.pictureUrl, picture);
    QCOMPARE(d.videoUrl, video);
}

QTEST_GUILESS_MAIN(TestSongPage)
#include "tst_songpage.moc"
