#include "AudioTags.h"

#include "Hosts.h"
#include "TagScan.h"
#include "TagStream.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <attachedpictureframe.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mp4coverart.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>
#include <urllinkframe.h>

namespace {

// Two seconds in all: the last half is kept for putting a changed file back.
const int DeadlineMs = 1500;
// What TagLib's padding (1 KiB) and boxes add to a tag, with room to spare.
const qint64 TagSlack = 4 << 10;

TagLib::String toTag(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

enum class Picture { None, Jpeg, Png };

Picture pictureKind(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return Picture::Jpeg;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return Picture::Png;
    return Picture::None;
}

TagLib::ByteVector bytesOf(const QByteArray &bytes)
{
    return TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size()));
}

// Only frames the file lacks are added; returns whether any was.
bool addId3Frames(TagLib::ID3v2::Tag &tag, const SongTags &song)
{
    using namespace TagLib::ID3v2;
    bool added = false;
    const auto lacks = [&tag](const char *id) {
        return tag.frameList(id).isEmpty();
    };
    const auto text = [&](const char *id, const QString &value) {
        if (value.isEmpty() || !lacks(id))
            return;
        // UTF-16: ID3v2.3 has no UTF-8, and Latin-1 cannot hold Chinese names.
        auto *frame = new TextIdentificationFrame(id, TagLib::String::UTF16);
        frame->setText(toTag(value));
        tag.addFrame(frame);
        added = true;
    };
    const auto link = [&](const char *id, const QString &address) {
        if (address.isEmpty() || !lacks(id))
            return;
        auto *frame = new UrlLinkFrame(TagLib::ByteVector(id));
        frame->setUrl(TagLib::String(QUrl(address).toEncoded().toStdString()));
        tag.addFrame(frame);
        added = true;
    };
    text("TIT2", song.title);
    text("TPE1", song.singer);
    const Picture kind = pictureKind(song.cover);
    if (kind != Picture::None && lacks("APIC")) {
        auto *frame = new AttachedPictureFrame;
        frame->setMimeType(kind == Picture::Jpeg ? "image/jpeg" : "image/png");
        frame->setType(AttachedPictureFrame::FrontCover);
        frame->setPicture(bytesOf(song.cover));
        tag.addFrame(frame);
        added = true;
    }
    link("WOAS", song.pageUrl);
    link("WOAF", song.audioUrl);
    return added;
}

enum class Tagging { NothingToAdd, Saved, Refused };

Tagging tagMpeg(TagStream &stream, const SongTags &song)
{
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid())
        return Tagging::NothingToAdd;
    TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);
    // The server's own ID3v1 values count as frames it has.
    if (file.hasID3v1Tag())
        TagLib::Tag::duplicate(file.ID3v1Tag(), tag, false);
    if (!addId3Frames(*tag, song))
        return Tagging::NothingToAdd;
    // ID3v2.3: what Windows Explorer, phones and car players read.
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3,
                     TagLib::File::DoNotDuplicate)
               ? Tagging::Saved
               : Tagging::Refused;
}

Tagging tagMp4(TagStream &stream, const SongTags &song)
{
    TagLib::MP4::File file(&stream, false);
    TagLib::MP4::Tag *tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return Tagging::NothingToAdd;
    bool added = false;
    const auto text = [&](const char *key, const QString &value) {
        if (value.isEmpty() || tag->contains(key))
            return;
        tag->setItem(key, TagLib::StringList(toTag(value)));
        added = true;
    };
    text("\251nam", song.title);
    text("\251ART", song.singer);
    const Picture kind = pictureKind(song.cover);
    if (kind != Picture::None && !tag->contains("covr")) {
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(kind == Picture::Jpeg ? TagLib::MP4::CoverArt::JPEG
                                                                  : TagLib::MP4::CoverArt::PNG,
                                            bytesOf(song.cover)));
        tag->setItem("covr", covers);
        added = true;
    }
    if (!added)
        return Tagging::NothingToAdd;
    return file.save() ? Tagging::Saved : Tagging::Refused;
}

enum class Kind { Other, Mpeg, Mp4 };

Kind kindOf(QFile &file)
{
    char head[12] = {};
    if (!file.seek(0) || file.read(head, sizeof head) != qint64(sizeof head))
        return Kind::Other;
    const QByteArray start(head, sizeof head);
    if (start.startsWith("ID3") || (uchar(start[0]) == 0xFF && (uchar(start[1]) & 0xE0) == 0xE0))
        return Kind::Mpeg;
    return start.mid(4, 4) == "ftyp" ? Kind::Mp4 : Kind::Other;
}

