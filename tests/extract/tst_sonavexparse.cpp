// The sonavex-parse tool: the extraction's logic without widgets run on saved
// pages, one shared song state across them. What the parser makes of a page is
// tested in tst_songpage; here, what the tool prints and keeps between files.

#include <QJsonDocument>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSonavexParse : public QObject
{
    Q_OBJECT
    QString m_errors;
    QByteArray m_out;

    // Runs the tool on the space-separated files in the fixture folder, so that a bare name
    // is a fixture page; returns the exit code, or -1 for a crash or a hang.
    int run(const QString &files)
    {
        QProcess p;
        p.setWorkingDirectory(u"" SONAVEX_FIXTURES_DIR ""_s);
        p.start(u"" SONAVEX_PARSE_BIN ""_s, files.split(u' ', Qt::SkipEmptyParts));
        const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
        m_errors = QString::fromLocal8Bit(p.readAllStandardError());
        m_out = p.readAllStandardOutput();
        return ended ? p.exitCode() : -1;
    }
    // The value of key on every line; "null" where it is null or missing.
    QStringList column(const char *key) const
    {
        QStringList values;
        for (const QByteArray &line : m_out.trimmed().split('\n'))
            values << QJsonDocument::fromJson(line)[QLatin1String(key)].toString(u"null"_s);
        return values;
    }

private slots:
    void tool()
    {
        const QString mp3 = u"http://mp3.songs.example/userdata/88123.mp3?t=1&amp;v=2"_s;
        const QString player = u"http://video.songs.example/player.swf?vid=5521&auto=0"_s;
        QCOMPARE(
            run(u"audio-song.html video-song.html empty-page.html not-a-song.html gbk-song.html"_s),
            0);
        QCOMPARE(column("end").join(u' '), u"Audio Video no-page NoPhoto NoPhoto"_s);
        // A photo without a space before "/>" is none.
        QCOMPARE(column("picture"),
                 (QStringList{u"http://img.songs.example/u/100/7731.jpg"_s,
                              u"http://img.songs.example/bg/10640/cover_640x640.jpg"_s, u"null"_s,
                              u"null"_s, u"null"_s}));
        // Kept while no page has its marker; an empty file is a fetch without a page, which
        // shows nothing but the kept addresses. The last page names GBK in its <meta>.
        QCOMPARE(column("strMp3Url"), QStringList(5, mp3));
        QCOMPARE(column("userName"), (QStringList{u"Heightened  唱吧,最时尚的手机KTV"_s, u"七月"_s,
                                                  u"null"_s, u"七月"_s, u"小明"_s}));
        // Stored once the video's notice is gone; cleared by the next page.
        QCOMPARE(column("strVideoUrl"),
                 (QStringList{QString(), player, player, QString(), QString()}));
    }

    // An unreadable file stops the run after the lines of the files before it.
    void unreadable()
    {
        QCOMPARE(run(u"audio-song.html no-such-page.html video-song.html"_s), 2);
        QCOMPARE(m_out.count('\n'), 1);
        QVERIFY2(m_errors.contains(u"no-such-page.html"), qPrintable(m_errors));
        QCOMPARE(run(QString()), 2);
    }
};

QTEST_GUILESS_MAIN(TestSonavexParse)
#include "tst_sonavexparse.moc"
