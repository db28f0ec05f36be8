#include "PlayerControls.h"

#include "PlayerIcons.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include <limits>

namespace {

QString clockText(qint64 ms)
{
    const qint64 seconds = qMax<qint64>(ms, 0) / 1000;
    const qint64 hours = seconds / 3600;
    const QString minSec = QStringLiteral("%1:%2")
                               .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                               .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minSec : minSec;
}

int sliderValue(qint64 ms)
{
    return int(qBound<qint64>(0, ms, qint64(std::numeric_limits<int>::max())));
}

QToolButton *makeButton(QWidget *parent, const QString &name, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(26, 26);
    button->setText(text);
    button->setToolTip(text);
    button->setAccessibleName(text);
    return button;
}

} // namespace

PlayerControls::PlayerControls(QWidget *parent)
    : QWidget(parent)
    , m_playButton(makeButton(this, QStringLiteral("playButton"), QStringLiteral("播放")))
    , m_stopButton(makeButton(this, QStringLiteral("stopButton"), QStringLiteral("停止")))
    , m_seekSlider(new QSlider(Qt::Horizontal, this))
    , m_timeLabel(new QLabel(this))
    , m_messageLabel(new QLabel(this))
    , m_muteButton(makeButton(this, QStringLiteral("muteButton"), QStringLiteral("静音")))
    , m_volumeSlider(new QSlider(Qt::Horizontal, this))
    , m_playAction(new QAction(QStringLiteral("播放"), this))
    , m_pauseAction(new QAction(QStringLiteral("暂停"), this))
    , m_stopAction(new QAction(QStringLiteral("停止"), this))
    , m_muteAction(new QAction(QStringLiteral("静音"), this))
{
    setUpIcons();
    setUpSeekSlider();
    setUpLabels();
    setUpVolumeSlider();
    layOut();
    setUpMenu();
    connectGestures();

    setPlaying(false);
    setVolume(50);
    setMuted(false);
    showTime();
}

void PlayerControls::setUpIcons()
{
    m_playIcon = PlayerIcons::icon(PlayerIcons::Shape::Play);
    m_pauseIcon = PlayerIcons::icon(PlayerIcons::Shape::Pause);
    const QIcon stopIcon = PlayerIcons::icon(PlayerIcons::Shape::Stop);
    const QIcon muteIcon = PlayerIcons::muteIcon();

    m_stopButton->setIcon(stopIcon);
    m_muteButton->setIcon(muteIcon);
    m_muteButton->setCheckable(true);
    m_playAction->setIcon(m_playIcon);
    m_pauseAction->setIcon(m_pauseIcon);
    m_stopAction->setIcon(stopIcon);
    m_muteAction->setIcon(muteIcon);
    m_muteAction->setCheckable(true);
}

void PlayerControls::setUpSeekSlider()
{
    m_seekSlider->setObjectName(QStringLiteral("seekSlider"));
    m_seekSlider->setAccessibleName(QStringLiteral("播放进度"));
    m_seekSlider->setToolTip(QStringLiteral("播放进度"));
    m_seekSlider->setRange(0, 0);
    m_seekSlider->setSingleStep(5000);
    m_seekSlider->setPageStep(15000);
    m_seekSlider->setEnabled(false);
}

void PlayerControls::setUpLabels()
{
    // The labels carry no fixed accessible name, so a screen reader reads
    // the text they show.
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));
    m_timeLabel->setAccessibleDescription(QStringLiteral("已播放 / 总时长"));
    m_timeLabel->setToolTip(QStringLiteral("已播放 / 总时长"));
    m_timeLabel->setAlignment(Qt::AlignCenter);
    // Fixed so the bar does not jiggle as the digits change.
    m_timeLabel->setMinimumWidth(
        m_timeLabel->fontMetrics().horizontalAdvance(QStringLiteral("00:00 / 00:00")) + 6);

    m_messageLabel->setObjectName(QStringLiteral("messageLabel"));
    m_messageLabel->setAccessibleDescription(QStringLiteral("播放状态"));
    m_messageLabel->setAlignment(Qt::AlignCenter);
    m_messageLabel->hide();
}

void PlayerControls::setUpVolumeSlider()
{
    m_volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    m_volumeSlider->setAccessibleName(QStringLiteral("音量"));
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setSingleStep(5);
    m_volumeSlider->setPageStep(10);
    m_volumeSlider->setFixedWidth(70);
}

