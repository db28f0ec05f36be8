#include "AudioTags.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>

#include <attachedpictureframe.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>
#include <urllinkframe.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417-byte frames with varied payload.
QByteArray mpegFrames(int count)
{
    QByteArray audio;
    for (int i = 0; i < count; ++i) {
        QByteArray frame(417, char(i + 1));
        frame[0] = char(0xFF), frame[1] = char(0xFB), frame[2] = char(0x90), frame[3] = 0;
        audio += frame;
    }
    return audio;
}

QByteArray box(const char *type, const QByteArray &content)
{
    QByteArray size(4, 0);
    qToBigEndian(quint32(8 + content.size()), size.data());
    return size + type + content;
}

// The least an MP4 reader accepts: a file type, a movie header and the media data.
QByteArray mp4File(const QByteArray &audio)
{
    QByteArray mvhd(100, 0);
    mvhd[15] = char(0xE8), mvhd[14] = 0x03; // time scale 1000
    return box("ftyp", "M4A \0\0\0\0M4A mp42"_ba) + box("moov", box("mvhd", mvhd)) +
           box("mdat", audio);
}

QByteArray picture(const char *format)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, format);
    return bytes;
}

SongTags songTags(const QString &singer, const QString &title, const QByteArray &cover)
{
    return {singer, title, cover, u"http://changba.com/s/abc"_s,
            u"http://lzscuw.changba.com/84263517.mp3"_s};
}

struct Tagged
{
    AudioTags::Result result = AudioTags::Result::Untouched;
    QByteArray bytes;
    QString path;
};

Tagged tagFile(QTemporaryFile &file, const QByteArray &content, const SongTags &tags,
               rlim_t sizeLimit = RLIM_INFINITY)
{
    Tagged out;
    if (!file.open() || file.write(content) != content.size() || !file.flush())
        return out;
    out.path = file.fileName();
    const int fd = ::open(out.path.toLocal8Bit().constData(), O_RDWR);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{sizeLimit, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    out.result = AudioTags::write(fd, tags);
    setrlimit(RLIMIT_FSIZE, &saved);
    ::close(fd);
    file.seek(0);
    out.bytes = file.readAll();
    return out;
}

QString text(TagLib::ID3v2::Tag *tag, const char *id)
{
    const auto frames = tag->frameList(id);
    return frames.isEmpty() ? u"(none)"_s
                            : QString::fromStdString(frames.front()->toString().to8Bit(true));
}

} // namespace

class TestAudioTags : public QObject
{
    Q_OBJECT

private slots:
    void singerWithoutSlogan_data()
    {
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("singer");
        QTest::newRow("spaces before the slogan")
            << u"Heightened  唱吧,最时尚的手机KTV"_s << u"Heightened"_s;
        QTest::newRow("dash before the slogan")
            << u"小鹿同学 - 唱吧，最火爆的手机KTV"_s << u"小鹿同学"_s;
        QTest::newRow("dash inside the name") << u"A - B - 唱吧，最火爆的手机KTV"_s << u"A - B"_s;
    }
    void singerWithoutSlogan()
    {
        QFETCH(QString, userName);
        QFETCH(QString, singer);
        const SongTags tags = SongTags::fromExtraction(
            userName, u" 晴天 "_s, {}, u"看 http://changba.com/s/x9 分享"_s, u"a"_s);
        QCOMPARE(tags.singer, singer);
        QCOMPARE(tags.title, u"晴天"_s);
        QCOMPARE(tags.pageUrl, u"http://changba.com/s/x9"_s);
    }

