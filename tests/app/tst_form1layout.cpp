#include "Form1.h"
#include "FormHarness.h"
#include "Skin.h"
#include "StatusBar.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {

// Positions and sizes as the layout gives them, in twips (15 to a pixel).
QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QString captionOf(const QWidget *w)
{
    if (auto *frame = qobject_cast<const QGroupBox *>(w))
        return frame->title();
    if (auto *button = qobject_cast<const QPushButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(w))
        return label->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(w))
        return edit->text();
    return QString();
}

bool fullyTransparent(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

} // namespace

class TestForm1Layout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void windowCannotBeResizedAndIsCentred();
    void initialState();
    void statusBarDockedWithThreePanels();
    void tabOrder();
    void firstFocusSkipsDisabledInput();
    void noKeyStartsAnything();
    void everyFocusableControlHasAName();
    void imagesShowTheDefaultPicture();
    void frameLiesOverThePhoto();
    void browserHiddenBeneathFrame3();
    void autoSizeLabelsGrowRightOnOneLine_data();
    void autoSizeLabelsGrowRightOnOneLine();
    void label10WrapsAndClipsInsideItsBox();
    void windowShowsNoIconButApplicationKeepsIt();
    void skinReadFromExecutableFolderAndTurned();

private:
    FormHarness m_harness;
    std::unique_ptr<Form1> m_form;
};

void TestForm1Layout::initTestCase()
{
    FormHarness::setProgramFont();
    QPixmap red(16, 16);
    red.fill(Qt::red);
    QApplication::setWindowIcon(QIcon(red));
}

void TestForm1Layout::init()
{
    m_harness.install();
    m_form = std::make_unique<Form1>();
    stopVersionTimer(m_form.get());
}

void TestForm1Layout::cleanup()
{
    m_form.reset();
    Skin::detachForTesting();
    m_harness.uninstall();
}

void TestForm1Layout::controls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");

    auto row = [](const char *name, const char *kind, const char *container, const QString &caption,
                  int l, int t, int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(container)
                            << caption << fromTwips(l, t, w, h);
    };
    row("Frame1", "QGroupBox", "Form1", QStringLiteral("请输入唱吧网页地址："), 240, 240, 4215,
        855);
    row("Command9", "QPushButton", "Form1", QStringLiteral("粘贴地址"), 4560, 360, 1095, 735);
    row("Command1", "QPushButton", "Form1", QStringLiteral("提取信息"), 5640, 360, 1095, 735);
    row("Command6", "QPushButton", "Form1", QStringLiteral("如何获得"), 6720, 360, 1095, 735);
    row("Frame2", "QGroupBox", "Form1", QStringLiteral("个人信息"), 240, 1320, 3135, 4695);
    row("Frame3", "QGroupBox", "Form1", QStringLiteral("歌曲信息"), 3600, 1320, 4215, 3735);
    row("WebBrowser1", "QWidget", "Form1", QString(), 6240, 3120, 255, 255);
    row("Command3", "QPushButton", "Form1", QStringLiteral("Lumo系列软件"), 3600, 5280, 1335, 735);
    row("Command4", "QPushButton", "Form1", QStringLiteral("Vantre官网"), 5040, 5280, 1335, 735);
    row("Command5", "QPushButton", "Form1", QStringLiteral("退出程序"), 6480, 5280, 1335, 735);
    row("W1", "QWidget", "Form1", QString(), 240, 6120, 7575, 615);
    row("S1", "StatusBar", "Form1", QString(), 0, 6975, 8085, 495);
    row("Image2", "QLabel", "Form1", QString(), 11280, 240, 1935, 1935);
    row("Text1", "QLineEdit", "Frame1", QString(), 240, 360, 3855, 270);
    row("Image1", "QLabel", "Frame2", QString(), 360, 240, 2460, 2460);
    row("aicAlphaImage1", "QLabel", "Frame2", QString(), 360, 240, 2460, 2460);
    row("Label1", "QLabel", "Frame2", QStringLiteral("歌手名：未查询"), 240, 3000, 1260, 180);
    row("Label4", "QLabel", "Frame2", QStringLiteral("粉丝数：未查询"), 240, 3360, 1260, 180);
    row("Label3", "QLabel", "Frame2", QStringLiteral("其他信息："), 240, 3720, 900, 180);
    row("Label10", "QLabel", "Frame2", QStringLiteral("请输入地址进行信息提取"), 240, 4080, 2535,
        375);
    row("Label2", "QLabel", "Frame3", QStringLiteral("演唱歌曲：未查询"), 240, 360, 1440, 180);
    row("Label5", "QLabel", "Frame3", QStringLiteral("播放次数：未查询"), 240, 720, 1440, 180);
    row("Label6", "QLabel", "Frame3", QStringLiteral("收到礼物：未查询"), 240, 1080, 1440, 180);
    row("Label7", "QLabel", "Frame3", QStringLiteral("转发次数：未查询"), 240, 1440, 1440, 180);
    row("Label9", "QLabel", "Frame3", QStringLiteral("评论数量：未查询"), 240, 1800, 1440, 180);
    row("Command7", "QPushButton", "Frame3", QStringLiteral("在线试听"), 240, 2280, 1815, 495);
    row("Command2", "QPushButton", "Frame3", QStringLiteral("下载音乐"), 2160, 2280, 1815, 495);
    row("Command8", "QPushButton", "Frame3", QStringLiteral("获取MV"), 240, 3000, 3735, 495);
}

