#include "LocalHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    default:
        return status >= 500 ? "Server Error" : status >= 400 ? "Client Error" : "Status";
    }
}

QByteArray contentTypeFor(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty() || suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return "text/html; charset=utf-8";
    if (suffix == QLatin1String("txt"))
        return "text/plain";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "image/jpeg";
    if (suffix == QLatin1String("png"))
        return "image/png";
    if (suffix == QLatin1String("gif"))
        return "image/gif";
    if (suffix == QLatin1String("mp3"))
        return "audio/mpeg";
    if (suffix == QLatin1String("wav"))
        return "audio/wav";
    if (suffix == QLatin1String("js"))
        return "application/javascript";
    return "application/octet-stream";
}

bool headerListHas(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// One connection: parses requests one after another and answers each in turn.
class Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, std::function<HttpResponse(const HttpRequest &)> answer,
               QObject *parent)
        : QObject(parent)
        , m_socket(socket)
        , m_answer(std::move(answer))
    {
        m_socket->setParent(this);
        connect(m_socket, &QTcpSocket::readyRead, this, &Connection::readMore);
        connect(m_socket, &QTcpSocket::disconnected, this, &Connection::finish);
        readMore();
    }

private:
    enum class State { Head, Body, Answering };

    void readMore()
    {
        m_buffer += m_socket->readAll();
        if (m_state == State::Answering)
            return; // pipelined data waits until the current answer is out
        parse();
    }

    void parse()
    {
        if (m_state == State::Head) {
            // Stray line ends between requests are allowed before a request line.
            while (m_buffer.startsWith("\r\n") || m_buffer.startsWith('\n'))
                m_buffer.remove(0, m_buffer.startsWith('\n') ? 1 : 2);
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_buffer.size() > kMaxHeaderBytes)
                    m_socket->abort();
                return;
            }
            if (!parseHead(m_buffer.left(end))) {
                m_buffer.clear();
                writeBadRequest();
                return;
            }
            m_buffer.remove(0, end + 4);
            m_state = State::Body;
        }
        if (m_state == State::Body) {
            if (m_buffer.size() < m_bodyLength)
                return;
            m_buffer.remove(0, m_bodyLength); // the body itself is not needed by any route
            m_state = State::Answering;
            answer();
        }
    }

    bool parseHead(const QByteArray &head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> parts = lines.first().trimmed().split(' ');
        if (parts.size() != 3 || !parts[2].startsWith("HTTP/"))
            return false;
        m_request = HttpRequest();
        m_request.method = parts[0];
        m_request.target = parts[1];
        m_http10 = parts[2] == "HTTP/1.0";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            m_request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        const QByteArray &target = m_request.target;
        if (target.startsWith('/')) {
            m_request.path = QString::fromUtf8(target);
            const QUrl hostOnly(QLatin1String("http://") +
                                QString::fromUtf8(m_request.header("Host")));
            m_request.host = hostOnly.host();
        } else {
            const QUrl url(QString::fromUtf8(target), QUrl::TolerantMode);
            if (!url.isValid() || url.host().isEmpty())
                return false;
            m_request.viaProxy = true;
            m_request.host = url.host();
            const qsizetype afterScheme = target.indexOf("://") + 3;
            const qsizetype slash = target.indexOf('/', afterScheme);
            const qsizetype query = target.indexOf('?', afterScheme);
            if (slash >= 0 && (query < 0 || slash < query))
                m_request.path = QString::fromUtf8(target.mid(slash));
            else if (query >= 0)
                m_request.path = QLatin1Char('/') + QString::fromUtf8(target.mid(query));
            else
                m_request.path = QStringLiteral("/");
        }
        bool ok = true;
        const QByteArray length = m_request.header("Content-Length");
        m_bodyLength = length.isEmpty() ? 0 : length.toLongLong(&ok);
        if (!ok || m_bodyLength < 0)
            return false;
        const QByteArray connection = m_request.header("Connection").toLower();
        m_keepAlive = m_http10 ? connection.contains("keep-alive") : !connection.contains("close");
        return true;
    }

    void writeBadRequest()
    {
        m_keepAlive = false;
        m_state = State::Answering;
        m_socket->write(
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        m_socket->disconnectFromHost();
    }

    void answer()
    {
        m_response = m_answer(m_request);
        if (m_response.behaviour == HttpResponse::Behaviour::Silent)
            return; // the connection stays open and nothing is ever written
        if (m_response.delayMs > 0) {
            QTimer::singleShot(m_response.delayMs, this, &Connection::sendHead);
            return;
        }
        sendHead();
    }

    void sendHead()
    {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        const HttpResponse &r = m_response;
        const bool headRequest = m_request.method == "HEAD";
        QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' +
                         (r.reason.isEmpty() ? reasonFor(r.status) : r.reason) + "\r\n";
        for (const auto &h : r.headers)
            out += h.first + ": " + h.second + "\r\n";
        if (!headerListHas(r.headers, "Content-Length"))
            out += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        if (!headerListHas(r.headers, "Connection"))
            out += m_keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
        out += "\r\n";
        m_socket->write(out);

        if (headRequest) {
            responseDone();
            return;
        }
        switch (r.behaviour) {
        case HttpResponse::Behaviour::HangUpMidBody:
            m_socket->write(r.body.left(r.body.size() / 2));
            m_socket->disconnectFromHost(); // flushes what was written, then closes
            break;
        case HttpResponse::Behaviour::Trickle:
            m_trickleOffset = 0;
            trickle();
            break;
        case HttpResponse::Behaviour::HeadOnly:
            break;
        default:
            m_socket->write(r.body);
            responseDone();
            break;
        }
    }

    void trickle()
    {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        const int chunk = qMax(1, m_response.chunkBytes);
        m_socket->write(m_response.body.mid(m_trickleOffset, chunk));
        m_trickleOffset += chunk;
        if (m_trickleOffset >= m_response.body.size()) {
            responseDone();
            return;
        }
        QTimer::singleShot(qMax(0, m_response.chunkDelayMs), this, &Connection::trickle);
    }

    void responseDone()
    {
        if (!m_keepAlive) {
            m_socket->disconnectFromHost();
            return;
        }
        m_state = State::Head;
        m_response = HttpResponse();
        // A pipelined request may already be waiting; handle it after this turn.
        if (!m_buffer.isEmpty())
            QTimer::singleShot(0, this, &Connection::parse);
    }

    void finish() { deleteLater(); }

    QTcpSocket *m_socket;
    std::function<HttpResponse(const HttpRequest &)> m_answer;
    QByteArray m_buffer;
    State m_state = State::Head;
    HttpRequest m_request;
    HttpResponse m_response;
    qint64 m_bodyLength = 0;
    qsizetype m_trickleOffset = 0;
    bool m_http10 = false;
    bool m_keepAlive = true;
};

} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

