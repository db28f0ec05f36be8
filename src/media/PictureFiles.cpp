#include "PictureFiles.h"

#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

namespace {

using Outcome = PictureFiles::Outcome;
using Result = PictureFiles::Result;

int &timeoutOverride()
{
    static int ms = 0;
    return ms;
}

Result failure(Outcome outcome, const QString &text)
{
    Result result;
    result.outcome = outcome;
    result.errorText = text;
    return result;
}

struct Fetched
{
    bool ok = false;
    QByteArray data;
    QString errorText;
};

Fetched readLocal(const QString &path)
{
    Fetched fetched;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        fetched.errorText = QStringLiteral("no such file: ") + path;
        return fetched;
    }
    if (info.isDir()) {
        fetched.errorText = QStringLiteral("a folder, not a file: ") + path;
        return fetched;
    }
    if (info.size() > PictureFiles::maxPictureBytes) {
        fetched.errorText = QStringLiteral("file too large: ") + path;
        return fetched;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fetched.errorText = file.errorString();
        return fetched;
    }
    // Devices report size 0, so the cap is applied to what is read as well.
    fetched.data = file.read(PictureFiles::maxPictureBytes + 1);
    if (fetched.data.size() > PictureFiles::maxPictureBytes) {
        fetched.data.clear();
        fetched.errorText = QStringLiteral("file too large: ") + path;
        return fetched;
    }
    fetched.ok = true;
    return fetched;
}

Fetched fetchWeb(const QUrl &url)
{
    // One manager per load: it has no cache, follows redirects that stay as safe,
    // and deletes the reply when it goes. A manager outliving the window would be
    // torn down with the application, after its network thread.
    QNetworkAccessManager network;
    QNetworkReply *r = network.get(QNetworkRequest(url));
    Fetched fetched;
    QString stopReason;
    const auto stop = [&](const QString &why) {
        if (stopReason.isEmpty())
            stopReason = why;
        r->abort();
    };

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { stop(QStringLiteral("time-out")); });
    QObject::connect(r, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > PictureFiles::maxPictureBytes)
            stop(QStringLiteral("picture too large"));
    });
    // A followed redirect must not leave its own body in front of the picture.
    QObject::connect(r, &QNetworkReply::redirected, &loop, [&] { fetched.data.clear(); });
    QObject::connect(r, &QNetworkReply::readyRead, &loop, [&] {
        fetched.data += r->readAll();
        if (fetched.data.size() > PictureFiles::maxPictureBytes)
            stop(QStringLiteral("picture too large"));
    });
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    deadline.start(PictureFiles::timeoutMs());
    if (!r->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (!stopReason.isEmpty()) {
        fetched.data.clear();
        fetched.errorText = stopReason;
        return fetched;
    }
    if (r->error() != QNetworkReply::NoError) {
        fetched.data.clear();
        fetched.errorText = r->errorString();
        return fetched;
    }
    fetched.data += r->readAll();
    if (fetched.data.size() > PictureFiles::maxPictureBytes) {
        fetched.data.clear();
        fetched.errorText = QStringLiteral("picture too large");
        return fetched;
    }
    fetched.ok = true;
    return fetched;
}

Result decode(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    Result result;
    result.picture = reader.read();
    if (result.picture.isNull())
        return failure(Outcome::Error, QStringLiteral("not a picture: ") + reader.errorString());
    result.outcome = Outcome::Loaded;
    result.data = data;
    return result;
}

// Two letters at least, so that a drive letter reads as a path.
QString schemeOf(const QString &location)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]+):"));
    const QRegularExpressionMatch match = scheme.match(location);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

} // namespace

PictureFiles::Result PictureFiles::loadPath(const QString &location)
{
    const QString scheme = schemeOf(location);
    Fetched fetched;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        const QUrl url(location);
        if (!url.isValid())
            return failure(Outcome::Error, QStringLiteral("malformed address: ") + location);
        fetched = fetchWeb(url);
    } else if (scheme == QLatin1String("file")) {
        const QUrl url(location);
        if (!url.isValid() || !url.isLocalFile())
            return failure(Outcome::Error, QStringLiteral("malformed file URL: ") + location);
        fetched = readLocal(url.toLocalFile());
    } else if (scheme.isEmpty()) {
        fetched = readLocal(location);
    } else {
        return failure(Outcome::Error, QStringLiteral("unsupported location: ") + location);
    }

    if (!fetched.ok)
        return failure(Outcome::Failed, fetched.errorText);
    return decode(fetched.data);
}

PictureFiles::Result PictureFiles::loadFile(const QString &path)
{
    const Fetched fetched = readLocal(path);
    if (!fetched.ok)
        return failure(Outcome::Error, fetched.errorText);
    return decode(fetched.data);
}

int PictureFiles::timeoutMs()
{
    return timeoutOverride() > 0 ? timeoutOverride() : defaultTimeoutMs;
}

void PictureFiles::setTimeoutMsForTesting(int ms)
{
    timeoutOverride() = ms;
}