// The most our frames can take: the cover, and text that UTF-16 or
// percent-encoding makes up to nine bytes a character.
qint64 ourBytes(const SongTags &tags)
{
    const qint64 text =
        tags.singer.size() + tags.title.size() + tags.pageUrl.size() + tags.audioUrl.size();
    return tags.cover.size() + 9 * text;
}

Tagging tagWithin(TagStream &stream, Kind kind, const SongTags &tags)
{
    const TagScan::Verdict scan = kind == Kind::Mpeg ? TagScan::mpeg(stream) : TagScan::mp4(stream);
    if (scan.kind == TagScan::Verdict::NotAudio)
        return Tagging::NothingToAdd;
    if (scan.kind == TagScan::Verdict::TooLarge)
        return Tagging::Refused;
    // The tags written back may be twice as long as read: TagLib writes
    // ID3v2.4's UTF-8 text as UTF-16 in ID3v2.3.
    const qint64 end = stream.length() + ourBytes(tags) + 2 * scan.tagBytes + TagSlack;
    // Enough to move the audio once and write the tag and offsets tables twice over.
    stream.limitChanges(end, 2 * end);
    return kind == Kind::Mpeg ? tagMpeg(stream, tags) : tagMp4(stream, tags);
}

AudioTags::Result resultOf(TagStream::Failure failure)
{
    switch (failure) {
    case TagStream::Failure::NoRoom:
        return AudioTags::Result::NoRoom;
    case TagStream::Failure::TimedOut:
        return AudioTags::Result::TimedOut;
    case TagStream::Failure::IoError:
        return AudioTags::Result::IoError;
    case TagStream::Failure::None:
    case TagStream::Failure::OutOfBounds:
        break;
    }
    return AudioTags::Result::Malformed;
}

// A file that failed goes back as it came, if it was changed at all.
AudioTags::Result settle(TagStream &stream, Tagging tagging)
{
    if (stream.failure() == TagStream::Failure::None && tagging != Tagging::Refused)
        return tagging == Tagging::Saved ? AudioTags::Result::Tagged : AudioTags::Result::Untouched;
    if (stream.changed() && !stream.rollback())
        return AudioTags::Result::Damaged;
    return resultOf(stream.failure());
}

} // namespace

SongTags SongTags::fromExtraction(const QString &singerName, const QString &songName,
                                  const QByteArray &cover, const QString &shareText,
                                  const QString &audioUrl)
{
    SongTags tags;
    tags.singer = AudioTags::singerWithoutSlogan(singerName);
    tags.title = songName.trimmed();
    tags.cover = cover;
    // The address alone, without the words the user pasted around it.
    const qsizetype at = shareText.indexOf(Hosts::sharePrefix());
    if (at >= 0) {
        tags.pageUrl = shareText.mid(at);
        const qsizetype space = tags.pageUrl.indexOf(QRegularExpression(QStringLiteral("\\s")));
        if (space >= 0)
            tags.pageUrl.truncate(space);
    }
    tags.audioUrl = audioUrl;
    return tags;
}

QString AudioTags::singerWithoutSlogan(const QString &userName)
{
    QString name = userName;
    // The title's markup and the page after it never belong to a name.
    for (const QString &end : {QStringLiteral("<"), QStringLiteral("\n"), QStringLiteral("\r")}) {
        const qsizetype at = name.indexOf(end);
        if (at >= 0)
            name.truncate(at);
    }
    // The slogan follows a run of spaces, or a " - " before the site's name; a
    // " - " inside the name itself stays.
    static const QRegularExpression slogan(QStringLiteral("( {2,}| - (?=唱吧))"));
    const qsizetype at = name.indexOf(slogan);
    if (at >= 0)
        name.truncate(at);
    return name.trimmed();
}

AudioTags::Result AudioTags::write(QFileDevice &download, const SongTags &tags)
{
    QFile file;
    if (!download.flush() ||
        !file.open(download.handle(), QIODevice::ReadWrite | QIODevice::Unbuffered,
                   QFileDevice::DontCloseHandle))
        return Result::IoError;
    const Kind kind = kindOf(file);
    if (kind == Kind::Other)
        return Result::Untouched;
    TagStream stream(file, QDeadlineTimer(DeadlineMs));
    Tagging tagging = Tagging::Refused;
    // The one place TagLib runs: whatever it or the stream throws ends the
    // tagging, never the program.
    try {
        tagging = tagWithin(stream, kind, tags);
    } catch (...) {
        stream.abandon(TagStream::Failure::OutOfBounds);
    }
    const Result result = settle(stream, tagging);
    file.seek(file.size()); // the handle is shared: leave it where the download ended
    return result;
}
