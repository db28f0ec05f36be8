#include "WebOpener.h"

#ifdef Q_OS_WIN
#include <QProcess>
#include <qt_windows.h>
#else
#include <QDesktopServices>
#include <QUrl>
#endif

namespace {
std::function<void(const QString &)> &testHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}
} // namespace

void WebOpener::open(const QString &url)
{
    if (testHandler()) {
        testHandler()(url);
        return;
    }
#ifdef Q_OS_WIN
    // The shell passes the address to the default browser; minimized with focus.
    QProcess process;
    process.setProgram(QStringLiteral("explorer.exe"));
    process.setArguments({url});
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
    });
    process.startDetached();
#else
    QDesktopServices::openUrl(QUrl(url));
#endif
}

void WebOpener::setHandlerForTesting(std::function<void(const QString &)> handler)
{
    testHandler() = std::move(handler);
}
