#include "Form2.h"
#include "ModalDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

namespace {

QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0),
                 qRound(height / 15.0));
}

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void controlGeometry_data();
    void controlGeometry();
    void captions_data();
    void captions();
    void boxesStartEmptyAndTakeTexts();
    void focusAndKeys();
    void closeBoxEndsModalRun();
};

void TestForm2::window()
{
    Form2 dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("Form2"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("获取MV"));
    const QSize client = fromTwips(0, 0, 9510, 2925).size();
    QCOMPARE(dialog.size(), client);
    QCOMPARE(dialog.minimumSize(), client);
    QCOMPARE(dialog.maximumSize(), client);

    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint screenCentre = dialog.screen()->availableGeometry().center();
    const QPoint offset = dialog.frameGeometry().center() - screenCentre;
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));
    QVERIFY(dialog.findChildren<QAbstractButton *>().isEmpty());
}

void TestForm2::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("Frame1") << QStringLiteral("Frame1") << QStringLiteral("Form2")
                            << QRect(120, 240, 9255, 1215);
    QTest::newRow("Label1") << QStringLiteral("Label1") << QStringLiteral("Frame1")
                            << QRect(240, 360, 900, 180);
    QTest::newRow("Label2") << QStringLiteral("Label2") << QStringLiteral("Frame1")
                            << QRect(240, 720, 1260, 180);
    QTest::newRow("Text1") << QStringLiteral("Text1") << QStringLiteral("Frame1")
                           << QRect(1440, 320, 7695, 270);
    QTest::newRow("Text2") << QStringLiteral("Text2") << QStringLiteral("Frame1")
                           << QRect(1440, 665, 7695, 270);
    QTest::newRow("Frame2") << QStringLiteral("Frame2") << QStringLiteral("Form2")
                            << QRect(120, 1560, 9255, 1095);
    QTest::newRow("Label3") << QStringLiteral("Label3") << QStringLiteral("Frame2")
                            << QRect(0, 480, 9255, 180);
}

void TestForm2::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);

    Form2 dialog;
    const QWidget *control = dialog.findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->parentWidget());
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), fromTwips(twips.x(), twips.y(), twips.width(), twips.height()));
}

void TestForm2::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Frame1") << QStringLiteral("Frame1") << QStringLiteral("视频信息");
    QTest::newRow("Frame2") << QStringLiteral("Frame2") << QStringLiteral("友情提示");
    QTest::newRow("Label1") << QStringLiteral("Label1") << QStringLiteral("视频地址：");
    QTest::newRow("Label2") << QStringLiteral("Label2") << QStringLiteral("HTML调用代码：");
    QTest::newRow("Label3 with Chinese quotes")
        << QStringLiteral("Label3")
        << QStringLiteral("已在当前文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频");
}

void TestForm2::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    Form2 dialog;
    if (auto *frame = dialog.findChild<QGroupBox *>(name)) {
        QCOMPARE(frame->title(), caption);
        return;
    }
    auto *label = dialog.findChild<QLabel *>(name);
    QVERIFY2(label, qPrintable(name));
    QCOMPARE(label->text(), caption);
    if (name == QLatin1String("Label3")) {
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(!label->wordWrap());
        QVERIFY2(label->fontMetrics().horizontalAdvance(caption) <= label->width(),
                 "the hint does not fit on one line");
    }
}

void TestForm2::boxesStartEmptyAndTakeTexts()
{
    Form2 dialog;
    auto *text1 = dialog.findChild<QLineEdit *>(QStringLiteral("Text1"));
    auto *text2 = dialog.findChild<QLineEdit *>(QStringLiteral("Text2"));
    QVERIFY(text1 && text2);
    QVERIFY(text1->text().isEmpty());
    QVERIFY(text2->text().isEmpty());
    QVERIFY(!text1->isReadOnly());
    QVERIFY(!text2->isReadOnly());
    QCOMPARE(text1->accessibleName(), QStringLiteral("视频地址"));
    QCOMPARE(text2->accessibleName(), QStringLiteral("HTML调用代码"));

    const QString html = QStringLiteral("<div><script src=\"a&b\"></script></div>");
    dialog.setTexts(QStringLiteral("a&b"), html);
    QCOMPARE(text1->text(), QStringLiteral("a&b"));
    QCOMPARE(text2->text(), html);
}

void TestForm2::focusAndKeys()
{
    Form2 dialog;
    auto *text1 = dialog.findChild<QLineEdit *>(QStringLiteral("Text1"));
    auto *text2 = dialog.findChild<QLineEdit *>(QStringLiteral("Text2"));
    QVERIFY(text1 && text2);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTRY_COMPARE(QApplication::focusWidget(), text1);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text1);

    QTest::keyClick(text1, Qt::Key_Escape);
    QVERIFY2(dialog.isVisible(), "Esc closed the dialog");
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClick(text2, Qt::Key_Enter);
    QVERIFY2(dialog.isVisible(), "Enter closed the dialog");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY2(dialog.isVisible(), "Esc on the dialog closed it");

    QVERIFY(dialog.close());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestForm2::closeBoxEndsModalRun()
{
    Form2 dialog;
    ModalDialogs modal;
    bool escapeKeptItOpen = false;
    bool closeBoxClosedIt = false;
    modal.whenShown([&](QWidget *shown) {
        QTest::keyClick(shown, Qt::Key_Escape);
        escapeKeptItOpen = shown->isVisible();
        shown->close();
        closeBoxClosedIt = !shown->isVisible();
        if (!closeBoxClosedIt)
            dialog.done(QDialog::Accepted); // end the run so the failure is reported
    });
    const int result = dialog.exec();
    QVERIFY(modal.handled());
    QVERIFY(escapeKeptItOpen);
    QVERIFY(closeBoxClosedIt);
    QCOMPARE(result, int(QDialog::Rejected));
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
