// A bare Qt Widgets window of the main window's size, with one label and one
// button: what any Qt program pays to show a window.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Startup Baseline"));
    window.setFixedSize(539, 498);
    QLabel label(QStringLiteral("Baseline"), &window);
    label.move(16, 16);
    QPushButton button(QStringLiteral("OK"), &window);
    button.move(16, 48);
    window.show();
    return QApplication::exec();
}
