#pragma once

// The one network access of the extraction: a GET of the song page that hands
// back the page. The caller sees a synchronous call; underneath, a nested event
// loop keeps the window working, so any handler (a second extraction included)
// may run, and call GetBody again, while a fetch waits.

#include "PageText.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class HttpGet;

class PageFetch : public QObject
{
    Q_OBJECT
public:
    explicit PageFetch(QObject *parent = nullptr);
    ~PageFetch() override;

    // Synchronous for the caller; waits in a nested QEventLoop that processes all events.
    // nullopt = failure (network error, rejected address, unsupported scheme, time-out,
    // oversize, abort). A completed request yields its body whatever the HTTP status,
    // decoded by decodePage.
    std::optional<PageText> GetBody(const QString &URL);
    void abort();                   // aborts every pending GetBody (each then returns nullopt)
    void setTimeout(int ms);        // default 30000, whole request; 0 = none
    void setMaxBodyBytes(qint64 n); // default 64 MiB; larger: failure, transfer aborted

signals:
    void pendingChanged(bool pending);

private:
    QList<HttpGet *> m_calls; // innermost last
    // A song page comes in well under a second; half a minute means the service is down.
    int m_timeoutMs = 30000;
    qint64 m_maxBodyBytes = qint64(64) * 1024 * 1024;
};
