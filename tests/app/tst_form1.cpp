#include "Form1.h"
#include "FormHarness.h"
#include "Hosts.h"
#include "Inet.h"
#include "LocalHttpServer.h"
#include "ModalDialogs.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QNetworkProxy>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestForm1 : public QObject
{
    Q_OBJECT
    FormHarness m_harness;
    std::unique_ptr<Form1> m_form;

    void click(const char *name) { QTest::mouseClick(control(m_form.get(), name), Qt::LeftButton); }
    static QString flags(int value) { return QString::number(value); }
    // Boxes shown (text, title, flags), then program ends, then pages opened.
    QStringList effects() const
    {
        QStringList seen;
        for (const MessageBox::Shown &box : MessageBox::history())
            seen << box.text << box.title << QString::number(box.flags);
        for (int code : m_harness.ended)
            seen << u"end %1"_s.arg(code);
        return seen + m_harness.opened;
    }

private slots:
    void initTestCase() { FormHarness::setProgramFont(); }
    void init()
    {
        m_harness.install();
        m_form = std::make_unique<Form1>();
        stopVersionTimer(m_form.get());
        m_form->show();
    }
    void cleanup()
    {
        m_form.reset();
        m_harness.uninstall();
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    void controlsInPlace()
    {
        // Captions are read in tst_accessibility. Every visible control lies inside its
        // container, shows its whole caption and stays clear of its neighbours (the top buttons
        // share a border pixel), except the frame picture laid over the photo. Image2 holds a
        // picture off the window on purpose; WebBrowser1 hides beneath Frame3.
        const auto apart = [](const QWidget *a, const QWidget *b) {
            const QRect shared = a->geometry() & b->geometry();
            return a == b || shared.width() <= 1 || shared.height() <= 1 ||
                   QSet<QString>{a->objectName(), b->objectName()} ==
                       QSet<QString>{u"Image1"_s, u"aicAlphaImage1"_s};
        };
        const QStringList offLayout{u"Image2"_s, u"WebBrowser1"_s};
        for (QWidget *parent :
             {control(m_form.get(), "Frame1"), control(m_form.get(), "Frame2"),
              control(m_form.get(), "Frame3"), static_cast<QWidget *>(m_form.get())}) {
            QList<QWidget *> placed;
            for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                if (w->isVisibleTo(m_form.get()) && !offLayout.contains(w->objectName()))
                    placed << w;
            for (QWidget *w : placed) {
                QVERIFY2(parent->rect().contains(w->geometry()), qPrintable(w->objectName()));
                if (auto *label = qobject_cast<QLabel *>(w);
                    label && !label->wordWrap() && label->pixmap().isNull())
                    QVERIFY2(label->width() >= label->sizeHint().width(),
                             qPrintable(w->objectName()));
                for (QWidget *other : placed)
                    QVERIFY2(apart(w, other),
                             qPrintable(w->objectName() + u" over "_s + other->objectName()));
            }
        }
        const QWidget *web = control(m_form.get(), "WebBrowser1");
        const QWidget *frame3 = control(m_form.get(), "Frame3");
        QVERIFY(frame3->geometry().contains(web->geometry()));
        QVERIFY(m_form->children().indexOf(web) < m_form->children().indexOf(frame3));
    }

    void label10HoldsTwoLines()
    {
        // Other information often takes two lines; both must show whole at the desktop's font size.
        const QFont programFont = QApplication::font();
        for (int pixels : {12, 16}) {
            QFont font = programFont;
            font.setPixelSize(pixels);
            QApplication::setFont(font);
            Form1 form;
            const auto *label10 = control<QLabel>(&form, "Label10");
            QVERIFY2(2 * label10->fontMetrics().lineSpacing() <= label10->contentsRect().height(),
                     qPrintable(QString::number(pixels)));
        }
        QApplication::setFont(programFont);
    }

    void initialStateTabOrderAndFocus()
    {
        // Title and status panels are read in tst_accessibility.
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
        // Only the version check enables the input.
        QVERIFY(!control(m_form.get(), "Text1")->isEnabled());
        QVERIFY(!control(m_form.get(), "Command1")->isEnabled());

        const QStringList expected = u"Text1 Command1 Command2 Command3 Command4 Command5 Command6 "
                                     u"Command7 W1 Command8 Command9"_s.split(u' ');
        // Named by the control each stop belongs to: the player's own buttons are W1's stop.
        QStringList chain;
        for (QWidget *w = m_form->nextInFocusChain(); w != m_form.get();
             w = w->nextInFocusChain()) {
            QWidget *owner = w;
            while (owner && !expected.contains(owner->objectName()))
                owner = owner->parentWidget();
            if ((w->focusPolicy() & Qt::TabFocus) && owner && !chain.endsWith(owner->objectName()))
                chain.append(owner->objectName());
        }
        QCOMPARE(chain, expected);

        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QTRY_COMPARE(QApplication::focusWidget(), control(m_form.get(), "Command2"));
    }

    void exitQuestion_data()
    {
        // "close" is what the close box does; "click" presses Command5.
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("answer"); // 0: Esc on the real box
        QTest::newRow("Yes: forum, then close") << QByteArray("close") << int(MessageBox::Yes);
        QTest::newRow("No: close only") << QByteArray("close") << int(MessageBox::No);
        QTest::newRow("Cancel: stay") << QByteArray("close") << int(MessageBox::Cancel);
        QTest::newRow("Esc counts as Cancel, not No") << QByteArray("close") << 0;
        QTest::newRow("Command5, Yes") << QByteArray("click") << int(MessageBox::Yes);
    }
    void exitQuestion()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, answer);
        ModalDialogs dialogs;
        if (answer == 0)
            dialogs.whenShown([](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        else
            MessageBox::setNextAnswer(answer);
        QWidget *target = request == "click" ? control(m_form.get(), "Command5") : m_form.get();
        QMetaObject::invokeMethod(target, request.constData());
        QCOMPARE(
            effects(),
            QStringList({u"感谢您对Nolie、对Lumo系列的软件的支持!\r \r"
                         u"是否退出并到论坛可以下载更多Lumo系列原创免费软件?"_s,
                         u"Lumo系列软件"_s,
                         flags(MessageBox::YesNoCancel + MessageBox::Information)}) +
                (answer == MessageBox::Yes ? QStringList{Hosts::forumPageUrl()} : QStringList()));
        QCOMPARE(m_form->isVisible(), answer == MessageBox::Cancel || answer == 0);
    }

    void helpAndPageButtons()
    {
        MessageBox::setNextAnswer(MessageBox::Ok);
        click("Command6");
        click("Command3");
        click("Command4");
        QCOMPARE(effects(), (QStringList{u"第一步：使用手机唱吧打开您要获取的音乐页面\r\n \r\n"
                                         u"第二步：选择右下角--分享功能--分享至任意平台\r\n \r\n"
                                         u"第三步：打开分享页面，复制上面地址填写到本软件即可"_s,
                                         u"Lumo系列软件"_s, flags(MessageBox::Information),
                                         Hosts::forumPageUrl(), Hosts::homePageUrl()}));
    }

    void paste()
    {
        auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
        auto pasted = [&](const std::function<void(QMimeData *)> &fill) {
            auto *data = new QMimeData;
            fill(data);
            QGuiApplication::clipboard()->setMimeData(data);
            text1->setText(u"旧的内容"_s);
            click("Command9");
            return text1->text();
        };
        // Untrimmed, and into the still disabled box.
        const QString shared = u"  我分享了 http://changba.com/s/AbC-123 \r\n"_s;
        QCOMPARE(pasted([&](QMimeData *d) { d->setText(shared); }), shared);
        // Anything but plain text empties the box.
        QCOMPARE(pasted([](QMimeData *d) { d->setImageData(QImage(8, 8, QImage::Format_RGB32)); }),
                 QString());
        QCOMPARE(pasted([](QMimeData *d) { d->setHtml(u"<b>http://changba.com/s/x</b>"_s); }),
                 QString());
    }

    void versionCheck_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status"); // 0: never answers
        QTest::addColumn<QStringList>("expected");
        const QStringList noNetwork{u"暂时无法使用!请检查您的网络!"_s, u"Lumo系列软件"_s,
                                    flags(MessageBox::Exclamation), u"end 0"_s};
        auto newer = [](const QString &version) {
            return QStringList{
                u"发现最新版本!["_s + version + u"]\r\n \r\n确定后自动打开官方网站!"_s,
                u"Tavi提示"_s, flags(MessageBox::Information), u"end 0"_s, Hosts::forumPageUrl()};
        };
        QTest::newRow("own version") << QByteArray("V1.0") << 200 << QStringList();
        QTest::newRow("empty file") << QByteArray() << 200 << noNetwork;
        QTest::newRow("404 saying V1.0") << QByteArray("V1.0") << 404 << noNetwork;
        QTest::newRow("time-out") << QByteArray("V1.0") << 0 << noNetwork;
        QTest::newRow("newer version") << QByteArray("V1.1") << 200 << newer(u"V1.1"_s);
        QTest::newRow("CR LF makes another version")
            << QByteArray("V1.0\r\n") << 200 << newer(u"V1.0\r\n"_s);
    }
    void versionCheck()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QStringList, expected);
        HttpResponse response = HttpResponse::text(body, "text/plain", status);
        if (status == 0)
            response.behaviour = HttpResponse::Behaviour::Silent;
        LocalHttpServer server; // the maker's server, as the proxy on 127.0.0.1
        QVERIFY(server.listen());
        // The proxy sees host and path.
        server.route(QUrl(Hosts::versionFileUrl()).toString(QUrl::RemoveScheme).mid(2), response);
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, server.port()));
        m_form->findChild<Inet *>(u"Inet1"_s)->setRequestTimeout(300);
        // The second answer lets a needless second box fail the test instead of hanging it.
        MessageBox::setNextAnswer(MessageBox::Ok);
        MessageBox::setNextAnswer(MessageBox::Ok);

        m_form->Timer2_Timer();
        m_form->Timer2_Timer(); // a second tick must not check again
        QCOMPARE(server.requests().size(), 1);
        // One box at most: the end raises no exit question.
        QCOMPARE(effects(), expected);
        QCOMPARE(control(m_form.get(), "Text1")->isEnabled(), expected.isEmpty());
        QCOMPARE(control(m_form.get(), "Command1")->isEnabled(), expected.isEmpty());
        if (expected.isEmpty())
            QCOMPARE(m_form->statusLine(), u"欢迎使用Vantre旗下Lumo系列软件 .."_s);
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
