#include "Inet.h"

#include "HttpGet.h"

Inet::Inet(QObject *parent)
    : QObject(parent)
{}

QString Inet::OpenURL(const QString &url)
{
    HttpGetRequest request;
    request.url = QUrl(url);
    request.timeoutMs = m_timeoutMs;
    const HttpGetResult result = HttpGet::fetch(request);
    if (!result.completed() || result.status < 200 || result.status >= 300)
        return QString();
    return QString::fromUtf8(result.body);
}
