// The sonavex-parse tool: the extraction's logic without widgets run on saved
// pages, one shared song state across them.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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

class TestSonavexParse : public QObject
{
    Q_OBJECT

private slots:
    void tool();
    void gbkPageByItsMeta();
};

// One shared song state across the files; an unreadable file stops the run
// after the lines of the files before it.
void TestSonavexParse::tool()
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

// A saved page has no header: its <meta> names GBK, and the values read right.
void TestSonavexParse::gbkPageByItsMeta()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"gbk.html"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QStringEncoder gbk("GBK");
    file.write(gbk.encode(u"<html><head><meta charset=\"gbk\"><title>因为爱情 - 小明 - 唱吧</title>"
                          u"<div class=\"pcsong_title\" >广东 深圳</div>"_s));
    file.close();
    int exitCode = -1;
    QString errors;
    const QList<QJsonObject> lines = runTool({path}, &exitCode, &errors);
    QCOMPARE(exitCode, 0);
    QCOMPARE(lines.size(), 1);
    expect(lines[0], {u"songName"_s, u"因为爱情"_s, u"userName"_s, u"小明"_s, u"otherInfo"_s,
                      u"广东 深圳"_s});
}

QTEST_GUILESS_MAIN(TestSonavexParse)
#include "tst_sonavexparse.moc"
