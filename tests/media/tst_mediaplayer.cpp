#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "MessageBox.h"
#include "PlayerControls.h"

#include <QAbstractButton>
#include <QAudio>
#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

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

    // The user's moves of the seek bar reach the engine; the engine's own
    // position reports must not come back to it as seeks.
    void seekBar_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("seeks");
        QTest::newRow("wheel") << u"wheel"_s << true;
        QTest::newRow("arrow key") << u"key"_s << true;
        QTest::newRow("engine position") << u"engine"_s << false;
    }
    void seekBar()
    {
        QFETCH(QString, input);
        QFETCH(bool, seeks);
        PlayerControls bar;
        bar.show();
        bar.setDuration(60000);
        bar.setSeekable(true);
        bar.setPosition(30000);
        auto *slider = bar.findChild<QSlider *>(u"seekSlider"_s);
        QSignalSpy seek(&bar, &PlayerControls::seek);
        if (input == QLatin1String("wheel")) {
            QWheelEvent wheel(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(),
                              QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QCoreApplication::sendEvent(slider, &wheel);
        } else if (input == QLatin1String("key")) {
            QTest::keyClick(slider, Qt::Key_Right);
        } else {
            bar.setPosition(40000);
        }
        QCOMPARE(seek.size(), seeks ? 1 : 0);
        if (seeks) {
            QVERIFY2(slider->value() != 30000, "the bar did not move");
            QCOMPARE(seek.first().first().toLongLong(), qint64(slider->value()));
        }
    }
};

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
