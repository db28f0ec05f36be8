#include "StatusBar.h"

#include <QLabel>
#include <QtTest>

class TestStatusBar : public QObject
{
    Q_OBJECT
private slots:
    void panelsShareTheWidth_data();
    void panelsShareTheWidth();
    void longTextStaysInTheMiddlePanel();
};

void TestStatusBar::panelsShareTheWidth_data()
{
    QTest::addColumn<int>("barWidth");
    QTest::newRow("window width: middle panel takes the rest") << 539;
    QTest::newRow("wide bar: only the middle panel grows") << 1200;
    QTest::newRow("narrow bar: outer panels keep their width") << 320;
}

void TestStatusBar::panelsShareTheWidth()
{
    QFETCH(int, barWidth);
    StatusBar bar;
    bar.setGeometry(0, 0, barWidth, 33);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));

    const QRect p1 = bar.panelLabel(1)->geometry();
    const QRect p2 = bar.panelLabel(2)->geometry();
    const QRect p3 = bar.panelLabel(3)->geometry();
    QCOMPARE(p1.width(), StatusBar::SidePanelWidth);
    QCOMPARE(p3.width(), StatusBar::SidePanelWidth);
    QVERIFY2(p1.right() < p2.left() && p2.right() < p3.left(),
             "panels must stand left to right without overlapping");
    // Only margins and spacing may be left over: the middle panel fills the gap.
    const int slack = barWidth - p1.width() - p2.width() - p3.width();
    QVERIFY2(slack >= 0 && slack <= 12, qPrintable(QStringLiteral("slack %1").arg(slack)));
    QVERIFY(p3.right() >= barWidth - 6);
}

void TestStatusBar::longTextStaysInTheMiddlePanel()
{
    StatusBar bar;
    bar.setGeometry(0, 0, 539, 33);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QRect before = bar.panelLabel(2)->geometry();

    bar.setPanelText(2, QString(300, QChar(0x4E2D)));
    QTRY_COMPARE(bar.panelLabel(2)->geometry(), before);
    QCOMPARE(bar.panelLabel(1)->width(), StatusBar::SidePanelWidth);
    QCOMPARE(bar.panelLabel(3)->width(), StatusBar::SidePanelWidth);
    QCOMPARE(bar.width(), 539);
}

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
