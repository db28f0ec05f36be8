#pragma once

// For the few tests that must operate a real modal dialog: waits for the next
// application-modal widget, hands it to a callback (which inspects it and
// closes it), and gives up after a watchdog so a failing test cannot hang.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalDialogs : public QObject
{
    Q_OBJECT
public:
    using Callback = std::function<void(QWidget *dialog)>;

    explicit ModalDialogs(QObject *parent = nullptr);

    // Calls onShown once for the next modal widget that appears.
    void whenShown(Callback onShown);

private:
    void poll();

    QTimer m_poll;
    QTimer m_watchdog;
    Callback m_callback;
    QPointer<QWidget> m_ignored;
};
