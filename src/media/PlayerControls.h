#pragma once

// The player's one-row control bar: play/pause, stop, seek, time, mute,
// volume, a short status text, and the right-click menu. A gesture changes
// the bar's own look at once and is emitted as a request; the set… slots
// mirror what the media engine reports. It knows no media engine.

#include <QIcon>
#include <QWidget>

class QAction;
class QLabel;
class QSlider;
class QToolButton;

class PlayerControls : public QWidget
{
    Q_OBJECT
public:
    explicit PlayerControls(QWidget *parent = nullptr);

    bool isPlaying() const { return m_playing; }
    int volume() const;
    bool isMuted() const;

public slots:
    void setPlaying(bool playing);
    void setDuration(qint64 ms);
    void setPosition(qint64 ms);
    void setSeekable(bool seekable);
    void setVolume(int volume); // 0..100
    void setMuted(bool muted);
    void setMessage(const QString &text); // empty hides it

signals:
    void play();
    void pause();
    void stop();
    void seek(qint64 ms);
    void changeVolume(int volume);
    void changeMuting(bool muted);

private:
    void setUpIcons();
    void setUpSeekSlider();
    void setUpLabels();
    void setUpVolumeSlider();
    void layOut();
    void setUpMenu();
    void connectGestures();
    void togglePlay();
    void toggleMuted(bool muted);
    void showVolume();
    void showTime();
    void seekFromSlider(int action);

    QIcon m_playIcon;
    QIcon m_pauseIcon;
    QToolButton *m_playButton;
    QToolButton *m_stopButton;
    QSlider *m_seekSlider;
    QLabel *m_timeLabel;
    QLabel *m_messageLabel;
    QToolButton *m_muteButton;
    QSlider *m_volumeSlider;
    QAction *m_playAction;
    QAction *m_pauseAction;
    QAction *m_stopAction;
    QAction *m_muteAction;

    bool m_playing = false;
    qint64 m_duration = 0;
    qint64 m_position = 0;
};
