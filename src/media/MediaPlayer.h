#pragma once

// The embedded player W1: writing URL opens the address and starts playing
// by itself; the user drives it with its own control bar. Problems with the
// media show as a short text inside the bar, never as a dialog.
//
// Data runs one way: the bar's requests go to the engine, and the bar shows
// what the engine reports (volume, muting, position, duration, state).
//
// Qt Multimedia (and GStreamer behind it) is created on the first setURL, so
// a start-up that never plays anything never pays for it.

#include <QString>
#include <QWidget>

class PlayerControls;
class QAudioOutput;
class QMediaPlayer;

class MediaPlayer : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE setURL)
public:
    explicit MediaPlayer(QWidget *parent = nullptr);

    QString URL() const { return m_url; }
    // Writing the same address again restarts it from the beginning. Only an
    // http or https address is played; any other shows "无法播放" in the bar.
    void setURL(const QString &url);
    static bool isWebAddress(const QString &address);

    // Null until the first setURL; a failed engine is replaced on the next load.
    QMediaPlayer *mediaPlayer() const { return m_player; }

    static QString cannotPlayText(); // "无法播放"

private:
    void ensurePlayer();
    void load();
    void play();
    void setVolume(int volume); // 0..100, as the bar shows it
    void setMuted(bool muted);
    void showPlaybackState();
    void showMediaStatus();
    void showFailure();

    PlayerControls *m_controls;
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    QString m_url;
    bool m_failed = false;
};
