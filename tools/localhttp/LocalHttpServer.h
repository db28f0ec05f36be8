#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests and the demo service.
// It answers both origin-form requests ("GET /s/x") and the absolute-URI
// requests a forward proxy receives ("GET http://changba.com/s/x"), so pointing
// http_proxy at it stands in for any remote host.

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

class QTcpServer;

struct HttpRequest
{
    QByteArray method;
    QByteArray target;     // exactly as on the request line
    QString host;          // from the absolute URI or the Host header, without port
    QString path;          // path and query, e.g. "/s/demo-audio?x=1"
    bool viaProxy = false; // the request line carried an absolute URI
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray header(const QByteArray &name) const; // case-insensitive; empty if absent
};

struct HttpResponse
{
    enum class Behaviour {
        Normal,        // headers and the whole body
        Silent,        // read the request, never answer, keep the connection open
        HangUpMidBody, // announce the full Content-Length, send half the body, close
        Trickle,       // send the body in chunkBytes pieces, one every chunkDelayMs
        HeadOnly,      // send the status line and headers, then nothing; keep the connection open
    };

    int status = 200;
    QByteArray reason;                            // derived from status when empty
    QList<QPair<QByteArray, QByteArray>> headers; // Content-Length is added unless present
    QByteArray body;
    Behaviour behaviour = Behaviour::Normal;
    int delayMs = 0; // before the status line goes out
    int chunkBytes = 4096;
    int chunkDelayMs = 50;

    static HttpResponse text(const QByteArray &body,
                             const QByteArray &contentType = "text/html; charset=utf-8",
                             int status = 200);
    static HttpResponse redirect(const QByteArray &location, int status = 302);
};

class LocalHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit LocalHttpServer(QObject *parent = nullptr);
    ~LocalHttpServer() override;

    // Binds 127.0.0.1 on an OS-chosen port unless one is given.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>", also the proxy address

    // Key "host/path" (e.g. "changba.com/s/abc") matches that host only;
    // a key that starts with "/" matches the path on any host. Exact match.
    void route(const QString &key, const HttpResponse &response);
    // Files under dir/<host>/<path>; extension-less files are served as UTF-8 HTML.
    void serveDirectory(const QString &dir);

    QList<HttpRequest> requests() const;
    void clearRequests();

signals:
    void requestReceived(const HttpRequest &request);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

Q_DECLARE_METATYPE(HttpRequest)
