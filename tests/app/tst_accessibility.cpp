// The main window as a screen reader walks it: roles and names of every
// control, nothing that is only decoration or never shown, and the status
// line read from the status bar.

#include "FormHarness.h"

#include "Form1.h"

#include <QAccessible>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// objectName -> interface, for every node under root; a reader cannot tell unnamed nodes apart.
void collect(QAccessibleInterface *node, QHash<QString, QAccessibleInterface *> &byName)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        QVERIFY(child);
        QCOMPARE(child->parent()->object(), node->object());
        QCOMPARE(node->indexOfChild(child), i);
        const QString name = child->object()->objectName();
        QVERIFY2(!name.isEmpty(), child->object()->metaObject()->className());
        byName.insert(name, child);
        collect(child, byName);
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
        collect(root, m_tree);
    }

    // Each row is named by the object it reads.
    void controls_data()
    {
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        // Rows of one role: "object=name" separated by spaces.
        const auto rows = [](QAccessible::Role role, const QString &objectsAndNames) {
            for (const QString &row : objectsAndNames.split(u' '))
                QTest::newRow(qPrintable(row.section(u'=', 0, 0))) << role << row.section(u'=', 1);
        };
        rows(QAccessible::Grouping,
             u"Frame1=请输入唱吧网页地址： Frame2=个人信息 Frame3=歌曲信息"_s);
        rows(QAccessible::Button,
             u"Command9=粘贴地址 Command1=提取信息 Command6=如何获得 Command7=在线试听 "
             u"Command2=下载音乐 Command8=获取MV Command3=Lumo系列软件 Command4=Vantre官网 "
             u"Command5=退出程序 playButton=播放 stopButton=停止"_s);
        rows(QAccessible::StaticText,
             u"Label1=歌手名：未查询 Label4=粉丝数：未查询 Label3=其他信息： "
             u"Label10=请输入地址进行信息提取 Label2=演唱歌曲：未查询 Label5=播放次数：未查询 "
             u"Label6=收到礼物：未查询 Label7=转发次数：未查询 Label9=评论数量：未查询 "
             u"Panel1=运行提示： Panel2=正在检测是否有最新版本.. Panel3=Vantre出品"_s);
        rows(QAccessible::Slider, u"seekSlider=播放进度 volumeSlider=音量"_s);
        rows(QAccessible::EditableText, u"Text1=唱吧网页地址"_s);
        rows(QAccessible::Graphic, u"Image1=歌手照片"_s);
        rows(QAccessible::Client, u"W1=播放器"_s);
        rows(QAccessible::CheckBox, u"muteButton=静音"_s);
        rows(QAccessible::StatusBar, u"S1=状态栏"_s);
        QTest::newRow("timeLabel") << QAccessible::StaticText << u"00:00 / 00:00"_s;
    }

    void controls()
    {
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, name);
        QAccessibleInterface *node = m_tree.value(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY2(node, "not in the tree");
        QCOMPARE(node->role(), role);
        QCOMPARE(node->text(QAccessible::Name), name);
    }

    void decorationAndHiddenLeftOut()
    {
        for (const char *name : {"aicAlphaImage1", "Image2", "WebBrowser1"}) {
            QVERIFY2(!m_tree.contains(QString::fromLatin1(name)), name);
            QCOMPARE(control(m_form.get(), name)->focusPolicy(), Qt::NoFocus);
        }
    }

    void statusBarHoldsThePanels()
    {
        QAccessibleInterface *bar = m_tree.value(u"S1"_s);
        QVERIFY(bar);
        QStringList panels;
        for (int i = 0; i < bar->childCount(); ++i)
            panels.append(bar->child(i)->object()->objectName());
        QCOMPARE(panels, (QStringList{u"Panel1"_s, u"Panel2"_s, u"Panel3"_s}));
        // A new status line is what the panel's name reads (QLabel announces the change).
        m_form->setStatusLine(u"正在提取信息.."_s);
        QCOMPARE(m_tree.value(u"Panel2"_s)->text(QAccessible::Name), u"正在提取信息.."_s);
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
