#include "Program.h"

#include <QMessageBox>
#include <QWidget>
#include <QtTest>

class CountingWindow : public QWidget
{
public:
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closeRequests;
        QWidget::closeEvent(event);
    }
};

class TestProgram : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { Program::setEndHandlerForTesting({}); }
    void testHandlerOnlyRecords();
    void endsEveryLoopWithoutCloseRequests();
};

void TestProgram::testHandlerOnlyRecords()
{
    QList<int> codes;
    Program::setEndHandlerForTesting([&codes](int code) { codes.append(code); });
    CountingWindow window;
    window.show();
    Program::endNow(3);
    QCOMPARE(codes, QList<int>{3});
    QVERIFY(window.isVisible());
    QCOMPARE(window.closeRequests, 0);
}

// Runs last in this file: it uses the application's own event loop, as the
// program does, with a modal box open when the end comes.
void TestProgram::endsEveryLoopWithoutCloseRequests()
{
    CountingWindow first;
    CountingWindow second;
    first.show();
    second.show();
    bool boxReturned = false;

    QTimer::singleShot(0, &first, [&] {
        QMessageBox b(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"),
                      QMessageBox::Ok, &first);
        // Comes due inside the box's own loop.
        QTimer::singleShot(0, &first, [] { Program::endNow(7); });
        b.exec();
        boxReturned = true;
    });
    const int code = QCoreApplication::exec();

    QCOMPARE(code, 7);
    QVERIFY(boxReturned);
    QVERIFY(!first.isVisible());
    QVERIFY(!second.isVisible());
    QCOMPARE(first.closeRequests, 0);
    QCOMPARE(second.closeRequests, 0);
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
