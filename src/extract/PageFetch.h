#pragma once

// The one network access of the extraction: a GET of the song page that hands
// back its text. The caller sees a synchronous call; underneath, a nested event
// loop keeps the window working, so any handler (a second extraction included)
// may run, and call GetBody again, while a fetch waits.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QNetworkAccessManager;

class PageFetch : public QObject
{
    Q_OBJECT
public:
    explicit PageFetch(QObject *parent = nullptr);
    ~PageFetch() override;

    // Synchronous for the caller; waits in a nested QEventLoop that processes all events.
    // nullopt = failure (network error, rejected address, unsupported scheme, time-out,
    // oversize, abort). A completed request yields its body whatever the HTTP status.
    std::optional<QString> GetBody(const QString &URL);
    void abort();                   // aborts every pending GetBody (each then returns nullopt)
    void setTimeout(int ms);        // default 30000, whole request; 0 = none
    void setMaxBodyBytes(qint64 n); // default 64 MiB; larger: failure, transfer aborted

signals:
    void pendingChanged(bool pending);

private:
    struct Call;
    QNetworkAccessManager *manager();

    QNetworkAccessManager *m_manager = nullptr;
    QList<Call *> m_calls; // innermost last
    int m_timeoutMs = 30000;
    qint64 m_maxBodyBytes = qint64(64) * 1024 * 1024;
};

// Body bytes to text: the Content-Type charset if it names a known encoding,
// else a byte-order mark, else UTF-8 with invalid sequences replaced.
QString decodeBody(const QByteArray &body, const QByteArray &contentTypeHeader);