void TestForm1Layout::controls()
{
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);

    const QList<QWidget *> found =
        m_form->findChildren<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(found.size(), 1);
    QWidget *w = found.first();
    QVERIFY2(w->inherits(kind.toLatin1().constData()), w->metaObject()->className());
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(captionOf(w), caption);
    QCOMPARE(w->geometry(), geometry);
}

void TestForm1Layout::windowCannotBeResizedAndIsCentred()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Sonavex V1.0"));
    const QSize client = fromTwips(0, 0, 8085, 7470).size();
    QCOMPARE(m_form->size(), client);
    QCOMPARE(m_form->minimumSize(), client);
    QCOMPARE(m_form->maximumSize(), client);
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);

    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->resize(800, 700);
    QCOMPARE(m_form->size(), client);
    const QPoint centre = m_form->screen()->availableGeometry().center();
    const QPoint delta = m_form->frameGeometry().center() - centre;
    QVERIFY2(delta.manhattanLength() <= 2,
             qPrintable(QStringLiteral("off centre by %1,%2").arg(delta.x()).arg(delta.y())));
}

void TestForm1Layout::initialState()
{
    QVERIFY(!control(m_form.get(), "Text1")->isEnabled());
    QVERIFY(!control(m_form.get(), "Command1")->isEnabled());
    for (const char *name : {"Command2", "Command3", "Command4", "Command5", "Command6", "Command7",
                             "Command8", "Command9"})
        QVERIFY2(control(m_form.get(), name)->isEnabled(), name);

    // A fresh window: its timer is running, once, one second after load.
    Form1 fresh;
    auto *timer = control<QTimer>(&fresh, "Timer2");
    QVERIFY(timer->isActive());
    QVERIFY(timer->isSingleShot());
    QCOMPARE(timer->interval(), 1000);
    timer->stop();
}

void TestForm1Layout::statusBarDockedWithThreePanels()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    auto *bar = control<StatusBar>(m_form.get(), "S1");
    QCOMPARE(bar->panelText(1), QStringLiteral("运行提示："));
    QCOMPARE(bar->panelText(2), QStringLiteral("正在检测是否有最新版本.."));
    QCOMPARE(bar->panelText(3), QStringLiteral("Vantre出品"));
    QCOMPARE(m_form->statusLine(), bar->panelText(2));
    QCOMPARE(bar->geometry().bottom(), m_form->rect().bottom());
    QCOMPARE(bar->width(), m_form->width());

    m_form->setStatusLine(QStringLiteral("新的状态"));
    QCOMPARE(bar->panelText(2), QStringLiteral("新的状态"));
    QCOMPARE(bar->panelText(1), QStringLiteral("运行提示："));
    QCOMPARE(bar->panelText(3), QStringLiteral("Vantre出品"));
}

