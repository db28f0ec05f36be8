#include "Program.h"
#include "Skin.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_closeRequests = 0;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        m_closeRequests += event->type() == QEvent::Close;
        return QObject::eventFilter(watched, event);
    }
    // The label's colour comes from the sheet, the window colour from the palette rule.
    static QStringList look()
    {
        QLabel label;
        label.ensurePolished();
        return {label.palette().color(QPalette::WindowText).name(),
                QApplication::palette().color(QPalette::Window).name()};
    }

private slots:
    void cleanupTestCase() { Skin::detachForTesting(); }

    void unusableSkinChangesNothing()
    {
        Skin::detachForTesting();
        qApp->setStyleSheet(u"QLabel { color: #010203; }"_s);
        for (const QString &path : {m_dir.filePath(u"absent.she"_s), m_dir.path()})
            QCOMPARE(SkinH_AttachEx(path, QString()), 0);
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
    void hueShift()
    {
        QFETCH(QString, color);
        QFETCH(int, hue);
        QFETCH(QString, expected);
        QFile file(m_dir.filePath(u"skinh.she"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(u"SkinPalette { window: %1; }\nQLabel { color: %1; }"_s.arg(color).toUtf8());
        file.close();
        QCOMPARE(SkinH_AttachEx(file.fileName(), u"any password"_s), 1);
        QVERIFY(!qApp->styleSheet().contains(QLatin1String("SkinPalette")));
        QCOMPARE(SkinH_AdjustHSV(hue, 0, 0), 1);
        QCOMPARE(SkinH_AdjustHSV(hue, 0, 0), 1); // each call starts from the skin's own colours
        QCOMPARE(look(), QStringList(2, expected));
        QCOMPARE(SkinH_AttachEx(file.fileName(), QString()), 1); // attaching again: unshifted
        QCOMPARE(look(), QStringList(2, color.toLower()));
    }

    // Last: it ends the application's own event loop, from inside a message box's.
    void endNowLeavesEveryLoopWithoutCloseRequests()
    {
        QWidget window;
        window.installEventFilter(this);
        window.show();
        bool boxReturned = false;
        QTimer::singleShot(0, &window, [&] {
            QMessageBox box(QMessageBox::Information, u"t"_s, u"x"_s, QMessageBox::Ok, &window);
            QTimer::singleShot(0, &window, [] { Program::endNow(7); });
            box.exec();
            boxReturned = true;
        });
        QCOMPARE(QCoreApplication::exec(), 7);
        QVERIFY(boxReturned);
        QVERIFY(!window.isVisible());
        QCOMPARE(m_closeRequests, 0);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
