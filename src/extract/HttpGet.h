#pragma once

// One blocking GET, for the song page, the version file and a picture: a
// request goes in, one result value comes out. The caller waits in a nested
// event loop; a handler running meanwhile may call abort(). Every request
// goes through one shared network manager that lives until the application
// object goes.

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

class QEventLoop;
class QNetworkAccessManager;

struct HttpGetRequest
{
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    int timeoutMs = 0;                // the whole request; 0 = none
    qint64 maxBytes = 0;              // a larger body fails the request; 0 = no cap
    bool letUserInputThrough = false; // else the windows repaint but take no input
    int maxRedirects = -1;            // -1 = the network manager's default
};

struct HttpGetResult
{
    int status = 0;  // 0 when no response came
    QByteArray body; // empty unless the body came whole
    QByteArray contentType;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorText; // one line; empty on success
    bool timedOut = false;
    bool tooLarge = false;
    bool aborted = false; // by abort(), or the wait ended because the application is quitting

    // A whole response came, whatever its HTTP status.
    bool completed() const;
};

class HttpGet : public QObject
{
    Q_OBJECT
public:
    explicit HttpGet(HttpGetRequest request, QObject *parent = nullptr);

    HttpGetResult run(); // once
    void abort();        // ends a pending run, which then reports aborted

    static HttpGetResult fetch(const HttpGetRequest &request);
    static QNetworkAccessManager *sharedManager();

private:
    void stop(bool HttpGetResult::*reason, const char *text);
    bool overCap(qint64 n) const;
    void watch(QNetworkReply *reply, QEventLoop &loop);
    void collect(QNetworkReply *reply);

    HttpGetRequest m_request;
    HttpGetResult m_result;
    QPointer<QNetworkReply> m_reply;
    QEventLoop *m_loop = nullptr;
};
