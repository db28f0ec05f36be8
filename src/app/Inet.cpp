#include "Inet.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

Inet::Inet(QObject *parent)
    : QObject(parent)
{}

QString Inet::OpenURL(const QString &url)
{
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);

    QNetworkReply *reply = m_manager->get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(m_timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    QString text;
    // The loop also returns early when the application is quitting.
    if (!reply->isFinished()) {
        reply->abort();
    } else if (reply->error() == QNetworkReply::NoError) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 200 && status < 300)
            text = QString::fromUtf8(reply->readAll());
    }
    reply->deleteLater();
    return text;
}
