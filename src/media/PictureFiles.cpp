#include "PictureFiles.h"

#include "HttpGet.h"
#include "LocalFile.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>
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
    const LocalFile::Read read = LocalFile::readRegular(path, PictureFiles::maxPictureBytes);
    Fetched fetched;
    fetched.ok = read.ok;
    fetched.data = read.data;
    fetched.errorText = read.errorText;
    return fetched;
}

Fetched fetchWeb(const QUrl &url)
{
    HttpGetRequest request;
    request.url = url;
    request.timeoutMs = PictureFiles::timeoutMs();
    request.maxBytes = PictureFiles::maxPictureBytes;
    const HttpGetResult got = HttpGet::fetch(request);
    Fetched fetched;
    if (got.timedOut)
        fetched.errorText = QStringLiteral("time-out");
    else if (got.tooLarge)
        fetched.errorText = QStringLiteral("picture too large");
    else if (got.error != QNetworkReply::NoError || !got.completed())
        fetched.errorText = got.errorText;
    fetched.ok = fetched.errorText.isEmpty();
    if (fetched.ok)
        fetched.data = got.body;
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
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    Fetched fetched;
    if (web) {
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
    Result result = decode(fetched.data);
    result.fromNetwork = web;
    return result;
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