void PlayerControls::layOut()
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(4);
    layout->addWidget(m_playButton);
    layout->addWidget(m_stopButton);
    layout->addWidget(m_seekSlider, 1);
    layout->addWidget(m_messageLabel);
    layout->addWidget(m_timeLabel);
    layout->addWidget(m_muteButton);
    layout->addWidget(m_volumeSlider);
}

void PlayerControls::setUpMenu()
{
    setContextMenuPolicy(Qt::ActionsContextMenu);
    addAction(m_playAction);
    addAction(m_pauseAction);
    addAction(m_stopAction);
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    addAction(m_muteAction);
}

void PlayerControls::connectGestures()
{
    connect(m_playButton, &QToolButton::clicked, this, &PlayerControls::togglePlay);
    connect(m_stopButton, &QToolButton::clicked, this, &PlayerControls::stop);
    connect(m_playAction, &QAction::triggered, this, &PlayerControls::play);
    connect(m_pauseAction, &QAction::triggered, this, &PlayerControls::pause);
    connect(m_stopAction, &QAction::triggered, this, &PlayerControls::stop);
    connect(m_muteButton, &QToolButton::clicked, this, &PlayerControls::toggleMuted);
    connect(m_muteAction, &QAction::triggered, this, &PlayerControls::toggleMuted);
    connect(m_volumeSlider, &QSlider::valueChanged, this, [this](int volume) {
        showVolume();
        emit changeVolume(volume);
    });
    // Seek once on release, not on every pixel of a drag over a network stream.
    connect(m_seekSlider, &QSlider::sliderReleased, this,
            [this] { emit seek(m_seekSlider->value()); });
    connect(m_seekSlider, &QSlider::actionTriggered, this, &PlayerControls::seekFromSlider);
}

int PlayerControls::volume() const
{
    return m_volumeSlider->value();
}

bool PlayerControls::isMuted() const
{
    return m_muteButton->isChecked();
}

void PlayerControls::setPlaying(bool playing)
{
    m_playing = playing;
    const QString text = playing ? QStringLiteral("暂停") : QStringLiteral("播放");
    m_playButton->setIcon(playing ? m_pauseIcon : m_playIcon);
    m_playButton->setText(text);
    m_playButton->setToolTip(text);
    m_playButton->setAccessibleName(text);
    m_playAction->setEnabled(!playing);
    m_pauseAction->setEnabled(playing);
}

void PlayerControls::setDuration(qint64 ms)
{
    m_duration = qMax<qint64>(ms, 0);
    m_seekSlider->setRange(0, sliderValue(m_duration));
    showTime();
}

void PlayerControls::setPosition(qint64 ms)
{
    m_position = qMax<qint64>(ms, 0);
    if (!m_seekSlider->isSliderDown())
        m_seekSlider->setValue(sliderValue(m_position));
    showTime();
}

void PlayerControls::setSeekable(bool seekable)
{
    m_seekSlider->setEnabled(seekable);
}

void PlayerControls::setVolume(int volume)
{
    const QSignalBlocker blocker(m_volumeSlider);
    m_volumeSlider->setValue(volume);
    showVolume();
}

void PlayerControls::setMessage(const QString &text)
{
    m_messageLabel->setText(text);
    m_messageLabel->setVisible(!text.isEmpty());
}

void PlayerControls::togglePlay()
{
    if (m_playing)
        emit pause();
    else
        emit play();
}

void PlayerControls::toggleMuted(bool muted)
{
    // The button and the menu entry are two faces of one switch.
    setMuted(muted);
    emit changeMuting(muted);
}

void PlayerControls::setMuted(bool muted)
{
    m_muteButton->setChecked(muted);
    m_muteAction->setChecked(muted);
    m_muteButton->setToolTip(muted ? QStringLiteral("取消静音") : QStringLiteral("静音"));
}

void PlayerControls::showVolume()
{
    m_volumeSlider->setToolTip(QStringLiteral("音量：%1").arg(m_volumeSlider->value()));
}

void PlayerControls::showTime()
{
    const QString text = clockText(m_position) + QStringLiteral(" / ") + clockText(m_duration);
    m_timeLabel->setText(text);
    // The slider's own value is in milliseconds; this is what a listener hears.
    m_seekSlider->setAccessibleDescription(text);
}

void PlayerControls::seekFromSlider(int action)
{
    // A drag is reported on release; clicks on the groove, keys and the wheel
    // (a SliderMove with the slider up) seek at once.
    if (action == QAbstractSlider::SliderNoAction ||
        (action == QAbstractSlider::SliderMove && m_seekSlider->isSliderDown()))
        return;
    emit seek(m_seekSlider->sliderPosition());
}
