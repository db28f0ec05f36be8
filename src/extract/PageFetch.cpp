#include "PageFetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

struct PageFetch::Call
{
    QEventLoop loop;
    QPointer<QNetworkReply> reply;
    bool failed = false; // aborted, timed out or oversized: the reply's own state is moot
};

namespace {

QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> params = contentType.split(';');
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QByteArray param = params[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0 || param.left(eq).trimmed().toLower() != "charset")
            continue;
        QByteArray value = param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2).trimmed();
        return value;
    }
    return {};
}

// HTTP error statuses arrive as content or server errors; the page still came.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

} // namespace

QString decodeBody(const QByteArray &body, const QByteArray &contentTypeHeader)
{
    const QByteArray charset = charsetOf(contentTypeHeader);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    if (const auto bom = QStringConverter::encodingForData(body)) {
        QStringDecoder decoder(*bom);
        return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

PageFetch::PageFetch(QObject *parent)
    : QObject(parent)
{}

PageFetch::~PageFetch()
{
    // A window may be destroyed by a handler running inside our own wait: the
    // waiting frames must not touch this object again, and their loops must end.
    for (Call *call : std::as_const(m_calls)) {
        call->failed = true;
        call->loop.quit();
    }
}

QNetworkAccessManager *PageFetch::manager()
{
    // Created on the first fetch so that start-up does not pay for it.
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    return m_manager;
}

std::optional<QString> PageFetch::GetBody(const QString &URL)
{
    // Taken as given: no trimming. QUrl's tolerant parsing percent-encodes a
    // trailing space into the path; a leading space leaves no scheme.
    const QUrl url(URL);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;

    QNetworkRequest request(url);
    // Asks for a fresh page from any cache between us and the service.
    request.setRawHeader("If-Modified-Since", "0");
    request.setMaximumRedirectsAllowed(10);

    Call call;
    QNetworkReply *reply = manager()->get(request);
    call.reply = reply;
    m_calls.append(&call);
    if (m_calls.size() == 1)
        emit pendingChanged(true);

    const qint64 maxBytes = m_maxBodyBytes;
    auto overLimit = [reply, maxBytes] {
        bool ok = false;
        const qint64 announced =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        return (ok && announced > maxBytes) || reply->bytesAvailable() > maxBytes;
    };
    auto failWhen = [&call, reply](bool condition) {
        if (condition && !call.failed) {
            call.failed = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, &call.loop, [=] { failWhen(overLimit()); });
    connect(reply, &QNetworkReply::readyRead, &call.loop, [=] { failWhen(overLimit()); });
    connect(reply, &QNetworkReply::finished, &call.loop, &QEventLoop::quit);

    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &call.loop, [=] { failWhen(true); });
    if (m_timeoutMs > 0)
        timeout.start(m_timeoutMs);

    QPointer<PageFetch> self(this);
    if (!reply->isFinished())
        call.loop.exec(QEventLoop::AllEvents);
    if (!self)
        return std::nullopt; // destroyed while waiting; the reply went with the manager

    timeout.stop();
    if (!reply->isFinished() && !call.failed) {
        // The loop ended from outside (the application is quitting): no page.
        call.failed = true;
        reply->abort();
    }
    std::optional<QString> result;
    const QNetworkReply::NetworkError error = reply->error();
    const bool gotResponse = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (!call.failed && !overLimit() &&
        (error == QNetworkReply::NoError || (gotResponse && isHttpStatusError(error)))) {
        result = decodeBody(reply->readAll(), reply->rawHeader(QByteArrayLiteral("Content-Type")));
    }
    reply->disconnect(&call.loop);
    reply->deleteLater();
    m_calls.removeOne(&call);
    if (m_calls.isEmpty())
        emit pendingChanged(false);
    return result;
}

void PageFetch::abort()
{
    const QList<Call *> calls = m_calls;
    for (Call *call : calls) {
        if (call->failed)
            continue;
        call->failed = true;
        if (call->reply)
            call->reply->abort(); // emits finished, which ends that call's loop
        call->loop.quit();
    }
}

void PageFetch::setTimeout(int ms)
{
    m_timeoutMs = ms;
}

void PageFetch::setMaxBodyBytes(qint64 n)
{
    m_maxBodyBytes = n;
}
