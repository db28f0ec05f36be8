// The song page parser on pages built from named parts: each row replaces or
// drops one part, so it says which fault it catches.

#include "SongPage.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct PageParts
{
    QString title = u"<title>\u3000因为爱情 - Heightened - 唱吧</title>"_s;
    QString head = u".pcsong_head {background: url( \" http://h/b100/1.jpg\");}"_s;
    QString photos =
        u"<div class=\"pcsong_photos\"><img src=\"http://i/7.jpg\" alt=\"\" /></div>"_s;
    QString fans = u"<div class=\"pcsong_title\">有 27有18</div>"_s;
    QString info = u"<div class=\"pcsong_title\" >\u3000 广东\u3000深圳 \u3000</div>"_s;
    QString plays = u"<div class=\"pcsong_listen_icon fl\">\n 1200 </div>"_s;
    QString gifts = u"<div class=\"pcsong_gift_icon fl\"><b>56</b></div>"_s;
    QString forwards = u"<div class=\"pcsong_forward_icon fl\">7</div>"_s;
    QString comments = u"<div class=\"pcsong_comment_icon fl\">89</div>"_s;
    QString mp3 = u"{mp3:\" http://m/9.mp3?a=1&amp;b=2 \"}"_s;

    // The "-" in the markup after the title catches a name that runs on past it.
    QString page() const
    {
        return title + head + u"<body class=\"song-page\">"_s + photos + fans + info + plays +
               gifts + forwards + comments + mp3;
    }
};

QString pageWith(QString PageParts::*part, const QString &text)
{
    PageParts p;
    p.*part = text;
    return p.page();
}

const QStringList kFields =
    u"user fans info song plays gifts forwards comments photo mp3 head head640 picture video"_s
        .split(u' ');

QStringList fields(const SongValues &v, const SongPage &s)
{
    const MediaDecision d = DecideMedia(v.photoUrl, s.varHeadUrl640);
    return {v.userName,   v.fanCount,      v.otherInfo,    v.songName, v.playCount,
            v.giftCount,  v.forwardCount,  v.commentCount, v.photoUrl, s.strMp3Url,
            s.varHeadUrl, s.varHeadUrl640, d.pictureUrl,   d.videoUrl};
}

void row(const char *name, const QStringList &pages, const char *field, const QString &expected)
{
    QTest::newRow(name) << pages << QString::fromLatin1(field) << expected;
}

} // namespace

class TestSongPage : public QObject
{
    Q_OBJECT

private slots:
    void value_data();
    void value();
    void piecesKeptButShort();
    void bytesReadAsText();
};

// Pages parsed in order on one song state; the field is read after the last.
void TestSongPage::value_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    const QString full = PageParts().page();
    const auto title = [](const QString &t) {
        return QStringList{pageWith(&PageParts::title, t)};
    };
    row("one dash: user name stops at </title>", title(u"<title>歌 - 人  唱吧,KTV</title>"_s),
        "user", u"人  唱吧,KTV"_s);
    row("three dashes: user name stops at the second", title(u"<title>A-B-C-D</title>"_s), "user",
        u"B"_s);
    row("no dash: song name empty, not cut from markup", title(u"<title>歌</title>"_s), "song",
        QString());
    row("tab before the song name stays", title(u"<title>\t歌 - X -</title>"_s), "song", u"\t歌"_s);
    row("title marker is case-sensitive", title(u"<TITLE>A - B -</TITLE>"_s), "song", QString());
    row("title never closed: user name runs to the next dash", {u"<title>歌 - 人 x-y"_s}, "user",
        u"人 x"_s);

    const auto photo = [](const QString &tag) {
        return pageWith(&PageParts::photos, u"pcsong_photos\">"_s + tag);
    };
    row("second marker ends the piece before its </div>",
        {pageWith(&PageParts::comments,
                  u"pcsong_comment_icon fl\">1 pcsong_comment_icon fl\">2</div>"_s)},
        "comments", QString());
    row("no space before /> gives no photo", {photo(u"<img src=\"http://i/8.jpg\"/>"_s)}, "picture",
        QString());
    row("100 becomes 640 inside digit runs",
        {pageWith(&PageParts::head, u".pcsong_head {background: url( \"/100/1100/1000/100100\""_s)},
        "head640", u"/640/1640/6400/640640"_s);

    row("gifts marker back on a later page wins",
        {full, pageWith(&PageParts::gifts, QString()),
         pageWith(&PageParts::gifts, u"pcsong_gift_icon fl\">9</div>"_s)},
        "gifts", u"9"_s);
    row("closing </div> missing: empty, not the earlier value",
        {full, pageWith(&PageParts::comments, u"pcsong_comment_icon fl\">3</p>"_s)}, "comments",
        QString());
    row("audio address never closed: empty, not the earlier one",
        {full, pageWith(&PageParts::mp3, u"mp3:\"http://m/1.mp3"_s)}, "mp3", QString());
    row("photo tag without src repeats the earlier address", {full, photo(u"<img alt=\"x\" />"_s)},
        "photo", u"http://i/7.jpg"_s);
    row("player: &amp; unescaped in the video address",
        {photo(u"<embed src=\"http://v/player?a&amp;b\" />"_s)}, "video", u"http://v/player?a&b"_s);
    row("player is case-sensitive; audio picture keeps &amp;",
        {photo(u"<img src=\"http://v/Player?a&amp;b\" />"_s)}, "picture",
        u"http://v/Player?a&amp;b"_s);
    PageParts noPhoto;
    noPhoto.photos.clear();
    noPhoto.head = u".pcsong_head {background: url( \"http://h/c100.jpg\""_s;
    row("photo block missing after a video: video again, this page's header",
        {photo(u"<embed src=\"http://v/player\" />"_s), noPhoto.page()}, "picture",
        u"http://h/c640.jpg"_s);
}