HttpResponse HttpResponse::text(const QByteArray &body, const QByteArray &contentType, int status)
{
    HttpResponse r;
    r.status = status;
    r.body = body;
    r.headers.append({"Content-Type", contentType});
    return r;
}

HttpResponse HttpResponse::redirect(const QByteArray &location, int status)
{
    HttpResponse r = text("<html><body>Moved</body></html>", "text/html; charset=utf-8", status);
    r.headers.append({"Location", location});
    return r;
}

struct LocalHttpServer::Private
{
    QTcpServer *server = nullptr;
    QHash<QString, HttpResponse> routes;
    QString directory;
    QList<HttpRequest> requests;

    HttpResponse fromDirectory(const HttpRequest &request) const
    {
        QString path = request.path;
        const qsizetype query = path.indexOf(QLatin1Char('?'));
        if (query >= 0)
            path.truncate(query);
        path = QUrl::fromPercentEncoding(path.toUtf8());
        const QString hostDir = QDir(directory).absoluteFilePath(request.host.toLower());
        // cleanPath folds "..", so checking the prefix keeps requests inside the host folder.
        QString file = QDir::cleanPath(hostDir + QLatin1Char('/') + path);
        if (request.host.isEmpty() ||
            !(file == hostDir || file.startsWith(hostDir + QLatin1Char('/'))))
            return notFound();
        if (QFileInfo(file).isDir())
            file += QStringLiteral("/index.html");
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return notFound();
        return HttpResponse::text(f.readAll(), contentTypeFor(file));
    }

    static HttpResponse notFound()
    {
        return HttpResponse::text("<html><body><h1>404 Not Found</h1></body></html>",
                                  "text/html; charset=utf-8", 404);
    }

    HttpResponse answer(const HttpRequest &request) const
    {
        auto it = routes.constFind(request.host + request.path);
        if (it == routes.constEnd())
            it = routes.constFind(request.path);
        if (it != routes.constEnd())
            return *it;
        if (!directory.isEmpty())
            return fromDirectory(request);
        return notFound();
    }
};

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    qRegisterMetaType<HttpRequest>();
    d->server = new QTcpServer(this);
    connect(d->server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = d->server->nextPendingConnection()) {
            // Small answers would otherwise wait out Nagle against delayed ACKs (~40 ms each).
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            new Connection(
                socket,
                [this](const HttpRequest &request) {
                    d->requests.append(request);
                    emit requestReceived(request);
                    return d->answer(request);
                },
                this);
        }
    });
}

LocalHttpServer::~LocalHttpServer()
{
    // Connections call back into d; they must go before it does.
    const QObjectList kids = children();
    qDeleteAll(kids);
}

bool LocalHttpServer::listen(quint16 port)
{
    return d->server->listen(QHostAddress::LocalHost, port);
}

quint16 LocalHttpServer::port() const
{
    return d->server->serverPort();
}

QString LocalHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port());
}

void LocalHttpServer::route(const QString &key, const HttpResponse &response)
{
    d->routes.insert(key, response);
}

void LocalHttpServer::serveDirectory(const QString &dir)
{
    d->directory = QDir(dir).absolutePath();
}

QList<HttpRequest> LocalHttpServer::requests() const
{
    return d->requests;
}

void LocalHttpServer::clearRequests()
{
    d->requests.clear();
}
