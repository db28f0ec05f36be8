#include "AudioTags.h"

#include "Hosts.h"

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
#include <tiostream.h>
#include <urllinkframe.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

const long CopyChunk = 1 << 20;

// TagLib's view of the download's temporary file. Every change is made in
// place through the descriptor, in bounded chunks; a failed write stops all
// later ones and is remembered, so the caller can tell an untouched file from
// a damaged one.
class FdStream : public TagLib::IOStream
{
public:
    explicit FdStream(int fd)
        : m_fd(fd)
    {}

    bool changed() const { return m_changed; }
    bool failed() const { return m_failed; }

    TagLib::FileName name() const override { return ""; }
    bool readOnly() const override { return false; }
    bool isOpen() const override { return true; }
    long tell() const override { return m_pos; }
    long length() override;
    void seek(long offset, Position p) override;
    TagLib::ByteVector readBlock(unsigned long size) override;
    void writeBlock(const TagLib::ByteVector &data) override;
    void insert(const TagLib::ByteVector &data, unsigned long start,
                unsigned long replace) override;
    void removeBlock(unsigned long start, unsigned long size) override;
    void truncate(long size) override;

private:
    bool put(const char *data, size_t size, long at);
    void move(long from, long to, long size);

    int m_fd;
    long m_pos = 0;
    bool m_changed = false;
    bool m_failed = false;
};

long FdStream::length()
{
    struct stat st = {};
    return ::fstat(m_fd, &st) == 0 ? long(st.st_size) : 0;
}

void FdStream::seek(long offset, Position p)
{
    const long base = p == Beginning ? 0 : p == Current ? m_pos : length();
    m_pos = std::max(0L, base + offset);
}

TagLib::ByteVector FdStream::readBlock(unsigned long size)
{
    TagLib::ByteVector data(static_cast<unsigned int>(size), 0);
    const ssize_t n = size ? ::pread(m_fd, data.data(), size, m_pos) : 0;
    if (n < 0) {
        m_failed = true;
        return TagLib::ByteVector();
    }
    data.resize(static_cast<unsigned int>(n));
    m_pos += n;
    return data;
}

void FdStream::writeBlock(const TagLib::ByteVector &data)
{
    if (put(data.data(), data.size(), m_pos))
        m_pos += long(data.size());
}

void FdStream::insert(const TagLib::ByteVector &data, unsigned long start, unsigned long replace)
{
    const long end = length();
    const long grow = long(data.size()) - long(replace);
    const long tail = long(start + replace);
    if (grow > 0) {
        // Room first: running out of space before the move leaves the file as it was.
        if (m_failed || ::posix_fallocate(m_fd, end, grow) != 0) {
            m_failed = true;
            if (::ftruncate(m_fd, end) != 0)
                m_changed = true;
            return;
        }
        move(tail, tail + grow, end - tail);
        put(data.data(), data.size(), long(start));
    } else {
        put(data.data(), data.size(), long(start));
        if (grow < 0) {
            move(tail, tail + grow, end - tail);
            truncate(end + grow);
        }
    }
    m_pos = long(start + data.size());
}

void FdStream::removeBlock(unsigned long start, unsigned long size)
{
    const long end = length();
    const long from = long(start + size);
    move(from, long(start), end - from);
    truncate(end - long(size));
}

void FdStream::truncate(long size)
{
    if (m_failed)
        return;
    m_changed = true;
    if (::ftruncate(m_fd, size) != 0)
        m_failed = true;
}

bool FdStream::put(const char *data, size_t size, long at)
{
    if (m_failed)
        return false;
    m_changed = true;
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size, at);
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

// Overlapping ranges are safe: a move to the back copies from the end.
void FdStream::move(long from, long to, long size)
{
    std::vector<char> chunk(size_t(std::min(size, CopyChunk)));
    for (long done = 0; done < size && !m_failed;) {
        const long n = std::min(CopyChunk, size - done);
        const long offset = to > from ? size - done - n : done;
        if (::pread(m_fd, chunk.data(), size_t(n), from + offset) != n) {
            m_failed = true;
            return;
        }
        put(chunk.data(), size_t(n), to + offset);
        done += n;
    }
}

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

bool tagMpeg(FdStream &stream, const SongTags &song)
{
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid())
        return false;
    TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);
    // The server's own ID3v1 values count as frames it has.
    if (file.hasID3v1Tag())
        TagLib::Tag::duplicate(file.ID3v1Tag(), tag, false);
    if (!addId3Frames(*tag, song))
        return false;
    // ID3v2.3: what Windows Explorer, phones and car players read.
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3,
                     TagLib::File::DoNotDuplicate);
}

bool tagMp4(FdStream &stream, const SongTags &song)
{
    TagLib::MP4::File file(&stream, false);
    TagLib::MP4::Tag *tag = file.isValid() ? file.tag() : nullptr;
    if (!tag)
        return false;
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
    return added && file.save();
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

AudioTags::Result AudioTags::write(int fd, const SongTags &tags)
{
    char head[12] = {};
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head))
        return Result::Untouched;
    const QByteArray start(head, sizeof head);
    const bool mpeg =
        start.startsWith("ID3") || (uchar(start[0]) == 0xFF && (uchar(start[1]) & 0xE0) == 0xE0);
    const bool mp4 = start.mid(4, 4) == "ftyp";
    if (!mpeg && !mp4)
        return Result::Untouched;

    FdStream stream(fd);
    const bool saved = mpeg ? tagMpeg(stream, tags) : tagMp4(stream, tags);
    if (stream.failed() || !saved)
        return stream.changed() ? Result::Damaged : Result::Untouched;
    return Result::Tagged;
}