void TestForm1Layout::tabOrder()
{
    const QStringList expected = {
        QStringLiteral("Text1"),    QStringLiteral("Command1"),    QStringLiteral("Command2"),
        QStringLiteral("Command3"), QStringLiteral("Command4"),    QStringLiteral("Command5"),
        QStringLiteral("Command6"), QStringLiteral("WebBrowser1"), QStringLiteral("Command7"),
        QStringLiteral("W1"),       QStringLiteral("Command8"),    QStringLiteral("Command9")};
    // What Tab visits, by the control it belongs to: the player's own buttons are W1's stop.
    QStringList chain;
    for (QWidget *w = m_form->nextInFocusChain(); w != m_form.get(); w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        QWidget *owner = w;
        while (owner && !expected.contains(owner->objectName()))
            owner = owner->parentWidget();
        if (owner && (chain.isEmpty() || chain.last() != owner->objectName()))
            chain.append(owner->objectName());
    }
    QCOMPARE(chain, expected);
}

void TestForm1Layout::firstFocusSkipsDisabledInput()
{
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTRY_VERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command2"));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command3"));
}

void TestForm1Layout::noKeyStartsAnything()
{
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
    text1->setEnabled(true);
    control(m_form.get(), "Command1")->setEnabled(true);
    text1->setFocus();
    QTRY_VERIFY(text1->hasFocus());

    QList<std::shared_ptr<QSignalSpy>> spies;
    for (QPushButton *button : m_form->findChildren<QPushButton *>()) {
        QVERIFY2(!button->autoDefault() && !button->isDefault(), qPrintable(button->objectName()));
        spies.append(std::make_shared<QSignalSpy>(button, &QPushButton::clicked));
    }
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClick(text1, Qt::Key_Enter);
    QTest::keyClick(text1, Qt::Key_Escape);
    for (const auto &spy : spies)
        QCOMPARE(spy->count(), 0);
    QVERIFY(m_form->isVisible());
    QVERIFY(MessageBox::history().isEmpty());
}

void TestForm1Layout::everyFocusableControlHasAName()
{
    for (QWidget *w : m_form->findChildren<QWidget *>()) {
        if (w->focusPolicy() == Qt::NoFocus)
            continue;
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
        QVERIFY(face);
        QVERIFY2(!face->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
    }
}

void TestForm1Layout::imagesShowTheDefaultPicture()
{
    const QImage picture = QPixmap(QStringLiteral(":/pictures/default.gif")).toImage();
    QVERIFY2(!picture.isNull(), "the default picture resource is missing");
    for (const char *name : {"Image1", "Image2"}) {
        auto *image = control<QLabel>(m_form.get(), name);
        QVERIFY2(image->hasScaledContents(), name);
        QCOMPARE(image->pixmap().toImage(), picture);
    }
    // Image2 holds the picture but lies wholly outside the client area.
    QVERIFY(!m_form->rect().intersects(control(m_form.get(), "Image2")->geometry()));
}

void TestForm1Layout::frameLiesOverThePhoto()
{
    auto *photo = control<QLabel>(m_form.get(), "Image1");
    auto *frame = control<QLabel>(m_form.get(), "aicAlphaImage1");
    QCOMPARE(frame->geometry(), photo->geometry());
    QVERIFY(!frame->pixmap().isNull());
    QVERIFY(frame->pixmap().hasAlphaChannel());
    QVERIFY(frame->hasScaledContents());
    QVERIFY(!frame->autoFillBackground());
    const QObjectList stack = photo->parent()->children();
    QVERIFY2(stack.indexOf(frame) > stack.indexOf(photo), "the frame must be drawn above");
    QVERIFY(frame->testAttribute(Qt::WA_TransparentForMouseEvents));
}

void TestForm1Layout::browserHiddenBeneathFrame3()
{
    QWidget *browser = control(m_form.get(), "WebBrowser1");
    auto *frame3 = control<QGroupBox>(m_form.get(), "Frame3");
    QVERIFY(frame3->geometry().contains(browser->geometry()));
    QVERIFY(frame3->autoFillBackground());
    QWidget *top = m_form->childAt(browser->geometry().center());
    QVERIFY(top);
    QVERIFY2(top == frame3 || frame3->isAncestorOf(top), qPrintable(top->objectName()));
}

void TestForm1Layout::autoSizeLabelsGrowRightOnOneLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("frame");
    QTest::newRow("user name runs past Frame2")
        << QStringLiteral("Label1") << QStringLiteral("Frame2");
    QTest::newRow("fan count") << QStringLiteral("Label4") << QStringLiteral("Frame2");
    QTest::newRow("song name runs past Frame3")
        << QStringLiteral("Label2") << QStringLiteral("Frame3");
    QTest::newRow("comment count") << QStringLiteral("Label9") << QStringLiteral("Frame3");
}

