#include "ModalDialogs.h"

#include <QAbstractButton>
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

void ModalDialogs::whenShown(Callback onShown, int watchdogMs)
{
    m_callback = std::move(onShown);
    m_handled = false;
    m_ignored = QApplication::activeModalWidget();
    m_poll.start();
    m_watchdog.start(watchdogMs);
}

void ModalDialogs::pressWhenShown(QMessageBox::StandardButton button, QString *seenText)
{
    whenShown([button, seenText](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!box) {
            dialog->close();
            return;
        }
        if (seenText)
            *seenText = box->text();
        if (QAbstractButton *b = box->button(button))
            b->click();
        else
            box->close();
    });
}

void ModalDialogs::poll()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w || w == m_ignored || !w->isVisible())
        return;
    m_poll.stop();
    m_watchdog.stop();
    m_handled = true;
    if (m_callback)
        m_callback(w);
}
