#include "Form1.h"
#include "FormHarness.h"
#include "Hosts.h"
#include "ModalDialogs.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

namespace {

// The exit question: two lines joined by a line holding one space, CR alone.
QString expectedExitQuestion()
{
    return QStringLiteral("感谢您对Nolie、对Lumo系列的软件的支持!") + QStringLiteral("\r") +
           QStringLiteral(" ") + QStringLiteral("\r") +
           QStringLiteral("是否退出并到论坛可以下载更多Lumo系列原创免费软件?");
}

const QString lumoTitle = QStringLiteral("Lumo系列软件");

} // namespace

class TestForm1Exit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { FormHarness::setProgramFont(); }
    void init();
    void cleanup();

    void exitQuestion_data();
    void exitQuestion();
    void realBoxDismissedKeepsTheWindow_data();
    void realBoxDismissedKeepsTheWindow();
    void twoCloseRequestsAskTwice();
    void cancelKeepsEverything();
    void pageButtons_data();
    void pageButtons();
    void helpMessage();
    void paste_data();
    void paste();

private:
    void requestClose(const QString &how);

    FormHarness m_harness;
    std::unique_ptr<Form1> m_form;
};

void TestForm1Exit::init()
{
    m_harness.install();
    m_form = std::make_unique<Form1>();
    stopVersionTimer(m_form.get());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestForm1Exit::cleanup()
{
    m_form.reset();
    m_harness.uninstall();
}

void TestForm1Exit::requestClose(const QString &how)
{
    if (how == QLatin1String("Command5"))
        QTest::mouseClick(control(m_form.get(), "Command5"), Qt::LeftButton);
    else
        m_form->close(); // what the close box and the system menu do
}

void TestForm1Exit::exitQuestion_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("opensForum");

    for (const char *how : {"close box", "Command5"}) {
        const QString h = QString::fromLatin1(how);
        QTest::addRow("%s, Yes: forum, then close", how) << h << 6 << true << true;
        QTest::addRow("%s, No: close, open nothing", how) << h << 7 << true << false;
        QTest::addRow("%s, Cancel: stay", how) << h << 2 << false << false;
        QTest::addRow("%s, OK code is not Yes or No: stay", how) << h << 1 << false << false;
    }
}

void TestForm1Exit::exitQuestion()
{
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, opensForum);

    MessageBox::setNextAnswer(answer);
    requestClose(how);

    QCOMPARE(MessageBox::history().size(), 1);
    const MessageBox::Shown box = MessageBox::history().first();
    QCOMPARE(box.text, expectedExitQuestion());
    QCOMPARE(box.flags, 67);
    QCOMPARE(box.title, lumoTitle);
    QCOMPARE(m_form->isVisible(), !closes);
    QCOMPARE(m_harness.opened, opensForum ? QStringList{Hosts::forumPageUrl()} : QStringList());
    QVERIFY2(m_harness.ended.isEmpty(), "a normal close is not the version check's hard end");
}

void TestForm1Exit::realBoxDismissedKeepsTheWindow_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Esc on the question") << true;
    QTest::newRow("close box of the question") << false;
}

void TestForm1Exit::realBoxDismissedKeepsTheWindow()
{
    QFETCH(bool, escape);
    ModalDialogs dialogs;
    QString shownText;
    bool threeButtons = false;
    bool yesIsDefault = false;
    dialogs.whenShown([&](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box) {
            shownText = box->text();
            threeButtons = box->standardButtons() ==
                           (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        }
        if (escape)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });

    QVERIFY(!m_form->close());

    QVERIFY(dialogs.handled());
    QVERIFY(!dialogs.timedOut());
    QVERIFY(threeButtons);
    QVERIFY(yesIsDefault);
    QVERIFY(shownText.startsWith(QStringLiteral("感谢您对Nolie")));
    QVERIFY(m_form->isVisible());
    QVERIFY(m_harness.opened.isEmpty());
}

void TestForm1Exit::twoCloseRequestsAskTwice()
{
    MessageBox::setNextAnswer(MessageBox::Cancel);
    MessageBox::setNextAnswer(MessageBox::Yes);
    QVERIFY(!m_form->close());
    QVERIFY(m_form->isVisible());
    QVERIFY(m_harness.opened.isEmpty());

    QVERIFY(m_form->close());
    QCOMPARE(MessageBox::history().size(), 2);
    QCOMPARE(MessageBox::history().at(1).text, expectedExitQuestion());
    QCOMPARE(m_harness.opened, QStringList{Hosts::forumPageUrl()});
}

