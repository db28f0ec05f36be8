#include "ModalDialogs.h"

#include <QApplication>

ModalDialogs::ModalDialogs(QObject *parent)
    : QObject(parent)
{
    m_poll.setInterval(10);
    m_watchdog.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &ModalDialogs::poll);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        m_poll.stop();
        if (QWidget *w = QApplication::activeModalWidget())
            w->close(); // never leave a test stuck in exec()
    });
}

void ModalDialogs::whenShown(Callback onShown)
{
    m_callback = std::move(onShown);
    m_ignored = QApplication::activeModalWidget();
    m_poll.start();
    m_watchdog.start(10000);
}

void ModalDialogs::poll()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w || w == m_ignored || !w->isVisible())
        return;
    m_poll.stop();
    m_watchdog.stop();
    if (m_callback)
        m_callback(w);
}
