#include "LocalHttpServer.h"
#include "MediaPlayer.h"
#include "MessageBox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QAudio>
#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QTest>
#include <QtEndian>

#include <cmath>

namespace {

// 0.6 s of a 440 Hz tone, 16-bit mono PCM: short enough for a fake sink that keeps real time.
QByteArray makeWav()
{
    const int rate = 22050;
    const int samples = rate * 6 / 10;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const auto value = qint16(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
        qToLittleEndian(value, pcm.data() + 2 * i);
    }
    QByteArray wav;
    auto put32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        wav.append(b, 4);
    };
    auto put16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        wav.append(b, 2);
    };
    wav.append("RIFF");
    put32(quint32(36 + pcm.size()));
    wav.append("WAVEfmt ");
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    wav.append("data");
    put32(quint32(pcm.size()));
    return wav + pcm;
}

HttpResponse audio(const QByteArray &body, const QByteArray &type)
{
    HttpResponse r;
    r.headers = {{"Content-Type", type}};
    r.body = body;
    return r;
}

float expectedOutputVolume(int percent)
{
    return float(QAudio::convertVolume(percent / 100.0, QAudio::LogarithmicVolumeScale,
                                       QAudio::LinearVolumeScale));
}

} // namespace

class TestMediaPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startsWithoutMultimediaAtVolumeFifty();
    void barFitsItsPlace();
    void playsAddressByItself();
    void sameAddressStartsAgain();
    void mediaErrorsShowInTheBar_data();
    void mediaErrorsShowInTheBar();
    void playAfterFailureRetries();
    void controlsReachTheOutput();

private:
    QAbstractButton *button(MediaPlayer &player, const char *name);
    void skipWithoutBackend(MediaPlayer &player);
    QString url(const QString &path) const { return m_server.baseUrl() + path; }

    LocalHttpServer m_server;
    QByteArray m_wav;
};

void TestMediaPlayer::initTestCase()
{
    // GStreamer sends even loopback addresses through a proxy.
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy"})
        qunsetenv(name);
    m_wav = makeWav();
    QVERIFY(m_server.listen());
    m_server.route(QStringLiteral("/clip.wav"), audio(m_wav, "audio/wav"));
    m_server.route(QStringLiteral("/page.mp3"),
                   HttpResponse::text("<html><body>not a song</body></html>"));
    m_server.route(QStringLiteral("/noise.mp3"), audio(QByteArray(4096, '\x5a'), "audio/mpeg"));
}

void TestMediaPlayer::init()
{
    m_server.clearRequests();
    MessageBox::clearHistory();
}

QAbstractButton *TestMediaPlayer::button(MediaPlayer &player, const char *name)
{
    return player.findChild<QAbstractButton *>(QString::fromLatin1(name));
}

void TestMediaPlayer::skipWithoutBackend(MediaPlayer &player)
{
    if (!player.mediaPlayer() || !player.mediaPlayer()->isAvailable())
        QSKIP("no Qt Multimedia backend available on this machine");
}

void TestMediaPlayer::startsWithoutMultimediaAtVolumeFifty()
{
    MediaPlayer player;
    player.show();

    QCOMPARE(player.volume(), 50);
    QCOMPARE(player.findChild<QSlider *>(QStringLiteral("volumeSlider"))->value(), 50);
    QVERIFY(!player.isMuted());
    QVERIFY(!button(player, "muteButton")->isChecked());

    // Pressing play with nothing loaded must not bring the engine up either.
    QTest::mouseClick(button(player, "playButton"), Qt::LeftButton);
    QCOMPARE(player.mediaPlayer(), nullptr);
    QVERIFY(player.findChildren<QMediaPlayer *>().isEmpty());
    QVERIFY(player.findChildren<QAudioOutput *>().isEmpty());

    // A screen reader must be able to name every control.
    const QList<QPair<QString, QString>> named = {
        {QStringLiteral("playButton"), QStringLiteral("播放")},
        {QStringLiteral("stopButton"), QStringLiteral("停止")},
        {QStringLiteral("seekSlider"), QStringLiteral("播放进度")},
        {QStringLiteral("muteButton"), QStringLiteral("静音")},
        {QStringLiteral("volumeSlider"), QStringLiteral("音量")},
    };
    for (const auto &[objectName, accessible] : named) {
        QWidget *w = player.findChild<QWidget *>(objectName);
        QVERIFY2(w, qPrintable(objectName));
        QCOMPARE(w->accessibleName(), accessible);
        QVERIFY2(!w->toolTip().isEmpty(), qPrintable(objectName));
    }
}

void TestMediaPlayer::barFitsItsPlace()
{
    MediaPlayer player;
    player.setGeometry(0, 0, 505, 41);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));

    QCOMPARE(player.sizeHint(), QSize(505, 41));
    const QRect place(0, 0, 505, 41);
    QList<QRect> taken;
    for (QWidget *w : player.findChildren<QWidget *>()) {
        if (!w->isVisible() || w->objectName() == QLatin1String("playerControls"))
            continue;
        const QRect r(w->mapTo(&player, QPoint(0, 0)), w->size());
        QVERIFY2(place.contains(r), qPrintable(w->objectName()));
        for (const QRect &other : std::as_const(taken))
            QVERIFY2(!other.intersects(r),
                     qPrintable(w->objectName() + QLatin1String(" overlaps")));
        taken.append(r);
    }
    QVERIFY2(taken.size() >= 6, "the bar should show all its controls in one row");

    // The context menu of the original player.
    QStringList menu;
    for (QAction *a : player.findChild<QWidget *>(QStringLiteral("playerControls"))->actions())
        if (!a->isSeparator())
            menu << a->text();
    QCOMPARE(menu, QStringList({QStringLiteral("播放"), QStringLiteral("暂停"),
                                QStringLiteral("停止"), QStringLiteral("静音")}));
}

