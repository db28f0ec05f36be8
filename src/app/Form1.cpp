#include "Form1.h"
#include "ui_Form1.h"

#include "AppPaths.h"
#include "Clipboard.h"
#include "Extraction.h"
#include "FormAccessibility.h"
#include "Hosts.h"
#include "Inet.h"
#include "MediaPlayer.h"
#include "MessageBox.h"
#include "PageFetch.h"
#include "PictureLoader.h"
#include "Program.h"
#include "Skin.h"
#include "StatusBar.h"
#include "VideoExport.h"
#include "WebOpener.h"

#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

namespace {

QString welcomeText()
{
    return QStringLiteral("欢迎使用Vantre旗下Lumo系列软件 ..");
}

QString notExtractedText()
{
    return QStringLiteral("请先进行解析..");
}

// An empty QIcon would fall back to the application's icon, which the
// desktop keeps; the window itself shows none.
QIcon noIcon()
{
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

// Other information often runs to two lines, and Label10's box keeps its
// size: its font shrinks until two whole lines fit.
void fitTwoLines(QLabel *label)
{
    QFont font = label->font();
    const int boxHeight = label->contentsRect().height();
    for (int pixels = QFontInfo(font).pixelSize(); pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (2 * QFontMetrics(font).lineSpacing() <= boxHeight)
            break;
    }
    label->setFont(font);
}

// The format named and no guessing: a guess asks, and so loads, every image
// plugin on the system before the window can show.
QPixmap builtInPicture(const QString &path, const char *format)
{
    QImageReader reader(path, format);
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// The skin file's colours are chosen for this turn of the hue: it makes the
// panels warm cream and the accents teal.
constexpr int SkinHue = 166;

} // namespace

// Resources compiled into a static library are linked only when referenced.
static void initPictures()
{
    static const bool once = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    Q_UNUSED(once)
}

Form1::Form1(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::Form1>())
{
    initPictures();
    FormAccessibility::install();
    ui->setupUi(this);
    setUpControls();

    auto *timer2 = new QTimer(this);
    timer2->setObjectName(QStringLiteral("Timer2"));
    timer2->setSingleShot(true);
    timer2->setInterval(1000);
    m_inet1 = new Inet(this);
    m_inet1->setObjectName(QStringLiteral("Inet1"));
    m_pageFetch = new PageFetch(this);
    // The window stays usable while a page loads; the cursor says it is working.
    connect(m_pageFetch, &PageFetch::pendingChanged, this, [this](bool pending) {
        if (pending)
            setCursor(Qt::BusyCursor);
        else
            unsetCursor();
    });

    connectControls(timer2);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));

    Form_Load();
    timer2->start();
}

void Form1::setUpControls()
{
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    const QPixmap unknownSinger = builtInPicture(QStringLiteral(":/pictures/default.gif"), "gif");
    ui->Image1->setPixmap(unknownSinger);
    ui->Image2->setPixmap(unknownSinger);
    ui->aicAlphaImage1->setPixmap(builtInPicture(QStringLiteral(":/pictures/frame.png"), "png"));
    ui->aicAlphaImage1->setAttribute(Qt::WA_TransparentForMouseEvents);
    fitTwoLines(ui->Label10);
    // The frame overlay only decorates Image1, Image2 only holds the default
    // picture, and WebBrowser1 never shows anything: none is for a screen reader.
    FormAccessibility::setHidden(ui->aicAlphaImage1);
    FormAccessibility::setHidden(ui->Image2);
    FormAccessibility::setHidden(ui->WebBrowser1);
    // Between Command7 and Command8 in the tab order, Tab walks through the player's own controls.
    QWidget *previous = ui->Command7;
    for (QWidget *control : ui->W1->findChildren<QWidget *>()) {
        if (control->focusPolicy() & Qt::TabFocus) {
            setTabOrder(previous, control);
            previous = control;
        }
    }
    setTabOrder(previous, ui->Command8);

    ui->S1->setPanelText(StatusBar::PromptPanel, QStringLiteral("运行提示："));
    ui->S1->setPanelText(StatusBar::StatusPanel, QStringLiteral("正在检测是否有最新版本.."));
    ui->S1->setPanelText(StatusBar::MakerPanel, QStringLiteral("Vantre出品"));
}

