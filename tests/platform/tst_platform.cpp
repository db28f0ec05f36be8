// The platform layer's skin and program end, through the calls the window makes.

#include "Program.h"
#include "Skin.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    static QString windowColor() { return QApplication::palette().color(QPalette::Window).name(); }

private slots:
    void cleanup() { Skin::detachForTesting(); }

    void unusableSkinChangesNothing()
    {
        qApp->setStyleSheet(u"QLabel { color: #010203; }"_s);
        QCOMPARE(SkinH_AttachEx(m_dir.filePath(u"absent.she"_s), QString()), 0);
        QCOMPARE(SkinH_AdjustHSV(120, 0, 0), 0);
        QCOMPARE(qApp->styleSheet(), u"QLabel { color: #010203; }"_s);
        qApp->setStyleSheet(QString());
    }

    // Red, green and blue sit 120 degrees apart; grey has no hue.
    void hueShift_data()
    {
        QTest::addColumn<QString>("color");
        QTest::addColumn<int>("hue");
        QTest::addColumn<QString>("expected");
        QTest::newRow("red to green") << u"#ff0000"_s << 120 << u"#00ff00"_s;
        QTest::newRow("backwards, upper case") << u"#FF0000"_s << -120 << u"#0000ff"_s;
        QTest::newRow("wraps") << u"#ff0000"_s << 480 << u"#00ff00"_s;
        QTest::newRow("grey stays") << u"#808080"_s << 166 << u"#808080"_s;
    }
    // The palette rule colours the window; the rest of the file reaches Qt as the sheet.
    void hueShift()
    {
        QFETCH(QString, color);
        QFETCH(int, hue);
        QFETCH(QString, expected);
        const QString sheet = u"QLabel { color: %1; }"_s;
        const QString skin = u"SkinPalette { window: %1; }"_s + sheet;
        QFile file(m_dir.filePath(u"skinh.she"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(skin.arg(color).toUtf8()) &&
                file.flush());
        QCOMPARE(SkinH_AttachEx(file.fileName(), u"any password"_s), 1);
        QCOMPARE(SkinH_AdjustHSV(hue, 0, 0), 1);
        QCOMPARE(SkinH_AdjustHSV(hue, 0, 0), 1); // each call starts from the skin's own colours
        QCOMPARE(windowColor(), expected);
        QCOMPARE(qApp->styleSheet(), sheet.arg(expected));
        QCOMPARE(SkinH_AttachEx(file.fileName(), QString()), 1); // attaching again: unshifted
        QCOMPARE(windowColor(), color.toLower());
        QCOMPARE(qApp->styleSheet(), sheet.arg(color));
    }

    // Last: it ends the application's own event loop, from inside a message box's.
    void endNowLeavesEveryLoopWithoutCloseRequests()
    {
        struct Window : QWidget
        {
            int closeRequests = 0;
            void closeEvent(QCloseEvent *) override { ++closeRequests; }
        } window;
        window.show();
        QTimer::singleShot(0, &window, [&window] {
            QTimer::singleShot(0, &window, [] { Program::endNow(7); });
            QMessageBox::information(&window, u"t"_s, u"x"_s);
        });
        QCOMPARE(QCoreApplication::exec(), 7); // returns only once the box's loop has ended
        QVERIFY(!window.isVisible());
        QCOMPARE(window.closeRequests, 0);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
