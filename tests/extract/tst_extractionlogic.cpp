// The extraction command's logic without widgets (the address check, the
// captions, a fetch without a page) and the sonavex-parse tool that runs it on
// saved pages, one shared song state across them.

#include "Extraction.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Extraction;
using namespace Qt::StringLiterals;

namespace {

// Every field, so "nothing else changed" is one comparison.
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

// Names without a folder are fixture pages; the exit code is -1 for a crash or a hang.
QList<QJsonObject> runTool(const QStringList &files, int *exitCode, QString *errors)
{
    QStringList args;
    for (const QString &file : files)
        args << (file.startsWith(u'/') ? file : u"" SONAVEX_FIXTURES_DIR "/"_s + file);
    QProcess p;
    p.start(QStringLiteral(SONAVEX_PARSE_BIN), args);
    const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    *exitCode = ended ? p.exitCode() : -1;
    *errors = QString::fromLocal8Bit(p.readAllStandardError());
    QList<QJsonObject> lines;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

// Compares only the keys named in want: key, value, key, value...
void expect(const QJsonObject &line, const QStringList &want)
{
    for (qsizetype i = 0; i + 1 < want.size(); i += 2)
        QVERIFY2(line.value(want[i]) == want[i + 1], qPrintable(want[i]));
}

} // namespace

class TestExtraction : public QObject
{
    Q_OBJECT

private slots:
    void addressCheck();
    void captions();
    void noPageChangesNothingElse();
    void tool();
};

void TestExtraction::addressCheck()
{
    using A = AddressCheck;
    const QList<QPair<QString, A>> cases = {
        {QString(), A::Empty},
        {u"   "_s, A::MissingPrefix}, // spaces are not empty
        {u"HTTP://changba.com/s/x1"_s, A::MissingPrefix},
        {u"http://changba.com/u/x1"_s, A::MissingPrefix},
        {u" 快来听我唱的歌 http://changba.com/s/x1 （来自唱吧）"_s, A::Ok}, // anywhere, untrimmed
    };
    for (const auto &[text, expected] : cases)
        QVERIFY2(checkAddress(text) == expected, qPrintable(text));
}

void TestExtraction::captions()
{
    const Captions c = captionsFor({u"七月"_s, u"301"_s, u"这个人很懒"_s, u"小幸运"_s, u"\n4410"_s,
                                    u"0"_s, u"3"_s, u"15"_s, u"http://i/1.jpg"_s});
    QCOMPARE((QStringList{c.label1, c.label4, c.label10, c.label2, c.label5, c.label6, c.label7,
                          c.label9}),
             (QStringList{u"用户名：七月"_s, u"粉丝数：301"_s, u"这个人很懒"_s,
                          u"演唱歌曲：小幸运"_s, u"播放次数：\n4410次"_s, u"收到礼物：0个"_s,
                          u"转发次数：3次"_s, u"评论数量：15次"_s}));
}

// Neither a failed fetch nor an empty body may lose what the last song showed.
void TestExtraction::noPageChangesNothingElse()
{
    const QString videoPage =
        u"<title>歌 - 人 -</title>.pcsong_head {background: url( \"/100.jpg\""
        "pcsong_photos\"><embed src=\"http://v/player?a&amp;b\" />mp3:\"/1.mp3\""_s;
    for (const std::optional<QString> &none :
         {std::optional<QString>(), std::optional(QString())}) {
        SongPage song;
        const Outcome video = extractFromPage(song, videoPage);
        QCOMPARE(int(video.end), int(End::Video));
        QVERIFY(song.strVideoUrl.isEmpty()); // the window stores it after its notice
        song.strVideoUrl = video.media.videoUrl;
        song.strVideoHtml = u"<embed src=\"x\">"_s;
        QStringList before = allFields(song);

        QCOMPARE(int(extractFromPage(song, none).end), int(End::NoPage));
        before[0].clear(); // strPage
        QCOMPARE(allFields(song), before);
    }
}

// One shared song state across the files; an unreadable file stops the run
// after the lines of the files before it.
void TestExtraction::tool()
{
    const QString mp3 = u"http://mp3.songs.example/userdata/88123.mp3?t=1&amp;v=2"_s;
    const QString player = u"http://video.songs.example/player.swf?vid=5521&auto=0"_s;
    int exitCode = -1;
    QString errors;
    const QList<QJsonObject> lines = runTool(
        {u"audio-song.html"_s, u"video-song.html"_s, u"empty-page.html"_s, u"not-a-song.html"_s},
        &exitCode, &errors);
    QCOMPARE(exitCode, 0);
    QCOMPARE(lines.size(), 4);
    expect(lines[0], {u"end"_s, u"Audio"_s, u"userName"_s, u"Heightened  唱吧,最时尚的手机KTV"_s,
                      u"picture"_s, u"http://img.songs.example/u/100/7731.jpg"_s, u"strMp3Url"_s,
                      mp3, u"strVideoUrl"_s, QString()});
    // The audio address stays; the video address is stored once its notice is gone.
    expect(lines[1], {u"end"_s, u"Video"_s, u"picture"_s,
                      u"http://img.songs.example/bg/10640/cover_640x640.jpg"_s, u"strVideoUrl"_s,
                      player, u"strMp3Url"_s, mp3});
    // An empty file is a fetch without a page: nothing but the kept addresses.
    QCOMPARE(
        lines[2],
        (QJsonObject{{u"end"_s, u"no-page"_s}, {u"strMp3Url"_s, mp3}, {u"strVideoUrl"_s, player}}));
    // A photo without a space before "/>" is none; a new page clears the video address.
    expect(lines[3],
           {u"end"_s, u"NoPhoto"_s, u"userName"_s, u"七月"_s, u"strVideoUrl"_s, QString()});
    QVERIFY(lines[3].value(u"picture"_s).isNull());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &bad : {dir.filePath(u"no-such-page.html"_s), dir.path()}) {
        const auto few =
            runTool({u"audio-song.html"_s, bad, u"video-song.html"_s}, &exitCode, &errors);
        QCOMPARE(few.size(), 1);
        QCOMPARE(exitCode, 2);
        QVERIFY2(errors.contains(bad), qPrintable(errors));
    }
    runTool({}, &exitCode, &errors);
    QCOMPARE(exitCode, 2);
}

QTEST_GUILESS_MAIN(TestExtraction)
#include "tst_extractionlogic.moc"