void TestSongPage::value()
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
    QVERIFY(kFields.contains(field));
    QCOMPARE(fields(v, song).at(kFields.indexOf(field)), expected);
}

// A page without any marker repeats every value; what is kept for that stops
// where its reading stops, or a huge page would be held ten times over.
void TestSongPage::piecesKeptButShort()
{
    SongPage song;
    song.strPage = QString(PageParts().page() + QString(1 << 20, u'x'));
    const QStringList first = fields(ParseSongPage(song), song);
    // Spaces and U+3000 are trimmed, a line break is not; the header address is never trimmed.
    QCOMPARE(first, (QStringList{u"Heightened"_s, u"2718"_s, u"广东\u3000深圳"_s, u"因为爱情"_s,
                                 u"\n 1200"_s, u"b>56/b>"_s, u"7"_s, u"89"_s, u"http://i/7.jpg"_s,
                                 u"http://m/9.mp3?a=1&amp;b=2"_s, u" http://h/b100/1.jpg"_s,
                                 u" http://h/b640/1.jpg"_s, u"http://i/7.jpg"_s, QString()}));
    for (const QString *kept :
         {&song.strTitleUser, &song.strTitleSong, &song.strFansPiece, &song.strInfoPiece,
          &song.strPlaysPiece, &song.strGiftsPiece, &song.strForwardsPiece, &song.strCommentsPiece,
          &song.strPhotosPiece, &song.varMp3Piece, &song.strHeadPiece})
        QVERIFY2(kept->size() < 100, qPrintable(kept->left(40)));

    song.strPage = u"<html><body>页面不存在</body></html>"_s;
    QCOMPARE(fields(ParseSongPage(song), song), first);
}

QStringList stored(const SongPage &s)
{
    return {s.strPage.toString(), s.strTitleUser,     s.strFansPiece,   s.varFansCut,
            s.strInfoPiece,       s.varInfoCut,       s.strTitleSong,   s.strPlaysPiece,
            s.varPlaysCut,        s.strGiftsPiece,    s.varGiftsCut,    s.strForwardsPiece,
            s.varForwardsCut,     s.strCommentsPiece, s.varCommentsCut, s.strPhotosPiece,
            s.varPhotoTag,        s.varPhotoSrc,      s.varMp3Piece,    s.varMp3Cut,
            s.strMp3Url,          s.strHeadPiece,     s.varHeadUrl,     s.varHeadUrl640};
}

// Random page sequences, each page read once as UTF-8 bytes and once decoded to
// text first: every value and every stored field must agree, page after page.
void TestSongPage::bytesReadAsText()
{
    const QList<QByteArray> bits = {"<title>",
                                    "</title>",
                                    "pcsong_title\">",
                                    "pcsong_title\" >",
                                    "pcsong_listen_icon fl\">",
                                    "pcsong_gift_icon fl\">",
                                    "pcsong_forward_icon fl\">",
                                    "pcsong_comment_icon fl\">",
                                    "pcsong_photos\">",
                                    "mp3:\"",
                                    ".pcsong_head {background: url( \"",
                                    "</div>",
                                    "/>",
                                    "src=\"",
                                    "\"",
                                    " ",
                                    "-",
                                    "<",
                                    "player",
                                    "100",
                                    "&amp;",
                                    "http://i/7.jpg",
                                    "\xE3\x80\x80", // U+3000, trimmed like a space
                                    "\xEF\xBB\xBF", // a BOM, also right after a marker
                                    "\xE4\xB8\xBA\xE7\x88\xB1",
                                    "\xF0\x9F\x8E\xB5",
                                    "\xE4\xB8",
                                    "\xE6", // truncated sequences
                                    "\xEF\xE4\xEF",
                                    "\xFF",
                                    "\xC0\xAF",
                                    "\xED\xA0\x80"}; // invalid ones
    QRandomGenerator random(20261207);               // fixed, so a failure repeats
    for (int sequence = 0; sequence < 400; ++sequence) {
        SongPage bytes;
        SongPage text;
        const int pages = random.bounded(1, 5);
        for (int p = 0; p < pages; ++p) {
            QByteArray page;
            for (int n = random.bounded(0, 40); n > 0; --n)
                page += bits[random.bounded(bits.size())];
            if (random.bounded(4) == 0) // pages shorter than any marker, cuts inside a sequence
                page.truncate(random.bounded(page.size() + 1));
            if (page.isEmpty())
                continue;
            bytes.strPage = PageText::fromUtf8(page);
            text.strPage = QString::fromUtf8(page);
            const QStringList fromBytes = fields(ParseSongPage(bytes), bytes);
            QCOMPARE(fromBytes, fields(ParseSongPage(text), text));
            QCOMPARE(stored(bytes), stored(text));
        }
    }
}

QTEST_GUILESS_MAIN(TestSongPage)
#include "tst_songpage.moc"
