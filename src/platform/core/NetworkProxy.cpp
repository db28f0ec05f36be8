#include "NetworkProxy.h"

#include <QHostAddress>
#include <QUrl>

#ifdef Q_OS_WIN
namespace {

QString variable(const char *lower, const char *upper)
{
    const QString value = qEnvironmentVariable(lower);
    return value.isEmpty() ? qEnvironmentVariable(upper) : value;
}

} // namespace
#endif

void NetworkProxy::useEnvironmentOrSystem()
{
#ifdef Q_OS_WIN
    if (const std::optional<QNetworkProxy> proxy =
            fromVariable(variable("http_proxy", "HTTP_PROXY"))) {
        // Qt owns the factory from here on.
        QNetworkProxyFactory::setApplicationProxyFactory(
            new EnvironmentProxyFactory(*proxy, variable("no_proxy", "NO_PROXY")));
        return;
    }
#endif
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

std::optional<QNetworkProxy> NetworkProxy::fromVariable(const QString &value)
{
    const QUrl url(value.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty())
        return std::nullopt;
    return QNetworkProxy(QNetworkProxy::HttpProxy, url.host(), quint16(url.port(80)),
                         url.userName(), url.password());
}

EnvironmentProxyFactory::EnvironmentProxyFactory(const QNetworkProxy &proxy, const QString &noProxy)
    : m_proxy(proxy)
{
    const QStringList entries = noProxy.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString entry : entries) {
        entry = entry.trimmed().toLower();
        if (entry == QLatin1String("*"))
            m_noProxyAll = true;
        while (entry.startsWith(QLatin1Char('*')) || entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        if (!entry.isEmpty())
            m_noProxy += entry;
    }
}

QList<QNetworkProxy> EnvironmentProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    const QString scheme = query.url().scheme().toLower();
    // Listening sockets and anything but web addresses never go through an HTTP proxy.
    const bool web = query.queryType() == QNetworkProxyQuery::UrlRequest &&
                     (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    if (!web || bypasses(query.peerHostName()))
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    return {m_proxy};
}

bool EnvironmentProxyFactory::bypasses(const QString &host) const
{
    const QString name = host.toLower();
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost")))
        return true;
    if (const QHostAddress address(name); !address.isNull() && address.isLoopback())
        return true;
    if (m_noProxyAll)
        return true;
    for (const QString &entry : m_noProxy) {
        if (name == entry || name.endsWith(QLatin1Char('.') + entry))
            return true;
    }
    return false;
}
