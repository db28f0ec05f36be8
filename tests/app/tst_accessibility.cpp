// The main window as a screen reader walks it: roles and names of every
// control, nothing that is only decoration or never shown, and the status
// line read from the status bar.

#include "FormHarness.h"

#include "Form1.h"

#include <QAccessible>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// objectName -> interface, for every node under root.
void collect(QAccessibleInterface *node, QHash<QString, QAccessibleInterface *> &byName,
             QStringList &unnamed)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        QVERIFY(child);
        QCOMPARE(child->parent()->object(), node->object());
        QCOMPARE(node->indexOfChild(child), i);
        const QString name = child->object()->objectName();
        if (name.isEmpty())
            unnamed.append(QString::fromLatin1(child->object()->metaObject()->className()));
        else
            byName.insert(name, child);
        collect(child, byName, unnamed);
    }
}

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT
    FormHarness m_harness;
    std::unique_ptr<Form1> m_form;
    QHash<QString, QAccessibleInterface *> m_tree;

private slots:
    void initTestCase()
    {
        FormHarness::setProgramFont();
        m_harness.install();
        m_form = std::make_unique<Form1>();
        stopVersionTimer(m_form.get());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QAccessibleInterface *root = QAccessible::queryAccessibleInterface(m_form.get());
        QVERIFY(root);
        // A window role makes the reader announce the title when the window gets focus.
        QCOMPARE(root->role(), QAccessible::Window);
        QCOMPARE(root->text(QAccessible::Name), u"Sonavex V1.0"_s);
        QStringList unnamed;
        collect(root, m_tree, unnamed);
        QCOMPARE(unnamed, QStringList());
    }

    void cleanupTestCase()
    {
        m_form.reset();
        m_harness.uninstall();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *object, QAccessible::Role role, const QString &name) {
            QTest::newRow(object) << QString::fromLatin1(object) << role << name;
        };
        row("Frame1", QAccessible::Grouping, u"请输入唱吧网页地址："_s);
        row("Text1", QAccessible::EditableText, u"唱吧网页地址"_s);
        row("Command9", QAccessible::Button, u"粘贴地址"_s);
        row("Command1", QAccessible::Button, u"提取信息"_s);
        row("Command6", QAccessible::Button, u"如何获得"_s);
        row("Frame2", QAccessible::Grouping, u"个人信息"_s);
        row("Image1", QAccessible::Graphic, u"歌手照片"_s);
        row("Label1", QAccessible::StaticText, u"歌手名：未查询"_s);
        row("Label4", QAccessible::StaticText, u"粉丝数：未查询"_s);
        row("Label3", QAccessible::StaticText, u"其他信息："_s);
        row("Label10", QAccessible::StaticText, u"请输入地址进行信息提取"_s);
        row("Frame3", QAccessible::Grouping, u"歌曲信息"_s);
        row("Label2", QAccessible::StaticText, u"演唱歌曲：未查询"_s);
        row("Label5", QAccessible::StaticText, u"播放次数：未查询"_s);
        row("Label6", QAccessible::StaticText, u"收到礼物：未查询"_s);
        row("Label7", QAccessible::StaticText, u"转发次数：未查询"_s);
        row("Label9", QAccessible::StaticText, u"评论数量：未查询"_s);
        row("Command7", QAccessible::Button, u"在线试听"_s);
        row("Command2", QAccessible::Button, u"下载音乐"_s);
        row("Command8", QAccessible::Button, u"获取MV"_s);
        row("Command3", QAccessible::Button, u"Lumo系列软件"_s);
        row("Command4", QAccessible::Button, u"Vantre官网"_s);
        row("Command5", QAccessible::Button, u"退出程序"_s);
        row("W1", QAccessible::Client, u"播放器"_s);
        row("playButton", QAccessible::Button, u"播放"_s);
        row("stopButton", QAccessible::Button, u"停止"_s);
        row("seekSlider", QAccessible::Slider, u"播放进度"_s);
        row("timeLabel", QAccessible::StaticText, u"00:00 / 00:00"_s);
        row("muteButton", QAccessible::CheckBox, u"静音"_s);
        row("volumeSlider", QAccessible::Slider, u"音量"_s);
        row("S1", QAccessible::StatusBar, u"状态栏"_s);
    }

    void controls()
    {
        QFETCH(QString, object);
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, name);
        QAccessibleInterface *node = m_tree.value(object);
        QVERIFY2(node, qPrintable(object + u" is not in the tree"_s));
        QCOMPARE(node->role(), role);
        QCOMPARE(node->text(QAccessible::Name), name);
    }

    void decorationAndHiddenLeftOut()
    {
        for (const char *name : {"aicAlphaImage1", "Image2", "WebBrowser1"}) {
            QVERIFY2(!m_tree.contains(QString::fromLatin1(name)), name);
            QWidget *widget = control(m_form.get(), name);
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
        }
    }

    void statusBarReadsItsPanels()
    {
        QAccessibleInterface *bar = m_tree.value(u"S1"_s);
        QVERIFY(bar);
        QStringList panels;
        for (int i = 0; i < bar->childCount(); ++i) {
            QCOMPARE(bar->child(i)->role(), QAccessible::StaticText);
            panels.append(bar->child(i)->text(QAccessible::Name));
        }
        QCOMPARE(panels,
                 (QStringList{u"运行提示："_s, u"正在检测是否有最新版本.."_s, u"Vantre出品"_s}));

        // A new status line is what the panel's name reads (QLabel announces the change).
        m_form->setStatusLine(u"正在提取信息.."_s);
        QCOMPARE(bar->child(1)->text(QAccessible::Name), u"正在提取信息.."_s);
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
