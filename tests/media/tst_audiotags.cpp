#include "AudioTags.h"
#include "FileSizeLimit.h"

#include <QTemporaryFile>
#include <QTest>

#include <attachedpictureframe.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>
#include <tpropertymap.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A cover is told by its signature; the bytes after it are carried as they are.
const QByteArray jpeg = "\xFF\xD8\xFF\xE0 a JPEG"_ba, png = "\x89PNG\r\n\x1A\n a PNG"_ba;

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: twenty 417-byte frames, each with its own payload.
const QByteArray audio = [] {
    QByteArray frames;
    for (char i = 1; i <= 20; ++i)
        frames += "\xFF\xFB\x90\x00"_ba + QByteArray(413, i);
    return frames;
}();

// An MP4 box: its size (32-bit, big-endian), its type, its content.
QByteArray box(const char *type, const QByteArray &content)
{
    return QByteArray::fromHex(QByteArray::number(8 + content.size(), 16).rightJustified(8, '0')) +
           type + content;
}

QByteArray bytes(const TagLib::ByteVector &data)
{
    return QByteArray(data.data(), int(data.size()));
}

QByteArray bigEndian(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

// A box whose size field says claimed bytes whatever it holds.
QByteArray claimingBox(quint32 claimed, const char *type, const QByteArray &content)
{
    return bigEndian(claimed) + type + content;
}

const QByteArray ftyp = box("ftyp", "M4A \0\0\0\0M4A mp42"_ba);

QByteArray trackWithOffsets(const QByteArray &stco)
{
    return box("trak", box("mdia", box("minf", box("stbl", box("stco", stco)))));
}

// A title item inside moov/udta/meta/ilst, as iTunes writes it.
QByteArray metadata(const QByteArray &item)
{
    const QByteArray hdlr = box("hdlr", QByteArray(8, 0) + "mdirappl" + QByteArray(9, 0));
    return box("udta", box("meta", QByteArray(4, 0) + hdlr + box("ilst", item)));
}

QByteArray titleValue()
{
    return box("data", "\0\0\0\x01\0\0\0\0Old song"_ba);
}

// moov boxes each inside the one before, depth of them, around content.
QByteArray nested(int depth, const QByteArray &content)
{
    QByteArray out;
    for (int i = depth; i > 0; --i)
        out += bigEndian(quint32(8 * i + content.size())) + "moov";
    return out + content;
}

// write() on a file holding content; the file then reads from its start. A file
// that cannot be set up reports Damaged, which no case expects.
AudioTags::Result tagFile(QTemporaryFile &file, const QByteArray &content, const QByteArray &cover)
{
    if (!file.open() || file.write(content) != content.size() || !file.flush())
        return AudioTags::Result::Damaged;
    const auto result =
        AudioTags::write(file, {u"小鹿同学"_s, u"晴天"_s, cover, u"http://changba.com/s/abc"_s,
                                u"http://lzscuw.changba.com/84263517.mp3"_s});
    file.seek(0);
    return result;
}

} // namespace

class TestAudioTags : public QObject
{
    Q_OBJECT

private slots:
    // A slogan after two spaces is cut in tst_download's first song.
    void namesFromTheExtraction()
    {
        const SongTags tags = SongTags::fromExtraction(
            u"A - B - 唱吧"_s, u" 晴天 "_s, {}, u"看 http://changba.com/s/x9 分享"_s, u"a"_s);
        QCOMPARE(tags.singer, u"A - B"_s);
        QCOMPARE(tags.title, u"晴天"_s);
        QCOMPARE(tags.pageUrl, u"http://changba.com/s/x9"_s);
    }

