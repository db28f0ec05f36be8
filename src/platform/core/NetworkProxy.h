#pragma once

// How the tool reaches the network. On Linux Qt already follows http_proxy
// and no_proxy (through libproxy) and the desktop's settings; Qt on Windows
// reads only the system settings, so there the variables are applied here, to
// the same effect: the named proxy for web addresses, loopback addresses and
// the hosts no_proxy lists reached directly.

#include <QNetworkProxyFactory>

#include <optional>

namespace NetworkProxy {

// Called once at start-up, before the first request.
void useEnvironmentOrSystem();

// The proxy an http_proxy value names ("http://host:port"); none when the
// value is empty, lacks the http scheme or a host.
std::optional<QNetworkProxy> fromVariable(const QString &value);

} // namespace NetworkProxy

class EnvironmentProxyFactory : public QNetworkProxyFactory
{
public:
    EnvironmentProxyFactory(const QNetworkProxy &proxy, const QString &noProxy);
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    bool bypasses(const QString &host) const;

    QNetworkProxy m_proxy;
    QStringList m_noProxy; // lower case, without leading dots or "*."
    bool m_noProxyAll = false;
};
