#include "Form1.h"
#include "FormHarness.h"
#include "Hosts.h"
#include "Inet.h"
#include "LocalHttpServer.h"
#include "ModalDialogs.h"
#include "StatusBar.h"

#include <QClipboard>
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

    void controls()
    {
        // Name, container, left, top, width and height in twips, caption.
        const QStringList expected = {
            u"Frame1 Form1 240 240 4215 855 [请输入唱吧网页地址：]"_s,
            u"Command9 Form1 4560 360 1095 735 [粘贴地址]"_s,
            u"Command1 Form1 5640 360 1095 735 [提取信息]"_s,
            u"Command6 Form1 6720 360 1095 735 [如何获得]"_s,
            u"Frame2 Form1 240 1320 3135 4695 [个人信息]"_s,
            u"Frame3 Form1 3600 1320 4215 3735 [歌曲信息]"_s,
            u"WebBrowser1 Form1 6240 3120 255 255 []"_s,
            u"Command3 Form1 3600 5280 1335 735 [Lumo系列软件]"_s,
            u"Command4 Form1 5040 5280 1335 735 [Vantre官网]"_s,
            u"Command5 Form1 6480 5280 1335 735 [退出程序]"_s,
            u"W1 Form1 240 6120 7575 615 []"_s,
            u"S1 Form1 0 6975 8085 495 []"_s,
            u"Image2 Form1 11280 240 1935 1935 []"_s,
            u"Text1 Frame1 240 360 3855 270 []"_s,
            u"Image1 Frame2 360 240 2460 2460 []"_s,
            u"aicAlphaImage1 Frame2 360 240 2460 2460 []"_s,
            u"Label1 Frame2 240 3000 1260 180 [歌手名：未查询]"_s,
            u"Label4 Frame2 240 3360 1260 180 [粉丝数：未查询]"_s,
            u"Label3 Frame2 240 3720 900 180 [其他信息：]"_s,
            u"Label10 Frame2 240 4080 2535 375 [请输入地址进行信息提取]"_s,
            u"Label2 Frame3 240 360 1440 180 [演唱歌曲：未查询]"_s,
            u"Label5 Frame3 240 720 1440 180 [播放次数：未查询]"_s,
            u"Label6 Frame3 240 1080 1440 180 [收到礼物：未查询]"_s,
            u"Label7 Frame3 240 1440 1440 180 [转发次数：未查询]"_s,
            u"Label9 Frame3 240 1800 1440 180 [评论数量：未查询]"_s,
            u"Command7 Frame3 240 2280 1815 495 [在线试听]"_s,
            u"Command2 Frame3 2160 2280 1815 495 [下载音乐]"_s,
            u"Command8 Frame3 240 3000 3735 495 [获取MV]"_s,
        };
        QStringList actual;
        for (const QString &row : expected) {
            const QWidget *w = m_form->findChild<QWidget *>(row.section(u' ', 0, 0));
            QVERIFY2(w, qPrintable(row));
            const QRect r = w->geometry(); // 15 twips to a pixel
            // Group boxes have a title, the other controls a text.
            const QString caption =
                w->property("title").toString() + w->property("text").toString();
            actual << QString::asprintf("%s %s %d %d %d %d [%s]", qUtf8Printable(w->objectName()),
                                        qUtf8Printable(w->parentWidget()->objectName()), r.x() * 15,
                                        r.y() * 15, r.width() * 15, r.height() * 15,
                                        qUtf8Printable(caption));
        }
        QCOMPARE(actual, expected);
    }

    void initialStateTabOrderAndFocus()
    {
        QCOMPARE(m_form->windowTitle(), u"Sonavex V1.0"_s);
        QCOMPARE(m_form->maximumSize(), QSize(8085 / 15, 7470 / 15));
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
        // Only the version check enables the input.
        QVERIFY(!control(m_form.get(), "Text1")->isEnabled());
        QVERIFY(!control(m_form.get(), "Command1")->isEnabled());
        const auto *bar = control<StatusBar>(m_form.get(), "S1");
        QCOMPARE((QStringList{bar->panelText(1), m_form->statusLine(), bar->panelText(3)}),
                 (QStringList{u"运行提示："_s, u"正在检测是否有最新版本.."_s, u"Vantre出品"_s}));

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
        QCOMPARE(effects(), QStringList({u"感谢您对Nolie、对Lumo系列的软件的支持!\r \r"
                                         u"是否退出并到论坛可以下载更多Lumo系列原创免费软件?"_s,
                                         u"Lumo系列软件"_s, u"67"_s}) +
                                (answer == MessageBox::Yes ? QStringList{Hosts::forumPageUrl()}
                                                           : QStringList()));
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
                                         u"Lumo系列软件"_s, u"64"_s, Hosts::forumPageUrl(),
                                         Hosts::homePageUrl()}));
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
        const QStringList noNetwork{u"暂时无法使用!请检查您的网络!"_s, u"Lumo系列软件"_s, u"48"_s,
                                    u"end 0"_s};
        auto newer = [](const QString &version) {
            return QStringList{u"发现最新版本!["_s + version +
                                   u"]\r\n \r\n确定后自动打开官方网站!"_s,
                               u"Tavi提示"_s, u"64"_s, u"end 0"_s, Hosts::forumPageUrl()};
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
