#pragma once

// What the window benchmarks share: this process's memory figures and a wait
// that keeps the event loop running while the window works.

#include <QEventLoop>
#include <QFile>
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
