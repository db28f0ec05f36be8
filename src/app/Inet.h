#pragma once

// Fetches a text by address and waits for it. The caller is blocked, but the
// windows keep repainting; mouse and key input waits until the fetch is over.
// Every failure (network error, status outside 2xx, time-out) gives an empty
// text: callers cannot tell these apart, and need not.

#include <QObject>
#include <QString>

class Inet : public QObject
{
    Q_OBJECT
public:
    // The window takes no input meanwhile, so give up after a minute rather than hang on.
    static constexpr int DefaultRequestTimeoutMs = 60000;

    explicit Inet(QObject *parent = nullptr);

    QString OpenURL(const QString &url);

    void setRequestTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

private:
    int m_timeoutMs = DefaultRequestTimeoutMs;
};
