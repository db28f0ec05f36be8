#include "Program.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace {
std::function<void(int)> &testHandler()
{
    static std::function<void(int)> handler;
    return handler;
}
} // namespace

void Program::endNow(int exitCode)
{
    if (testHandler()) {
        testHandler()(exitCode);
        return;
    }
    // hide(), unlike close(), raises no close event and so no exit question.
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        widget->hide();
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows)
        window->hide();
    // Leaves every running event loop, a message box's included.
    QCoreApplication::exit(exitCode);
}

void Program::setEndHandlerForTesting(std::function<void(int)> handler)
{
    testHandler() = std::move(handler);
}
