#include "HttpGet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// No fetch of ours waits longer than a minute for its next bytes, deadline or not.
constexpr int kStallTimeoutMs = 60000;

QPointer<QNetworkAccessManager> &managerSlot()
{
    static QPointer<QNetworkAccessManager> manager;
    return manager;
}

// HTTP error statuses arrive as content or server errors; the response still came.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

} // namespace

bool HttpGetResult::completed() const
{
    if (timedOut || tooLarge || aborted)
        return false;
    return error == QNetworkReply::NoError || (status != 0 && isHttpStatusError(error));
}

QNetworkAccessManager *HttpGet::sharedManager()
{
    QPointer<QNetworkAccessManager> &manager = managerSlot();
    if (!manager) {
        // Created on the first fetch so that start-up does not pay for it. Deleted at
        // the start of the application object's destructor: a manager outliving that
        // would be torn down after the network thread, and crash the exit.
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setTransferTimeout(kStallTimeoutMs);
        qAddPostRoutine([] { delete managerSlot().data(); });
    }
    return manager;
}

HttpGet::HttpGet(HttpGetRequest request, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
{}

HttpGetResult HttpGet::fetch(const HttpGetRequest &request)
{
    HttpGet get(request);
    return get.run();
}

void HttpGet::stop(bool HttpGetResult::*reason, const char *text)
{
    if (m_result.timedOut || m_result.tooLarge || m_result.aborted)
        return;
    m_result.*reason = true;
    m_result.errorText = QString::fromLatin1(text);
    if (m_reply)
        m_reply->abort(); // emits finished, which ends the wait
    if (m_loop)
        m_loop->quit();
}

void HttpGet::abort()
{
    stop(&HttpGetResult::aborted, "aborted");
}

bool HttpGet::overCap(qint64 n) const
{
    return m_request.maxBytes > 0 && n > m_request.maxBytes;
}

void HttpGet::watch(QNetworkReply *reply, QEventLoop &loop)
{
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [this, reply] {
        bool known = false;
        const qint64 length =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && overCap(length))
            stop(&HttpGetResult::tooLarge, "too large");
        else if (known && length > 0 && m_request.maxBytes > 0)
            m_result.body.reserve(length); // one buffer for a big page, not a growing chain
    });
    // A followed redirect must not leave its own body in front of the real one.
    connect(reply, &QNetworkReply::redirected, &loop, [this] { m_result.body.clear(); });
    connect(reply, &QNetworkReply::readyRead, &loop, [this, reply] {
        m_result.body += reply->readAll();
        if (overCap(m_result.body.size()))
            stop(&HttpGetResult::tooLarge, "too large");
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
}

void HttpGet::collect(QNetworkReply *reply)
{
    m_result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_result.contentType = reply->rawHeader(QByteArrayLiteral("Content-Type"));
    m_result.error = reply->error();
    if (m_result.errorText.isEmpty() && m_result.error != QNetworkReply::NoError)
        m_result.errorText = reply->errorString();
    if (m_result.completed()) {
        m_result.body += reply->readAll();
        if (overCap(m_result.body.size()))
            stop(&HttpGetResult::tooLarge, "too large");
    }
    if (!m_result.completed())
        m_result.body.clear();
}

HttpGetResult HttpGet::run()
{
    QNetworkRequest request(m_request.url);
    for (const auto &[name, value] : std::as_const(m_request.headers))
        request.setRawHeader(name, value);
    if (m_request.maxRedirects >= 0)
        request.setMaximumRedirectsAllowed(m_request.maxRedirects);

    QNetworkReply *reply = sharedManager()->get(request);
    m_reply = reply;
    QEventLoop loop;
    watch(reply, loop);

    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop,
            [this] { stop(&HttpGetResult::timedOut, "time-out"); });
    if (m_request.timeoutMs > 0)
        deadline.start(m_request.timeoutMs);

    if (!reply->isFinished() && !m_result.aborted) {
        m_loop = &loop;
        loop.exec(m_request.letUserInputThrough ? QEventLoop::AllEvents
                                                : QEventLoop::ExcludeUserInputEvents);
        m_loop = nullptr;
    }
    deadline.stop();
    if (!reply->isFinished())
        stop(&HttpGetResult::aborted, "aborted"); // the loop ended from outside: quitting

    collect(reply);
    reply->disconnect(&loop);
    reply->deleteLater();
    m_reply = nullptr;
    return m_result;
}