void TestForm1Exit::cancelKeepsEverything()
{
    auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
    text1->setEnabled(true);
    control(m_form.get(), "Command1")->setEnabled(true);
    text1->setText(QStringLiteral("http://changba.com/s/kept"));
    m_form->setCaption(control<QLabel>(m_form.get(), "Label1"), QStringLiteral("歌手名：某人"));
    m_form->setStatusLine(QStringLiteral("某个状态"));

    MessageBox::setNextAnswer(MessageBox::Cancel);
    QTest::mouseClick(control(m_form.get(), "Command5"), Qt::LeftButton);

    QVERIFY(m_form->isVisible());
    QVERIFY(text1->isEnabled());
    QVERIFY(control(m_form.get(), "Command1")->isEnabled());
    QCOMPARE(text1->text(), QStringLiteral("http://changba.com/s/kept"));
    QCOMPARE(control<QLabel>(m_form.get(), "Label1")->text(), QStringLiteral("歌手名：某人"));
    QCOMPARE(m_form->statusLine(), QStringLiteral("某个状态"));
}

void TestForm1Exit::pageButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("page");
    QTest::newRow("Command3 opens the forum")
        << QStringLiteral("Command3") << Hosts::forumPageUrl();
    QTest::newRow("Command4 opens the home page")
        << QStringLiteral("Command4") << Hosts::homePageUrl();
}

void TestForm1Exit::pageButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, page);
    QTest::mouseClick(m_form->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(m_harness.opened, QStringList{page});
    QVERIFY(MessageBox::history().isEmpty());
    QVERIFY(m_form->isVisible());
}

void TestForm1Exit::helpMessage()
{
    MessageBox::setNextAnswer(MessageBox::Ok);
    QTest::mouseClick(control(m_form.get(), "Command6"), Qt::LeftButton);

    QCOMPARE(MessageBox::history().size(), 1);
    const MessageBox::Shown box = MessageBox::history().first();
    const QStringList lines = box.text.split(QStringLiteral("\r\n"));
    const QStringList expected = {
        QStringLiteral("第一步：使用手机唱吧打开您要获取的音乐页面"), QStringLiteral(" "),
        QStringLiteral("第二步：选择右下角--分享功能--分享至任意平台"), QStringLiteral(" "),
        QStringLiteral("第三步：打开分享页面，复制上面地址填写到本软件即可")};
    QCOMPARE(lines, expected);
    QCOMPARE(box.text.count(QLatin1Char('\r')), 4);
    QCOMPARE(box.text.count(QLatin1Char('\n')), 4);
    QCOMPARE(box.flags, 64);
    QCOMPARE(box.title, lumoTitle);
}

void TestForm1Exit::paste_data()
{
    QTest::addColumn<QString>("clipboardKind");
    QTest::addColumn<QString>("clipboardText");
    QTest::addColumn<bool>("text1Enabled");
    QTest::addColumn<QString>("expected");

    const QString address = QStringLiteral("  我分享了 http://changba.com/s/AbC-123?x=1 \r\n");
    QTest::newRow("text replaces the old content, untrimmed, while disabled")
        << QStringLiteral("text") << address << false << address;
    QTest::newRow("text replaces the old content when enabled")
        << QStringLiteral("text") << address << true << address;
    QTest::newRow("empty clipboard empties the box")
        << QStringLiteral("empty") << QString() << false << QString();
    QTest::newRow("image only empties the box")
        << QStringLiteral("image") << QString() << false << QString();
    QTest::newRow("HTML without plain text empties the box")
        << QStringLiteral("html") << QStringLiteral("<b>http://changba.com/s/x</b>") << true
        << QString();
}

void TestForm1Exit::paste()
{
    QFETCH(QString, clipboardKind);
    QFETCH(QString, clipboardText);
    QFETCH(bool, text1Enabled);
    QFETCH(QString, expected);

    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboardKind == QLatin1String("text")) {
        clipboard->setText(clipboardText);
    } else if (clipboardKind == QLatin1String("image")) {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        clipboard->setImage(image);
    } else if (clipboardKind == QLatin1String("html")) {
        auto *data = new QMimeData;
        data->setHtml(clipboardText);
        clipboard->setMimeData(data);
    } else {
        clipboard->clear();
    }

    auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
    text1->setEnabled(text1Enabled);
    text1->setText(QStringLiteral("旧的内容"));
    QTest::mouseClick(control(m_form.get(), "Command9"), Qt::LeftButton);
    QCOMPARE(text1->text(), expected);
}

QTEST_MAIN(TestForm1Exit)
#include "tst_form1exit.moc"
