// The song page parser. Each row of the value table is a short run of pages
// that holds only the markup its rule needs, so it names the fault it catches.
// The rules the saved fixture pages already show (a one-dash title, the name
// between two dashes, "/>" without a space, 100 turned to 640 inside digits,
// &amp; in the player address) are checked through sonavex-parse, and values
// coming back on a later page through the window, in tst_extraction.

#include "SongPage.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

// Every block and address once; the pads and the markup inside the blocks are
// what the baseline's trimming and cutting rules work on.
static const QString kFullPage =
    u"<title>\u3000因为爱情 - Heightened - 唱吧</title>"
    u".pcsong_head {background: url( \" http://h/b100/1.jpg\");}"
    u"pcsong_photos\"><img src=\"http://i/7.jpg\" alt=\"\" /></div>"
    u"pcsong_title\">有 27有18</div>pcsong_title\" >\u3000 广东\u3000深圳 \u3000</div>"
    u"pcsong_listen_icon fl\">\n 1200 </div>pcsong_gift_icon fl\"><b>56</b></div>"
    u"pcsong_forward_icon fl\">7</div>pcsong_comment_icon fl\">89</div>"
    u"{mp3:\" http://m/9.mp3?a=1&amp;b=2 \"}"_s;

// Positions in what parse() returns, for the values the rows read.
enum Field { User = 0, Song = 3, Comments = 7, Photo = 8, Mp3 = 9, Picture = 12 };

// Parses page on song's state; returns every value the window shows or uses.
static QStringList parse(SongPage &s, const PageText &page)
{
    s.strPage = page;
    const SongValues v = ParseSongPage(s);
    const MediaDecision d = DecideMedia(v.photoUrl, s.varHeadUrl640);
    return {v.userName,   v.fanCount,      v.otherInfo,    v.songName, v.playCount,
            v.giftCount,  v.forwardCount,  v.commentCount, v.photoUrl, s.strMp3Url,
            s.varHeadUrl, s.varHeadUrl640, d.pictureUrl,   d.videoUrl};
}

// The page, then every piece and cut the parser keeps for the next page.
static QStringList stored(const SongPage &s)
{
    return {s.strPage.toString(), s.strTitleUser,     s.strFansPiece,   s.varFansCut,
            s.strInfoPiece,       s.varInfoCut,       s.strTitleSong,   s.strPlaysPiece,
            s.varPlaysCut,        s.strGiftsPiece,    s.varGiftsCut,    s.strForwardsPiece,
            s.varForwardsCut,     s.strCommentsPiece, s.varCommentsCut, s.strPhotosPiece,
            s.varPhotoTag,        s.varPhotoSrc,      s.varMp3Piece,    s.varMp3Cut,
            s.strMp3Url,          s.strHeadPiece,     s.varHeadUrl,     s.varHeadUrl640};
}