    // Frames the file lacks are added, MP3's as ID3v2.3; a frame the server
    // sent wins; the audio is left as it came, and so is whatever cannot be
    // tagged.
    void write_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("cover");
        QTest::addColumn<QString>("tags"); // as a reader lists them; empty: left untouched
        TagLib::ID3v2::Tag server;
        server.setTitle("Server Title");
        const QString id3 = u"ARTIST=小鹿同学\nAUDIOSOURCEWEBPAGE=http://changba.com/s/abc\n"
                            "FILEWEBPAGE=http://lzscuw.changba.com/84263517.mp3\nTITLE=%1\n"_s;
        const QString apic = u"Unsupported Data: APIC\n"_s; // how a reader lists a picture
        QTest::newRow("MP3, JPEG cover") << audio << jpeg << id3.arg(u"晴天"_s) + apic;
        QTest::newRow("MP3, the server's ID3v2.4 title wins")
            << bytes(server.render()) + audio << png << id3.arg(u"Server Title"_s) + apic;
        QTest::newRow("MP3, error page for a cover") << audio << "<html>"_ba << id3.arg(u"晴天"_s);
        QTest::newRow("MP4, PNG cover")
            << box("ftyp", "M4A \0\0\0\0M4A mp42"_ba) + box("moov", {}) + box("mdat", audio) << png
            << u"ARTIST=小鹿同学\nTITLE=晴天\nUnsupported Data: covr\n"_s;
        QTest::newRow("web page") << "<html><body>404</body></html>"_ba << jpeg << QString();
        QTest::newRow("too short") << "ID3"_ba << jpeg << QString();
    }
    void write()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, cover);
        QFETCH(QString, tags);
        QTemporaryFile file;
        QCOMPARE(tagFile(file, sent, cover),
                 tags.isEmpty() ? AudioTags::Result::Untouched : AudioTags::Result::Tagged);
        if (tags.isEmpty()) {
            QCOMPARE(file.readAll(), sent);
            return;
        }
        const QByteArray tagged = file.readAll();
        QCOMPARE(tagged.right(audio.size()), audio);
        // Read back from the bytes, alike on every system: by its file name, TagLib
        // on Windows did not open the temporary file.
        TagLib::ByteVectorStream stream(
            TagLib::ByteVector(tagged.constData(), uint(tagged.size())));
        if (sent.mid(4, 4) == "ftyp") {
            TagLib::MP4::File mp4(&stream, false);
            QCOMPARE(QString::fromStdString(mp4.properties().toString().to8Bit(true)), tags);
            const TagLib::MP4::CoverArt art = mp4.tag()->item("covr").toCoverArtList().front();
            QCOMPARE(art.format(), TagLib::MP4::CoverArt::PNG);
            QCOMPARE(bytes(art.data()), cover);
        } else {
            TagLib::MPEG::File mp3(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
            QCOMPARE(mp3.ID3v2Tag(true)->header()->majorVersion(), 3u);
            QCOMPARE(QString::fromStdString(mp3.properties().toString().to8Bit(true)), tags);
            for (const auto *frame : mp3.ID3v2Tag()->frameList("APIC")) {
                const auto *pic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame *>(frame);
                QCOMPARE(pic->type(), TagLib::ID3v2::AttachedPictureFrame::FrontCover);
                QCOMPARE(pic->mimeType().toCString(), cover == png ? "image/png" : "image/jpeg");
                QCOMPARE(bytes(pic->picture()), cover);
            }
        }
    }

    // Files an attacker on the audio server could send. Whatever a size or
    // count in them says, tagging ends at once with the file as it came, or
    // tagged with its audio whole; never with a crash, a hang, a file that
    // grows without end or memory the file cannot back.
    void hostile_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("audio"); // must come through unchanged
        QTest::addColumn<AudioTags::Result>("result");
        const QByteArray frame = audio.left(417);
        QTest::newRow("ID3v2 of 256 MiB in 8,800 bytes: no negative move")
            << "ID3\x03\0\0\x7F\x7F\x7F\x7F"_ba + QByteArray(450, 0) + audio << audio
            << AudioTags::Result::Malformed;
        const QByteArray title = "TIT2\0\0\0\x09\0\0\0Old song"_ba;
        QTest::newRow("ID3v2 of 2,010 bytes in 1,000")
            << "ID3\x03\0\0\0\0\x0F\x50"_ba + title + QByteArray(1000 - 10 - 19 - 417, 0) + frame
            << frame << AudioTags::Result::Malformed;
        const QByteArray mdat = box("mdat", audio.left(142));
        QTest::newRow("MP4 offsets table of 4,294,967,295 entries in 234 bytes: no endless writes")
            << ftyp + box("moov", trackWithOffsets("\0\0\0\0\xFF\xFF\xFF\xFF\0\0\0\x54"_ba)) + mdat
            << mdat << AudioTags::Result::Malformed;
        const QByteArray tail = box("mdat", audio.left(78));
        QTest::newRow("MP4 title of 4 GiB in 211 bytes: never read")
            << ftyp + box("moov", metadata(claimingBox(0xFFFFFFF0, "\xA9nam", titleValue()))) + tail
            << tail << AudioTags::Result::Malformed;
        QTest::newRow("MP4 boxes 100,000 deep: no stack overflow")
            << ftyp + nested(100000, box("mdat", audio)) << audio << AudioTags::Result::Malformed;
    }
    void hostile()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, audio);
        QFETCH(AudioTags::Result, result);
        QTemporaryFile file;
        QCOMPARE(tagFile(file, sent, jpeg), result);
        const QByteArray saved = file.readAll();
        if (result != AudioTags::Result::Tagged)
            QCOMPARE(saved, sent);
        QVERIFY2(saved.size() <= sent.size() + 4096, QByteArray::number(saved.size()));
        QVERIFY(saved.contains(audio));
    }

    // Room is made before any audio moves: a full disk leaves the file as it came.
    void noRoomToGrow()
    {
        if (!FileSizeLimit::supported())
            QSKIP(FileSizeLimit::unsupportedReason());
        auto full = std::make_unique<FileSizeLimit>(audio.size());
        QVERIFY(full->applied());
        QTemporaryFile file;
        const AudioTags::Result result = tagFile(file, audio, jpeg);
        full.reset();
        QCOMPARE(result, AudioTags::Result::NoRoom);
        QCOMPARE(file.readAll(), audio);
    }
};

QTEST_MAIN(TestAudioTags)
#include "tst_audiotags.moc"