void TestForm1Layout::autoSizeLabelsGrowRightOnOneLine()
{
    QFETCH(QString, name);
    QFETCH(QString, frame);
    auto *label = m_form->findChild<QLabel *>(name);
    auto *container = m_form->findChild<QGroupBox *>(frame);
    const QPoint topLeft = label->pos();
    const QRect frameBefore = container->geometry();
    const QString caption = QStringLiteral("歌手名：") + QString(40, QChar(0x6F2B));

    m_form->setCaption(label, caption);

    const QFontMetrics fm(label->font());
    QCOMPARE(label->pos(), topLeft);
    QVERIFY2(qAbs(label->width() - fm.horizontalAdvance(caption)) <= 2,
             qPrintable(QStringLiteral("width %1 for a caption of %2")
                            .arg(label->width())
                            .arg(fm.horizontalAdvance(caption))));
    QVERIFY2(label->height() < 2 * fm.lineSpacing(), "an auto-size label never wraps");
    QVERIFY(label->geometry().right() > container->width());
    QCOMPARE(container->geometry(), frameBefore);

    m_form->setCaption(label, QStringLiteral("短"));
    QVERIFY2(qAbs(label->width() - fm.horizontalAdvance(QStringLiteral("短"))) <= 2,
             "a shorter caption shrinks the label again");
}

void TestForm1Layout::label10WrapsAndClipsInsideItsBox()
{
    auto *label = control<QLabel>(m_form.get(), "Label10");
    const QRect box = label->geometry();
    // Chinese without a single space must still wrap.
    const QString text = QString(60, QChar(0x5531));
    m_form->setCaption(label, text);

    QCOMPARE(label->geometry(), box);
    QVERIFY(label->wordWrap());
    QVERIFY(label->autoFillBackground());
    const int lineSpacing = QFontMetrics(label->font()).lineSpacing();
    QVERIFY2(label->heightForWidth(box.width()) >= 3 * lineSpacing,
             "the text must wrap onto several lines");
    QVERIFY2(label->heightForWidth(box.width()) > box.height(), "what does not fit is cut off");
}

void TestForm1Layout::windowShowsNoIconButApplicationKeepsIt()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    const QIcon own = m_form->windowIcon();
    QVERIFY(!own.isNull());
    QVERIFY(fullyTransparent(own.pixmap(16, 16).toImage()));
    QVERIFY(fullyTransparent(m_form->windowHandle()->icon().pixmap(16, 16).toImage()));
    const QImage appIcon = QApplication::windowIcon().pixmap(16, 16).toImage();
    QCOMPARE(appIcon.pixelColor(8, 8), QColor(Qt::red));
}

void TestForm1Layout::skinReadFromExecutableFolderAndTurned()
{
    m_form.reset();
    QFile skin(m_harness.exeDir.filePath(QStringLiteral("skinh.she")));
    QVERIFY(skin.open(QIODevice::WriteOnly));
    // Pure red, hue 0: after the start-up adjustment its hue is 166 and its
    // saturation and value are unchanged.
    skin.write("SkinPalette { window: #ff0000; }\n");
    skin.close();

    m_form = std::make_unique<Form1>();
    stopVersionTimer(m_form.get());
    const QColor window = QApplication::palette().color(QPalette::Window);
    QCOMPARE(window.hsvHue(), 166);
    QCOMPARE(window.hsvSaturation(), 255);
    QCOMPARE(window.value(), 255);
}

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
