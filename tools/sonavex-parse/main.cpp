// sonavex-parse FILE...
//
// Runs one extraction per file, in order, on one shared song state, the way
// the extraction command does from its fetch on; an empty file stands for a
// fetch that gave no page. Prints one compact JSON object per file. A file
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

QString endName(Extraction::End end)
{
    switch (end) {
    case Extraction::End::NoPage:
        return QStringLiteral("no-page");
    case Extraction::End::NoPhoto:
        return QStringLiteral("NoPhoto");
    case Extraction::End::Video:
        return QStringLiteral("Video");
    case Extraction::End::Audio:
        return QStringLiteral("Audio");
    }
    return QString();
}

QJsonObject describe(const Extraction::Outcome &out, const SongPage &song)
{
    QJsonObject o;
    o.insert(QStringLiteral("end"), endName(out.end));
    o.insert(QStringLiteral("strMp3Url"), song.strMp3Url);
    o.insert(QStringLiteral("strVideoUrl"), song.strVideoUrl);
    if (out.end == Extraction::End::NoPage)
        return o;

    const SongValues &v = out.values;
    o.insert(QStringLiteral("userName"), v.userName);
    o.insert(QStringLiteral("fanCount"), v.fanCount);
    o.insert(QStringLiteral("otherInfo"), v.otherInfo);
    o.insert(QStringLiteral("songName"), v.songName);
    o.insert(QStringLiteral("playCount"), v.playCount);
    o.insert(QStringLiteral("giftCount"), v.giftCount);
    o.insert(QStringLiteral("forwardCount"), v.forwardCount);
    o.insert(QStringLiteral("commentCount"), v.commentCount);
    o.insert(QStringLiteral("photoUrl"), v.photoUrl);
    o.insert(QStringLiteral("picture"), out.end == Extraction::End::NoPhoto
                                            ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(out.media.pictureUrl));
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
        const QByteArray bytes = opened ? file.readAll() : QByteArray();
        if (!opened || file.error() != QFileDevice::NoError) {
            std::fprintf(stderr, "sonavex-parse: cannot read %s: %s\n", qPrintable(name),
                         qPrintable(file.errorString()));
            return 2;
        }
        // Empty text, like no text, is no page.
        const Extraction::Outcome out = Extraction::extractFromPage(song, QString::fromUtf8(bytes));
        // The window stores the video address after its notice; there is none here.
        if (out.end == Extraction::End::Video)
            song.strVideoUrl = out.media.videoUrl;
        printLine(QJsonDocument(describe(out, song)).toJson(QJsonDocument::Compact));
    }
    return 0;
}
