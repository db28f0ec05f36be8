#include "MediaPlayer.h"

#include "PlayerControls.h"

#include <QAudio>
#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The slider is in perceived loudness; the output wants a linear factor.
float outputVolume(int volume)
{
    return float(QAudio::convertVolume(volume / 100.0, QAudio::LogarithmicVolumeScale,
                                       QAudio::LinearVolumeScale));
}

// The slider step nearest to an output factor. The scale tops out early (99
// and 100 both give full volume), so a tie goes to the louder step.
int sliderVolume(float linear)
{
    int best = 0;
    for (int volume = 1; volume <= 100; ++volume) {
        if (qAbs(outputVolume(volume) - linear) <= qAbs(outputVolume(best) - linear))
            best = volume;
    }
    return best;
}

} // namespace

MediaPlayer::MediaPlayer(QWidget *parent)
    : QWidget(parent)
    , m_controls(new PlayerControls(this))
{
    m_controls->setObjectName(QStringLiteral("playerControls"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_controls);
    setFocusProxy(m_controls);

    connect(m_controls, &PlayerControls::play, this, &MediaPlayer::play);
    connect(m_controls, &PlayerControls::pause, this, [this] {
        if (m_player)
            m_player->pause();
    });
    connect(m_controls, &PlayerControls::stop, this, [this] {
        if (m_player)
            m_player->stop();
    });
    connect(m_controls, &PlayerControls::seek, this, [this](qint64 ms) {
        if (m_player)
            m_player->setPosition(ms);
    });
    connect(m_controls, &PlayerControls::changeVolume, this, &MediaPlayer::setVolume);
    connect(m_controls, &PlayerControls::changeMuting, this, &MediaPlayer::setMuted);
}

QString MediaPlayer::cannotPlayText()
{
    return QStringLiteral("无法播放");
}

bool MediaPlayer::isWebAddress(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

void MediaPlayer::setURL(const QString &url)
{
    m_url = url;
    load();
}

void MediaPlayer::setVolume(int volume)
{
    if (m_output)
        m_output->setVolume(outputVolume(volume));
}

void MediaPlayer::setMuted(bool muted)
{
    if (m_output)
        m_output->setMuted(muted);
}

void MediaPlayer::ensurePlayer()
{
    if (m_player)
        return;
    m_player = new QMediaPlayer(this);
    m_output = new QAudioOutput(m_player);
    // Until an engine exists the bar holds what the user set.
    m_output->setVolume(outputVolume(m_controls->volume()));
    m_output->setMuted(m_controls->isMuted());
    connect(m_output, &QAudioOutput::volumeChanged, m_controls,
            [this](float linear) { m_controls->setVolume(sliderVolume(linear)); });
    connect(m_output, &QAudioOutput::mutedChanged, m_controls, &PlayerControls::setMuted);
    m_player->setAudioOutput(m_output);
    m_player->setLoops(QMediaPlayer::Once);
    m_player->setPlaybackRate(1.0);

    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &MediaPlayer::showPlaybackState);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &MediaPlayer::showMediaStatus);
    connect(m_player, &QMediaPlayer::errorOccurred, this, &MediaPlayer::showFailure);
    connect(m_player, &QMediaPlayer::durationChanged, m_controls, &PlayerControls::setDuration);
    connect(m_player, &QMediaPlayer::positionChanged, m_controls, &PlayerControls::setPosition);
    connect(m_player, &QMediaPlayer::seekableChanged, m_controls, &PlayerControls::setSeekable);
}

void MediaPlayer::load()
{
    // The engine would open a local name too, and a pipe or device there can
    // hang it: only the web is played, and the engine is not even asked.
    if (!m_url.isEmpty() && !isWebAddress(m_url)) {
        m_controls->setPlaying(false);
        m_controls->setMessage(cannotPlayText());
        return;
    }
    // A failed engine keeps sending errors for a while, which would land on the
    // next media: start over with a fresh one.
    if (m_player && m_failed) {
        m_player->disconnect(this);
        m_player->disconnect(m_controls);
        m_player->deleteLater();
        m_player = nullptr;
        m_output = nullptr;
    }
    ensurePlayer();
    m_failed = false;
    m_controls->setMessage(QString());
    // Clearing first makes a repeated address start over instead of being ignored.
    m_player->setSource(QUrl());
    // A new engine reports nothing until its media loads: show it empty.
    m_controls->setDuration(0);
    m_controls->setPosition(0);
    m_controls->setSeekable(false);
    if (m_url.isEmpty())
        return;
    m_player->setSource(QUrl(m_url, QUrl::TolerantMode));
    m_player->play();
}

void MediaPlayer::play()
{
    if (!m_player || !isWebAddress(m_url))
        return;
    // After a failure the engine still claims to be playing; pressing play retries.
    if (m_failed)
        load();
    else
        m_player->play();
}

void MediaPlayer::showPlaybackState()
{
    m_controls->setPlaying(!m_failed && m_player->playbackState() == QMediaPlayer::PlayingState);
}

void MediaPlayer::showMediaStatus()
{
    if (m_failed)
        return;
    switch (m_player->mediaStatus()) {
    case QMediaPlayer::InvalidMedia:
        showFailure();
        break;
    case QMediaPlayer::LoadingMedia:
        m_controls->setMessage(QStringLiteral("正在连接.."));
        break;
    case QMediaPlayer::StalledMedia:
        m_controls->setMessage(QStringLiteral("正在缓冲.."));
        break;
    default:
        m_controls->setMessage(QString());
        break;
    }
}

void MediaPlayer::showFailure()
{
    m_failed = true;
    m_controls->setPlaying(false);
    m_controls->setMessage(cannotPlayText());
}
