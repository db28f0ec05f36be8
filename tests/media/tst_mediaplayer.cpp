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

    static QString accessibleText(QObject *object, QAccessible::Text kind = QAccessible::Name)
    {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
        return face ? face->text(kind) : u"<not accessible>"_s;
    }

    static QAction *muteAction(QWidget *bar)
    {
        for (QAction *action : bar->actions()) {
            if (action->text() == u"静音"_s)
                return action;
        }
        return nullptr;
    }

    // An engine exists once an address has been written.
    static QAudioOutput *startEngine(MediaPlayer &player, const QString &address)
    {
        player.setURL(address);
        if (!player.mediaPlayer() || !player.mediaPlayer()->isAvailable())
            return nullptr;
        return player.mediaPlayer()->audioOutput();
    }

    // An address plays by itself; what cannot be played says so in the bar,
    // never in a dialog, and the bar stops claiming to play.
    void playsByItself_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("plays");
        QTest::newRow("song") << u"/song.mp3"_s << true;
        QTest::newRow("404") << u"/gone.mp3"_s << false;
        QTest::newRow("not audio") << u"/noise.mp3"_s << false;
    }
    void playsByItself()
    {
        QFETCH(QString, path);
        QFETCH(bool, plays);
        MessageBox::clearHistory();
        MediaPlayer player;
        player.show();
        auto *play = player.findChild<QAbstractButton *>(u"playButton"_s);
        auto *label = player.findChild<QLabel *>(u"messageLabel"_s);
        QTest::mouseClick(play, Qt::LeftButton);
        QCOMPARE(player.findChildren<QMediaPlayer *>().size(), 0); // created on the first address
        QAudioOutput *output = startEngine(player, m_server.baseUrl() + path);
        if (!output)
            QSKIP("no Qt Multimedia backend");
        QMediaPlayer *engine = player.mediaPlayer();
        if (plays) {
            QVERIFY2(output->volume() > 0 && !output->isMuted(), "starts silent");
            QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0, 10000);
            QCOMPARE(play->accessibleName(), u"暂停"_s);
            QTRY_COMPARE_WITH_TIMEOUT(engine->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
            QCOMPARE(label->isVisible(), false);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(label->isVisible() ? label->text() : u"<hidden>"_s,
                                      u"无法播放"_s, 10000);
            // The engine still claims to be playing; the bar must not.
            QCOMPARE(play->accessibleName(), u"播放"_s);
        }
        QVERIFY(MessageBox::history().isEmpty());
    }

    // The mute button and the menu's mute entry are one switch: a gesture on
    // either shows on both, with or without an engine, and reaches the
    // engine; the engine's own change shows on both.
    void muteStaysInStep_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("withEngine");
        QTest::newRow("button, no media yet") << u"button"_s << false;
        QTest::newRow("menu, no media yet") << u"menu"_s << false;
        QTest::newRow("button, playing") << u"button"_s << true;
        QTest::newRow("menu, playing") << u"menu"_s << true;
        QTest::newRow("engine") << u"engine"_s << true;
    }
    void muteStaysInStep()
    {
        QFETCH(QString, source);
        QFETCH(bool, withEngine);
        MediaPlayer player;
        player.show();
        auto *button = player.findChild<QAbstractButton *>(u"muteButton"_s);
        QAction *action = muteAction(player.findChild<QWidget *>(u"playerControls"_s));
        QVERIFY(action);
        QAudioOutput *output = nullptr;
        if (withEngine && !(output = startEngine(player, m_server.baseUrl() + u"/song.mp3"_s)))
            QSKIP("no Qt Multimedia backend");
        for (bool muted : {true, false}) {
            if (source == QLatin1String("button"))
                QTest::mouseClick(button, Qt::LeftButton);
            else if (source == QLatin1String("menu"))
                action->trigger();
            else
                output->setMuted(muted);
            QCOMPARE(button->isChecked(), muted);
            QCOMPARE(action->isChecked(), muted);
            if (output)
                QCOMPARE(output->isMuted(), muted);
        }
    }

    // Keys on the volume slider reach the engine, and the engine's answer
    // leaves the slider where the key put it.
    void volumeFromKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("louder") << int(Qt::Key_Right);
        QTest::newRow("quieter") << int(Qt::Key_Left);
        QTest::newRow("full") << int(Qt::Key_End);
        QTest::newRow("silent") << int(Qt::Key_Home);
    }
    void volumeFromKeys()
    {
        QFETCH(int, key);
        MediaPlayer player;
        player.show();
        QAudioOutput *output = startEngine(player, m_server.baseUrl() + u"/song.mp3"_s);
        if (!output)
            QSKIP("no Qt Multimedia backend");
        auto *slider = player.findChild<QSlider *>(u"volumeSlider"_s);
        const int startValue = slider->value();
        const float startVolume = output->volume();
        QTest::keyClick(slider, Qt::Key(key));
        const int moved = slider->value() - startValue;
        QVERIFY2(moved != 0, "the key did not move the slider");
        QCOMPARE(output->volume() > startVolume, moved > 0);
        QCOMPARE(output->volume() < startVolume, moved < 0);
        if (slider->value() == slider->maximum())
            QCOMPARE(output->volume(), 1.0f);
        if (slider->value() == slider->minimum())
            QCOMPARE(output->volume(), 0.0f);
        output->setVolume(1.0f); // the engine's own change shows on the bar
        QCOMPARE(slider->value(), slider->maximum());
    }

    // A screen reader reads the time and the state as the bar shows them, and
    // the seek position in minutes and seconds, not milliseconds.
    void readsAsText()
    {
        PlayerControls bar;
        bar.show();
        auto *time = bar.findChild<QLabel *>(u"timeLabel"_s);
        auto *seek = bar.findChild<QSlider *>(u"seekSlider"_s);
        QCOMPARE(accessibleText(time), u"00:00 / 00:00"_s);
        bar.setDuration(61000);
        bar.setPosition(30500);
        QCOMPARE(accessibleText(time), u"00:30 / 01:01"_s);
        QCOMPARE(accessibleText(seek, QAccessible::Description), u"00:30 / 01:01"_s);
        bar.setMessage(MediaPlayer::cannotPlayText());
        QCOMPARE(accessibleText(bar.findChild<QLabel *>(u"messageLabel"_s)), u"无法播放"_s);
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