void TestMediaPlayer::playsAddressByItself()
{
    MediaPlayer player;
    player.show();
    player.setURL(url(QStringLiteral("/clip.wav")));
    QCOMPARE(player.URL(), url(QStringLiteral("/clip.wav")));
    skipWithoutBackend(player);
    QMediaPlayer *engine = player.mediaPlayer();

    QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0, 10000);
    QCOMPARE(button(player, "playButton")->accessibleName(), QStringLiteral("暂停"));
    QVERIFY(!player.findChild<QLabel *>(QStringLiteral("timeLabel"))->text().isEmpty());
    QCOMPARE(engine->audioOutput()->volume(), expectedOutputVolume(50));
    QVERIFY(!engine->audioOutput()->isMuted());

    // Played once, then stopped: the bar offers play again and reports nothing.
    QTRY_COMPARE_WITH_TIMEOUT(engine->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
    QTRY_COMPARE(button(player, "playButton")->accessibleName(), QStringLiteral("播放"));
    QCOMPARE(player.message(), QString());
    QCOMPARE(engine->error(), QMediaPlayer::NoError);
}

void TestMediaPlayer::sameAddressStartsAgain()
{
    MediaPlayer player;
    player.setURL(url(QStringLiteral("/clip.wav")));
    skipWithoutBackend(player);
    QMediaPlayer *engine = player.mediaPlayer();
    QTRY_COMPARE_WITH_TIMEOUT(engine->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
    const int firstRequests = m_server.requests().size();

    player.setURL(url(QStringLiteral("/clip.wav")));
    QCOMPARE(player.mediaPlayer(), engine);
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().size() > firstRequests, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(engine->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
}

void TestMediaPlayer::mediaErrorsShowInTheBar_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("404 answer must not pass silently") << QStringLiteral("/gone.mp3");
    QTest::newRow("html page instead of audio") << QStringLiteral("/page.mp3");
    QTest::newRow("bytes labelled audio/mpeg that are not audio") << QStringLiteral("/noise.mp3");
}

void TestMediaPlayer::mediaErrorsShowInTheBar()
{
    QFETCH(QString, path);
    MediaPlayer player;
    player.show();
    player.setURL(url(path));
    skipWithoutBackend(player);

    QTRY_COMPARE_WITH_TIMEOUT(player.message(), QStringLiteral("无法播放"), 10000);
    auto *label = player.findChild<QLabel *>(QStringLiteral("messageLabel"));
    QCOMPARE(label->text(), QStringLiteral("无法播放"));
    QVERIFY(label->isVisible());
    // The engine still claims to be playing; the bar must not.
    QCOMPARE(button(player, "playButton")->accessibleName(), QStringLiteral("播放"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(MessageBox::history().isEmpty());
}

void TestMediaPlayer::playAfterFailureRetries()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    const QString address = server.baseUrl() + QStringLiteral("/later.wav");
    MediaPlayer player;
    player.show();
    player.setURL(address);
    skipWithoutBackend(player);
    QTRY_COMPARE_WITH_TIMEOUT(player.message(), QStringLiteral("无法播放"), 10000);

    server.route(QStringLiteral("/later.wav"), audio(m_wav, "audio/wav"));
    QTest::mouseClick(button(player, "playButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(player.mediaPlayer()->position() > 0, 10000);
    QCOMPARE(player.message(), QString());
}

void TestMediaPlayer::controlsReachTheOutput()
{
    MediaPlayer player;
    player.show();
    // Settings made before the engine exists must reach it when it comes up.
    player.findChild<QSlider *>(QStringLiteral("volumeSlider"))->setValue(80);
    QCOMPARE(player.volume(), 80);
    player.setURL(url(QStringLiteral("/clip.wav")));
    skipWithoutBackend(player);
    QAudioOutput *output = player.mediaPlayer()->audioOutput();
    QCOMPARE(output->volume(), expectedOutputVolume(80));

    QTest::mouseClick(button(player, "muteButton"), Qt::LeftButton);
    QVERIFY(output->isMuted());
    QVERIFY(player.isMuted());

    QAction *menuMute = nullptr;
    for (QAction *a : player.findChild<QWidget *>(QStringLiteral("playerControls"))->actions())
        if (a->text() == QStringLiteral("静音"))
            menuMute = a;
    QVERIFY(menuMute);
    QVERIFY2(menuMute->isChecked(), "menu and button disagree about muting");
    menuMute->trigger();
    QVERIFY(!output->isMuted());
    QVERIFY(!button(player, "muteButton")->isChecked());

    QTest::mouseClick(button(player, "stopButton"), Qt::LeftButton);
    QTRY_COMPARE(player.mediaPlayer()->playbackState(), QMediaPlayer::StoppedState);
    QCOMPARE(button(player, "playButton")->accessibleName(), QStringLiteral("播放"));
}

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
