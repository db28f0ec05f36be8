#pragma once

// What the window benchmarks share: this process's memory figures and a wait
// that keeps the event loop running while the window works, and the demo
// service answering for every host.

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <functional>

// A "VmRSS:"-style field of /proc/self/status in KiB, or -1.
inline long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

inline bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(50);
    if (!condition())
        loop.exec();
    return condition();
}

#ifdef SONAVEX_DEMO_SERVICE_BIN
// Starts the demo service on root and, once it has written its port, sends this
// process's fetches through it. Needs the application object.
inline bool serveThroughDemo(QProcess &service, const QString &root, const QString &portFile)
{
    service.start(QStringLiteral(SONAVEX_DEMO_SERVICE_BIN),
                  {QStringLiteral("--root"), root, QStringLiteral("--port-file"), portFile});
    if (!service.waitForStarted() || !waitFor([&] { return QFile::exists(portFile); }, 10000))
        return false;
    QFile port(portFile);
    if (!port.open(QIODevice::ReadOnly))
        return false;
    qputenv("http_proxy", "http://127.0.0.1:" + port.readAll().trimmed());
    qunsetenv("no_proxy");
    return true;
}
#endif
