// sonavex-parse FILE...
//
// Runs one extraction per file, in order, on one shared song state, the way
// the extraction command does from its fetch on; an empty file stands for a
// fetch that gave no page. Each file is decoded as the window decodes a page
// that came without a charset. Prints one compact JSON object per file. A file
// that cannot be read stops the run with status 2; the lines of the files
// before it have been printed already.

#include "Extraction.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>

namespace {

QString endName(const std::optional<Extraction::Outcome> &out)
{
    if (!out)
        return QStringLiteral("no-page");
    switch (out->media.kind) {
    case MediaKind::NoPhoto:
        return QStringLiteral("NoPhoto");
    case MediaKind::Video:
        return QStringLiteral("Video");
    case MediaKind::Audio:
        return QStringLiteral("Audio");
    }
    return QString();
}

QJsonObject describe(const std::optional<Extraction::Outcome> &out, const SongPage &song)
{
    QJsonObject o;
    o.insert(QStringLiteral("end"), endName(out));
    o.insert(QStringLiteral("strMp3Url"), song.strMp3Url);
    o.insert(QStringLiteral("strVideoUrl"), song.strVideoUrl);
    if (!out)
        return o;

    const SongValues &v = out->values;
    o.insert(QStringLiteral("userName"), v.userName);
    o.insert(QStringLiteral("fanCount"), v.fanCount);
    o.insert(QStringLiteral("otherInfo"), v.otherInfo);
    o.insert(QStringLiteral("songName"), v.songName);
    o.insert(QStringLiteral("playCount"), v.playCount);
    o.insert(QStringLiteral("giftCount"), v.giftCount);
    o.insert(QStringLiteral("forwardCount"), v.forwardCount);
    o.insert(QStringLiteral("commentCount"), v.commentCount);
    o.insert(QStringLiteral("photoUrl"), v.photoUrl);
    o.insert(QStringLiteral("picture"), out->media.kind == MediaKind::NoPhoto
                                            ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(out->media.pictureUrl));
    return o;
}

void printLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    // Flushed per file so the lines before an unreadable file survive the exit.
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: sonavex-parse FILE...\n");
        return 2;
    }

    SongPage song;
    for (const QString &name : files) {
        QFile file(name);
        const bool opened = file.open(QIODevice::ReadOnly);
        QByteArray bytes = opened ? file.readAll() : QByteArray();
        if (!opened || file.error() != QFileDevice::NoError) {
            std::fprintf(stderr, "sonavex-parse: cannot read %s: %s\n", qPrintable(name),
                         qPrintable(file.errorString()));
            return 2;
        }
        // A file has no header: the page's own BOM or <meta> names its encoding.
        // Empty text, like no text, is no page.
        PageText page = decodePage(bytes);
        bytes.clear(); // the page holds the bytes or their text; no second copy stays
        const std::optional<Extraction::Outcome> out = Extraction::extractFromPage(song, page);
        page = PageText();
        // The window stores the video address after its notice; there is none here.
        if (out && out->media.kind == MediaKind::Video)
            song.strVideoUrl = out->media.videoUrl;
        printLine(QJsonDocument(describe(out, song)).toJson(QJsonDocument::Compact));
    }
    return 0;
}
