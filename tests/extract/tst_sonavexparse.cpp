// The sonavex-parse tool run as a process on fixture pages: one JSON line per
// file, one shared song state across them, status 2 on an unreadable file.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QList<QJsonObject> lines;
    QString errors;
};

QString fixture(const QString &name)
{
    return QStringLiteral(SONAVEX_FIXTURES_DIR "/") + name;
}

Run runTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(SONAVEX_PARSE_BIN), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.errors = QString::fromLocal8Bit(p.readAllStandardError());
    const QList<QByteArray> out = p.readAllStandardOutput().split('\n');
    for (const QByteArray &line : out) {
        if (line.isEmpty())
            continue;
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
        if (err.error != QJsonParseError::NoError || !doc.isObject())
            qWarning("not a JSON object: %s", line.constData());
        r.lines.append(doc.object());
    }
    return r;
}

const QString kAudioMp3 = u"http://mp3.songs.example/userdata/88123.mp3?t=1&amp;v=2"_s;
const QString kPlayer = u"http://video.songs.example/player.swf?vid=5521&auto=0"_s;

} // namespace

class TestSonavexParse : public QObject
{
    Q_OBJECT

private slots:
    void sharedStateAcrossFiles();
    void unreadableFile_data();
    void unreadableFile();
};

void TestSonavexParse::sharedStateAcrossFiles()
{
    const Run r = runTool({fixture(u"audio-song.html"_s), fixture(u"video-song.html"_s),
                           fixture(u"empty-page.html"_s), fixture(u"not-a-song.html"_s)});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines.size(), 4);

    const QJsonObject audio = r.lines[0];
    QCOMPARE(audio.value(u"end"_s).toString(), u"Audio"_s);
    QCOMPARE(audio.value(u"userName"_s).toString(), u"Heightened  唱吧,最时尚的手机KTV"_s);
    QCOMPARE(audio.value(u"songName"_s).toString(), u"因为爱情"_s);
    QCOMPARE(audio.value(u"fanCount"_s).toString(), u"2718"_s);
    QCOMPARE(audio.value(u"otherInfo"_s).toString(), u"广东 深圳　歌手"_s);
    QCOMPARE(audio.value(u"playCount"_s).toString(), u"12,034"_s);
    QCOMPARE(audio.value(u"picture"_s).toString(), u"http://img.songs.example/u/100/7731.jpg"_s);
    QCOMPARE(audio.value(u"strMp3Url"_s).toString(), kAudioMp3);
    QCOMPARE(audio.value(u"strVideoUrl"_s).toString(), QString());

    const QJsonObject video = r.lines[1];
    QCOMPARE(video.value(u"end"_s).toString(), u"Video"_s);
    QCOMPARE(video.value(u"userName"_s).toString(), u"七月"_s);
    QCOMPARE(video.value(u"fanCount"_s).toString(), u"b>301/b>"_s);
    QCOMPARE(video.value(u"playCount"_s).toString(), u"\n4410"_s);
    QCOMPARE(video.value(u"commentCount"_s).toString(), u"15"_s);
    QCOMPARE(video.value(u"picture"_s).toString(),
             u"http://img.songs.example/bg/10640/cover_640x640.jpg"_s);
    QCOMPARE(video.value(u"strVideoUrl"_s).toString(), kPlayer);
    QCOMPARE(video.value(u"strMp3Url"_s).toString(), kAudioMp3);

    const QJsonObject none = r.lines[2];
    QCOMPARE(none.value(u"end"_s).toString(), u"no-page"_s);
    QCOMPARE(none.keys(), (QStringList{u"end"_s, u"strMp3Url"_s, u"strVideoUrl"_s}));
    QCOMPARE(none.value(u"strVideoUrl"_s).toString(), kPlayer);

    const QJsonObject notSong = r.lines[3];
    QCOMPARE(notSong.value(u"end"_s).toString(), u"NoPhoto"_s);
    QVERIFY(notSong.value(u"picture"_s).isNull());
    QCOMPARE(notSong.value(u"photoUrl"_s).toString(), QString());
    QCOMPARE(notSong.value(u"userName"_s).toString(), u"七月"_s);
    QCOMPARE(notSong.value(u"strVideoUrl"_s).toString(), QString());
    QCOMPARE(notSong.keys().size(), 13);
}

void TestSonavexParse::unreadableFile_data()
{
    QTest::addColumn<QString>("bad");
    QTest::newRow("missing file") << u"no-such-page.html"_s;
    QTest::newRow("directory") << u"."_s;
}

// Lines of the files before the bad one are printed; nothing after it.
void TestSonavexParse::unreadableFile()
{
    QFETCH(QString, bad);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString badPath = dir.filePath(bad);

    const Run r = runTool({fixture(u"audio-song.html"_s), badPath, fixture(u"video-song.html"_s)});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.lines.size(), 1);
    QCOMPARE(r.lines[0].value(u"end"_s).toString(), u"Audio"_s);
    QVERIFY2(r.errors.contains(badPath), qPrintable(r.errors));

    const Run noArgs = runTool({});
    QCOMPARE(noArgs.exitCode, 2);
    QVERIFY(noArgs.lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestSonavexParse)
#include "tst_sonavexparse.moc"
