#pragma once

// For the few tests that must operate a real modal dialog: waits for the next
// application-modal widget, hands it to a callback (which inspects it and
// closes it), and gives up after a watchdog so a failing test cannot hang.

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class ModalDialogs : public QObject
{
    Q_OBJECT
public:
    using Callback = std::function<void(QWidget *dialog)>;

    explicit ModalDialogs(QObject *parent = nullptr);

    // Calls onShown once for the next modal widget that appears.
    void whenShown(Callback onShown, int watchdogMs = 10000);
    // Convenience: records the box's text, then presses the button.
    void pressWhenShown(QMessageBox::StandardButton button, QString *seenText = nullptr);

    bool handled() const { return m_handled; }

private:
    void poll();

    QTimer m_poll;
    QTimer m_watchdog;
    Callback m_callback;
    QPointer<QWidget> m_ignored;
    bool m_handled = false;
};