class TestSongPage : public QObject
{
    Q_OBJECT

private slots:
    // Pages parsed in order on one song state; the field is read after the last.
    void value_data()
    {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QStringList &pages, Field field,
                            const QString &expected) {
            QTest::newRow(name) << pages << int(field) << expected;
        };
        const QString photos = u"pcsong_photos\">"_s;
        const QString comments = u"pcsong_comment_icon fl\">"_s;
        row("no dash: song name empty, not cut from markup", {u"<title>歌</title>"_s}, Song, {});
        row("tab before the song name stays", {u"<title>\t歌 - X -</title>"_s}, Song, u"\t歌"_s);
        row("title marker is case-sensitive", {u"<TITLE>A - B -</TITLE>"_s}, Song, {});
        row("title never closed: user name runs to the next dash", {u"<title>歌 - 人 x-y"_s}, User,
            u"人 x"_s);
        row("second marker ends the piece before its </div>",
            {comments + u"1 "_s + comments + u"2</div>"_s}, Comments, {});
        // The same cut closes the audio address at its quote.
        row("closing </div> missing: empty, not the earlier value",
            {comments + u"89</div>"_s, comments + u"3</p>"_s}, Comments, {});
        row("photo tag without src repeats the earlier address",
            {photos + u"<img src=\"http://i/7.jpg\" />"_s, photos + u"<img alt=\"x\" />"_s}, Photo,
            u"http://i/7.jpg"_s);
        row("player is case-sensitive; audio picture keeps &amp;",
            {photos + u"<img src=\"http://v/Player?a&amp;b\" />"_s}, Picture,
            u"http://v/Player?a&amp;b"_s);
        row("photo block missing after a video: video again, this page's header",
            {photos + u"<embed src=\"http://v/player\" />"_s,
             u".pcsong_head {background: url( \"http://h/c100.jpg\""_s},
            Picture, u"http://h/c640.jpg"_s);
    }
    void value()
    {
        QFETCH(QStringList, pages);
        QFETCH(int, field);
        QFETCH(QString, expected);
        SongPage song;
        QStringList values;
        for (const QString &page : pages)
            values = parse(song, page);
        QCOMPARE(values.at(field), expected);
    }

    // A page without any marker repeats every value; what is kept for that stops
    // where its reading stops, or a huge page would be held ten times over.
    void piecesKeptButShort()
    {
        SongPage song;
        const QStringList first = parse(song, QString(kFullPage + QString(1 << 20, u'x')));
        // Spaces and U+3000 are trimmed, a line break is not; the header address is never trimmed.
        QCOMPARE(first,
                 (QStringList{u"Heightened"_s, u"2718"_s, u"广东\u3000深圳"_s, u"因为爱情"_s,
                              u"\n 1200"_s, u"b>56/b>"_s, u"7"_s, u"89"_s, u"http://i/7.jpg"_s,
                              u"http://m/9.mp3?a=1&amp;b=2"_s, u" http://h/b100/1.jpg"_s,
                              u" http://h/b640/1.jpg"_s, u"http://i/7.jpg"_s, QString()}));
        for (const QString &kept : stored(song).mid(1)) // all but the page itself
            QVERIFY2(kept.size() < 100, qPrintable(kept.left(40)));
        QCOMPARE(parse(song, u"<html><body>页面不存在</body></html>"_s), first);
    }

    // Random page runs, each page read once as UTF-8 bytes and once decoded to
    // text first: every value and every stored field must agree, page after page.
    void bytesReadAsText()
    {
        // The markers, what the cuts look for inside a piece, U+3000 and a BOM (also right
        // after a marker), whole and truncated sequences, and invalid ones; "|" between them.
        const QList<QByteArray> bits =
            QByteArray("<title>|</title>|pcsong_title\">|pcsong_title\" >|pcsong_listen_icon fl\">|"
                       "pcsong_gift_icon fl\">|pcsong_forward_icon fl\">|pcsong_comment_icon fl\">|"
                       "pcsong_photos\">|mp3:\"|.pcsong_head {background: url( \"|</div>|/>|src=\"|"
                       "\"| |-|<|player|100|&amp;|http://i/7.jpg|\xE3\x80\x80|\xEF\xBB\xBF|"
                       "\xE4\xB8\xBA\xE7\x88\xB1|\xF0\x9F\x8E\xB5|\xE4\xB8|\xE6|\xEF\xE4\xEF|\xFF|"
                       "\xC0\xAF|\xED\xA0\x80")
                .split('|');
        QRandomGenerator random(20261207); // fixed, so a failure repeats
        SongPage bytes, text;
        for (int n = 0; n < 1200; ++n) {
            if (random.bounded(3) == 0) // a new run
                bytes = text = SongPage();
            QByteArray page;
            for (int k = random.bounded(0, 40); k > 0; --k)
                page += bits[random.bounded(bits.size())];
            if (random.bounded(4) == 0) // pages shorter than any marker, cuts inside a sequence
                page.truncate(random.bounded(page.size() + 1));
            QCOMPARE(parse(bytes, PageText::fromUtf8(page)), parse(text, QString::fromUtf8(page)));
            QCOMPARE(stored(bytes), stored(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestSongPage)
#include "tst_songpage.moc"
