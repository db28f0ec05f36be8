#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "MessageBox.h"
#include "PlayerControls.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace Qt::StringLiterals;

const QString song = u"http://lzscuw.changba.com/84263517.mp3"_s;

class TestMediaPlayer : public QObject
{
    Q_OBJECT
    LocalHttpServer m_server;
    std::unique_ptr<MediaPlayer> m_player;

    // What a screen reader reads.
    static QString readOut(QObject *object, QAccessible::Text kind = QAccessible::Name)
    {
        return QAccessible::queryAccessibleInterface(object)->text(kind);
    }

private slots:
    void initTestCase()
    {
        if (!QMediaPlayer().isAvailable())
            QSKIP("no Qt Multimedia backend");
        QVERIFY(m_server.listen());
        m_server.serveDirectory(u"" SONAVEX_SOURCE_DIR "/resources/demo"_s);
        m_server.route(u"/noise.mp3"_s, HttpResponse::text(QByteArray(4096, '\x5a'), "audio/mpeg"));
        // The media engine fetches through this proxy, loopback included.
        qputenv("http_proxy", m_server.baseUrl().toLatin1());
    }
    // A fresh player for each test; the last one goes with the test object.
    void init() { m_player = std::make_unique<MediaPlayer>(); }

    // An address plays by itself; what cannot be played says so in the bar,
    // never in a dialog, and the bar stops claiming to play.
    void playsByItself_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message"); // empty: none shown
        QTest::newRow("song") << song << QString();
        QTest::newRow("404") << u"http://lzscuw.changba.com/gone.mp3"_s << u"无法播放"_s;
        QTest::newRow("not audio") << u"http://lzscuw.changba.com/noise.mp3"_s << u"无法播放"_s;
    }
    void playsByItself()
    {
        QFETCH(QString, address);
        QFETCH(QString, message);
        auto *play = m_player->findChild<QAbstractButton *>(u"playButton"_s);
        auto *label = m_player->findChild<QLabel *>(u"messageLabel"_s);
        QTest::mouseClick(play, Qt::LeftButton);
        QCOMPARE(m_player->findChildren<QMediaPlayer *>().size(), 0); // made on the first address
        m_player->setURL(address);
        const QMediaPlayer *engine = m_player->mediaPlayer();
        if (message.isEmpty()) {
            const QAudioOutput *output = engine->audioOutput();
            QVERIFY2(output->volume() > 0 && !output->isMuted(), "starts silent");
            QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0, 10000);
            QCOMPARE(play->accessibleName(), u"暂停"_s);
            QTRY_COMPARE_WITH_TIMEOUT(engine->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
        }
        // A failed engine still claims to be playing; the bar must not.
        QTRY_COMPARE_WITH_TIMEOUT(label->isHidden() ? QString() : readOut(label), message, 10000);
        QTRY_COMPARE(play->accessibleName(), u"播放"_s);
        QVERIFY(MessageBox::history().isEmpty());
    }

    // The mute button and the menu's mute entry are one switch, with or
    // without an engine, and the engine hears it; it hears the volume keys
    // too, and its answer leaves the slider where the key put it. What the
    // engine changes by itself shows on the bar.
    void barAndEngineInStep()
    {
        auto *button = m_player->findChild<QAbstractButton *>(u"muteButton"_s);
        auto *slider = m_player->findChild<QSlider *>(u"volumeSlider"_s);
        // The right-click menu ends with the mute entry.
        QAction *entry = m_player->findChild<QWidget *>(u"playerControls"_s)->actions().last();
        const auto faces = [&] {
            return std::pair(button->isChecked(), entry->isChecked());
        };
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(faces(), std::pair(true, true));
        entry->trigger();
        QCOMPARE(faces(), std::pair(false, false));

        m_player->setURL(song);
        QAudioOutput *output = m_player->mediaPlayer()->audioOutput();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(faces(), std::pair(true, true));
        QCOMPARE(output->isMuted(), true);
        entry->trigger();
        QCOMPARE(faces(), std::pair(false, false));
        QCOMPARE(output->isMuted(), false);
        output->setMuted(true);
        QCOMPARE(faces(), std::pair(true, true));

        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(output->volume(), 1.0f);
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(output->volume(), 0.0f);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->value(), slider->minimum() + slider->singleStep());
        QVERIFY2(output->volume() > 0, "the key was not heard");
        output->setVolume(1.0f);
        QCOMPARE(slider->value(), slider->maximum());
    }

    // Keys and the wheel on the seek bar seek at once, to where the bar moved;
    // the engine's position reports are read out in minutes and seconds and
    // never come back as seeks.
    void seekBar()
    {
        auto *bar = m_player->findChild<PlayerControls *>(u"playerControls"_s);
        auto *slider = bar->findChild<QSlider *>(u"seekSlider"_s);
        QList<qint64> sought, expected;
        connect(bar, &PlayerControls::seek, this, [&sought](qint64 ms) { sought << ms; });
        bar->setDuration(61000);
        bar->setSeekable(true);
        bar->setPosition(40900);
        QCOMPARE(readOut(bar->findChild<QLabel *>(u"timeLabel"_s)), u"00:40 / 01:01"_s);
        QCOMPARE(readOut(slider, QAccessible::Description), u"00:40 / 01:01"_s);
        QTest::keyClick(slider, Qt::Key_Right);
        expected << slider->value();
        QWheelEvent wheel(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(slider, &wheel);
        expected << slider->value();
        QCOMPARE(sought, expected);
    }
};

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