    void mpegTagged_data()
    {
        QTest::addColumn<QString>("singer");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QByteArray>("mime");
        QTest::newRow("Chinese names, JPEG cover") << u"小鹿同学"_s << "JPG"_ba
                                                   << "image/jpeg"_ba;
        QTest::newRow("Latin names, PNG cover") << u"Heightened"_s << "PNG"_ba
                                                << "image/png"_ba;
    }
    void mpegTagged()
    {
        QFETCH(QString, singer);
        QFETCH(QByteArray, format);
        QFETCH(QByteArray, mime);
        const QByteArray audio = mpegFrames(20), cover = picture(format.constData());
        QTemporaryFile file;
        const Tagged t = tagFile(file, audio, songTags(singer, u"晴天"_s, cover));
        QCOMPARE(int(t.result), int(AudioTags::Result::Tagged));

        TagLib::MPEG::File read(t.path.toLocal8Bit().constData(), false);
        TagLib::ID3v2::Tag *tag = read.ID3v2Tag();
        QVERIFY(read.hasID3v2Tag());
        QCOMPARE(tag->header()->majorVersion(), 3u);
        QCOMPARE(text(tag, "TIT2"), u"晴天"_s);
        QCOMPARE(text(tag, "TPE1"), singer);
        QCOMPARE(text(tag, "WOAS"), u"http://changba.com/s/abc"_s);
        QCOMPARE(text(tag, "WOAF"), u"http://lzscuw.changba.com/84263517.mp3"_s);
        for (const char *id : {"TIT2", "TPE1"}) {
            auto *frame =
                dynamic_cast<TagLib::ID3v2::TextIdentificationFrame *>(tag->frameList(id).front());
            QCOMPARE(int(frame->textEncoding()), int(TagLib::String::UTF16));
        }
        const auto pictures = tag->frameList("APIC");
        QCOMPARE(pictures.size(), 1u);
        auto *apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(pictures.front());
        QCOMPARE(apic->type(), TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        QCOMPARE(QByteArray(apic->mimeType().toCString()), mime);
        QCOMPARE(QByteArray(apic->picture().data(), int(apic->picture().size())), cover);
        // Not one audio byte changed: the tag (and its padding) then the server's data.
        QCOMPARE(t.bytes.mid(int(read.firstFrameOffset())), audio);
    }

    void serverFramesKept()
    {
        QTemporaryFile server;
        QVERIFY(server.open() && server.write(mpegFrames(8)) > 0 && server.flush());
        {
            TagLib::MPEG::File f(server.fileName().toLocal8Bit().constData(), false);
            f.ID3v2Tag(true)->setTitle("Server Title");
            QVERIFY(f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4));
        }
        server.seek(0);
        QTemporaryFile file;
        const Tagged t = tagFile(file, server.readAll(), songTags(u"歌手"_s, u"晴天"_s, {}));
        QCOMPARE(int(t.result), int(AudioTags::Result::Tagged));
        TagLib::MPEG::File read(t.path.toLocal8Bit().constData(), false);
        QCOMPARE(text(read.ID3v2Tag(), "TIT2"), u"Server Title"_s);
        QCOMPARE(text(read.ID3v2Tag(), "TPE1"), u"歌手"_s);
        QCOMPARE(read.ID3v2Tag()->frameList("TIT2").size(), 1u);
    }

    void mp4Tagged()
    {
        const QByteArray audio = mpegFrames(4), cover = picture("PNG");
        QTemporaryFile file;
        const Tagged t = tagFile(file, mp4File(audio), songTags(u"小鹿同学"_s, u"晴天"_s, cover));
        QCOMPARE(int(t.result), int(AudioTags::Result::Tagged));
        TagLib::MP4::File read(t.path.toLocal8Bit().constData(), false);
        TagLib::MP4::Tag *tag = read.tag();
        QVERIFY(read.isValid() && tag);
        QCOMPARE(QString::fromStdString(tag->item("\251nam").toStringList().front().to8Bit(true)),
                 u"晴天"_s);
        QCOMPARE(QString::fromStdString(tag->item("\251ART").toStringList().front().to8Bit(true)),
                 u"小鹿同学"_s);
        const TagLib::MP4::CoverArt art = tag->item("covr").toCoverArtList().front();
        QCOMPARE(art.format(), TagLib::MP4::CoverArt::PNG);
        QCOMPARE(QByteArray(art.data().data(), int(art.data().size())), cover);
        QVERIFY(t.bytes.endsWith(box("mdat", audio)));
    }

    // Whatever cannot be tagged stays byte for byte as it came.
    void untouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sizeLimit");
        QTest::newRow("web page") << "<html><body>404</body></html>"_ba << qint64(RLIM_INFINITY);
        QTest::newRow("too short") << "ID3"_ba << qint64(RLIM_INFINITY);
        QTest::newRow("no room to grow") << mpegFrames(8) << qint64(8 * 417);
    }
    void untouched()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sizeLimit);
        QTemporaryFile file;
        const Tagged t =
            tagFile(file, content, songTags(u"歌手"_s, u"歌"_s, picture("JPG")), rlim_t(sizeLimit));
        QCOMPARE(int(t.result), int(AudioTags::Result::Untouched));
        QCOMPARE(t.bytes, content);
    }
};

QTEST_MAIN(TestAudioTags)
#include "tst_audiotags.moc"
