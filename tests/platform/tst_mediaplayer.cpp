#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "MessageBox.h"

#include <QAbstractButton>
#include <QAudio>
#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMediaPlayer : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;

private slots:
    void initTestCase()
    {
        QFile song(
            QStringLiteral(SONAVEX_SOURCE_DIR "/resources/demo/lzscuw.changba.com/84263517.mp3"));
        QVERIFY(song.open(QIODevice::ReadOnly));
        QVERIFY(m_server.listen());
        m_server.route(u"/song.mp3"_s, HttpResponse::text(song.readAll(), "audio/mpeg"));
        m_server.route(u"/noise.mp3"_s, HttpResponse::text(QByteArray(4096, '\x5a'), "audio/mpeg"));
    }

    void playsByItself()
    {
        MediaPlayer player;
        player.show();
        QCOMPARE(player.volume(), 50);
        auto *play = player.findChild<QAbstractButton *>(u"playButton"_s);
        QTest::mouseClick(play, Qt::LeftButton);
        QVERIFY(player.findChildren<QMediaPlayer *>().isEmpty()); // created on the first address
        player.setURL(m_server.baseUrl() + u"/song.mp3"_s);
        if (!player.mediaPlayer() || !player.mediaPlayer()->isAvailable())
            QSKIP("no Qt Multimedia backend");
        QMediaPlayer *engine = player.mediaPlayer();
        QCOMPARE(engine->audioOutput()->volume(),
                 float(QAudio::convertVolume(0.5, QAudio::LogarithmicVolumeScale,
                                             QAudio::LinearVolumeScale)));
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0, 10000);
        QCOMPARE(play->accessibleName(), u"暂停"_s);
        QTRY_COMPARE_WITH_TIMEOUT(engine->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
        QCOMPARE(player.message(), QString());
    }

    void failureShowsInTheBar_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("404") << u"/gone.mp3"_s;
        QTest::newRow("not audio") << u"/noise.mp3"_s;
    }
    void failureShowsInTheBar()
    {
        QFETCH(QString, path);
        MessageBox::clearHistory();
        MediaPlayer player;
        player.show();
        player.setURL(m_server.baseUrl() + path);
        if (!player.mediaPlayer() || !player.mediaPlayer()->isAvailable())
            QSKIP("no Qt Multimedia backend");
        QTRY_COMPARE_WITH_TIMEOUT(player.message(), u"无法播放"_s, 10000);
        auto *label = player.findChild<QLabel *>(u"messageLabel"_s);
        QCOMPARE(label->isVisible() ? label->text() : u"<hidden>"_s, u"无法播放"_s);
        // The engine still claims to be playing; the bar must not.
        QCOMPARE(player.findChild<QAbstractButton *>(u"playButton"_s)->accessibleName(), u"播放"_s);
        QVERIFY(MessageBox::history().isEmpty());
    }
};

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