void Form1::connectControls(QTimer *timer2)
{
    connect(ui->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(ui->Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(ui->Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(ui->Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(ui->Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(ui->Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(ui->Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
#if QT_CONFIG(sessionmanager)
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &Form1::commitDataRequested);
#endif
}

Form1::~Form1() = default;

QFont Form1::programFont()
{
    return QFont(QStringLiteral("WenQuanYi Micro Hei"), 9);
}

QString Form1::statusLine() const
{
    return ui->S1->panelText(StatusBar::StatusPanel);
}

void Form1::setStatusLine(const QString &text)
{
    ui->S1->setPanelText(StatusBar::StatusPanel, text);
}

void Form1::setCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    if (!label->wordWrap())
        label->adjustSize();
}

void Form1::Form_Load()
{
    setWindowIcon(noIcon());
    SkinH_AttachEx(AppPaths::executableFolder() + QStringLiteral("/skinh.she"), QString());
    SkinH_AdjustHSV(SkinHue, 0, 0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    qint16 cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel != 0) {
        event->ignore();
        return;
    }
    // An extraction still waiting for its page ends without touching the window.
    ++m_extraction;
    m_pageFetch->abort();
    event->accept();
}

void Form1::Form_QueryUnload(qint16 &cancel, int unloadMode)
{
    Q_UNUSED(unloadMode) // asked whatever started the close
    const QString question = QStringLiteral("感谢您对Nolie、对Lumo系列的软件的支持!\r \r"
                                            "是否退出并到论坛可以下载更多Lumo系列原创免费软件?");
    const int answer =
        MessageBox::show(this, question, MessageBox::YesNoCancel + MessageBox::Information,
                         MessageBox::defaultTitle());
    if (answer == MessageBox::Yes)
        WebOpener::open(Hosts::forumPageUrl());
    else if (answer != MessageBox::No)
        cancel = 1;
}

void Form1::commitDataRequested(QSessionManager &manager)
{
#if QT_CONFIG(sessionmanager)
    if (!manager.allowsInteraction())
        return;
    const bool closed = close();
    manager.release();
    if (!closed)
        manager.cancel();
#else
    Q_UNUSED(manager)
#endif
}

void Form1::Command1_Click()
{
    const QString address = ui->Text1->text();
    switch (Extraction::checkAddress(address)) {
    case Extraction::AddressCheck::Empty:
        setStatusLine(Extraction::emptyAddressMessage());
        return;
    case Extraction::AddressCheck::MissingPrefix:
        setStatusLine(Extraction::wrongAddressMessage());
        return;
    case Extraction::AddressCheck::Ok:
        break;
    }

    // The newest click wins: an older extraction still waiting ends as if no page came,
    // instead of finishing last and showing the song asked for first.
    m_pageFetch->abort();
    const int extraction = ++m_extraction;
    // Whatever ran inside the wait may have destroyed the window.
    const QPointer<Form1> alive(this);
    const std::optional<PageText> page = m_pageFetch->GetBody(address);
    if (!alive || extraction != m_extraction)
        return;

    const std::optional<Extraction::Outcome> outcome = Extraction::extractFromPage(m_song, page);
    if (!outcome)
        return;
    showSongValues(outcome->values);
    m_tags = SongTags();
    QByteArray photo;

    switch (outcome->media.kind) {
    case MediaKind::NoPhoto:
        ui->Image1->setPixmap(ui->Image2->pixmap());
        break;
    case MediaKind::Video:
        photo = showPicture(outcome->media.pictureUrl, extraction);
        if (extraction != m_extraction)
            return; // superseded or closed while the picture loaded
        MessageBox::show(this, QStringLiteral("您当前获取的为视频!"),
                         MessageBox::OkOnly + MessageBox::Information, MessageBox::defaultTitle());
        m_song.strVideoUrl = outcome->media.videoUrl;
        break;
    case MediaKind::Audio:
        photo = showPicture(outcome->media.pictureUrl, extraction);
        break;
    }
    if (extraction == m_extraction && m_song.strPage.contains(SongMarkers::mp3))
        m_tags = SongTags::fromExtraction(outcome->values.userName, outcome->values.songName, photo,
                                          address, m_song.strMp3Url);
}

void Form1::showSongValues(const SongValues &values)
{
    const Extraction::Captions captions = Extraction::captionsFor(values);
    setCaption(ui->Label1, captions.label1);
    setCaption(ui->Label4, captions.label4);
    setCaption(ui->Label10, captions.label10);
    setCaption(ui->Label2, captions.label2);
    setCaption(ui->Label5, captions.label5);
    setCaption(ui->Label6, captions.label6);
    setCaption(ui->Label7, captions.label7);
    setCaption(ui->Label9, captions.label9);
}

QByteArray Form1::showPicture(const QString &address, int extraction)
{
    const PictureFiles::Result loaded = LoadPicture(address);
    // A newer extraction ran while this picture loaded: its photo stays.
    if (extraction != m_extraction || loaded.outcome == PictureFiles::Outcome::Error)
        return QByteArray(); // Image1 keeps what it showed
    // A null picture ("nothing") clears Image1.
    ui->Image1->setPixmap(QPixmap::fromImage(loaded.picture));
    // A picture from this computer is shown, but never copied into a song file.
    return loaded.fromNetwork ? loaded.data : QByteArray();
}

void Form1::Command2_Click()
{
    if (m_song.strMp3Url.isEmpty()) {
        setStatusLine(notExtractedText());
        return;
    }
    setStatusLine(QStringLiteral("正在下载音乐.."));
    ui->WebBrowser1->setSilent(true);
    ui->WebBrowser1->setSongTags(m_tags);
    if (!ui->WebBrowser1->Navigate(m_song.strMp3Url))
        setStatusLine(QStringLiteral("无法下载该地址.."));
}

void Form1::Command3_Click()
{
    WebOpener::open(Hosts::forumPageUrl());
}

void Form1::Command4_Click()
{
    WebOpener::open(Hosts::homePageUrl());
}

void Form1::Command5_Click()
{
    close();
}

void Form1::Command6_Click()
{
    const QString help = QStringLiteral("第一步：使用手机唱吧打开您要获取的音乐页面\r\n \r\n"
                                        "第二步：选择右下角--分享功能--分享至任意平台\r\n \r\n"
                                        "第三步：打开分享页面，复制上面地址填写到本软件即可");
    MessageBox::show(this, help, MessageBox::OkOnly + MessageBox::Information,
                     MessageBox::defaultTitle());
}

void Form1::Command7_Click()
{
    if (m_song.strMp3Url.isEmpty()) {
        setStatusLine(notExtractedText());
        return;
    }
    // A page names what the player opens: a local file or device is not for it.
    if (!MediaPlayer::isWebAddress(m_song.strMp3Url)) {
        setStatusLine(QStringLiteral("无法播放该地址.."));
        return;
    }
    setStatusLine(QStringLiteral("正在进行在线试听.."));
    ui->W1->setURL(m_song.strMp3Url);
}

void Form1::Command8_Click()
{
    if (m_song.strVideoUrl.isEmpty()) {
        const QString noVideo = QStringLiteral("没有发现视频文件..");
        MessageBox::show(this, noVideo, MessageBox::OkOnly + MessageBox::Information,
                         MessageBox::defaultTitle());
        setStatusLine(noVideo);
        return;
    }
    ExportVideo(this, m_song.strVideoUrl, m_song.strVideoHtml);
}

void Form1::Command9_Click()
{
    ui->Text1->setText(QString());
    ui->Text1->setText(Clipboard::plainText());
}

void Form1::Timer2_Timer()
{
    // Once only, however often the slot is called.
    if (m_versionChecked)
        return;
    m_versionChecked = true;

    const QString answer = m_inet1->OpenURL(Hosts::versionFileUrl());
    if (answer.isEmpty()) {
        MessageBox::show(this, QStringLiteral("暂时无法使用!请检查您的网络!"),
                         MessageBox::OkOnly + MessageBox::Exclamation, MessageBox::defaultTitle());
        Program::endNow(0);
        return;
    }
    setStatusLine(welcomeText());
    if (answer == Hosts::ownVersion()) {
        ui->Command1->setEnabled(true);
        ui->Text1->setEnabled(true);
        return;
    }
    const QString message = QStringLiteral("发现最新版本![") + answer +
                            QStringLiteral("]\r\n \r\n确定后自动打开官方网站!");
    MessageBox::show(this, message, MessageBox::OkOnly + MessageBox::Information,
                     QStringLiteral("Tavi提示"));
    WebOpener::open(Hosts::forumPageUrl());
    Program::endNow(0);
}
