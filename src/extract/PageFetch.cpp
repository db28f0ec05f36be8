#include "PageFetch.h"

#include "HttpGet.h"

#include <QPointer>
#include <QUrl>

PageFetch::PageFetch(QObject *parent)
    : QObject(parent)
{}

PageFetch::~PageFetch()
{
    // A window may be destroyed by a handler running inside our own wait: the
    // waiting frames must not touch this object again, and their loops must end.
    for (HttpGet *call : std::as_const(m_calls))
        call->abort();
}

std::optional<PageText> PageFetch::GetBody(const QString &URL)
{
    // Taken as given: no trimming. QUrl's tolerant parsing percent-encodes a
    // trailing space into the path; a leading space leaves no scheme.
    const QUrl url(URL);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;

    HttpGetRequest request;
    request.url = url;
    // Asks for a fresh page from any cache between us and the service.
    request.headers.append({QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0")});
    request.maxRedirects = 10;
    request.timeoutMs = m_timeoutMs;
    request.maxBytes = m_maxBodyBytes;
    request.letUserInputThrough = true;

    HttpGet call(request);
    m_calls.append(&call);
    if (m_calls.size() == 1)
        emit pendingChanged(true);

    const QPointer<PageFetch> self(this);
    const HttpGetResult result = call.run();
    if (!self)
        return std::nullopt; // destroyed while waiting

    m_calls.removeOne(&call);
    if (m_calls.isEmpty())
        emit pendingChanged(false);
    if (!result.completed())
        return std::nullopt;
    return decodePage(result.body, result.contentType);
}

void PageFetch::abort()
{
    const QList<HttpGet *> calls = m_calls;
    for (HttpGet *call : calls)
        call->abort();
}

void PageFetch::setTimeout(int ms)
{
    m_timeoutMs = ms;
}

void PageFetch::setMaxBodyBytes(qint64 n)
{
    m_maxBodyBytes = n;
}
