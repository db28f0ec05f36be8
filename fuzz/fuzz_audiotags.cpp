// Tags files made from the input through the download's own call and checks
// what tagging promises whatever the file: it returns, a file it did not tag
// is exactly as it came, and a tagged file grew by no more than a tag can.
//
// The first byte chooses the file's shape: the rest of the input as it is;
// MPEG audio behind an ID3v2 header whose version, flags and size come from
// the input; or MP4 boxes built from the input, before MPEG audio in an mdat.
// The second byte chooses what ends the file: nothing, an ID3v1 tag, or an
// APE tag whose size and item count come from the input.

#include "AudioTags.h"

#include <QByteArray>
#include <QList>
#include <QTemporaryFile>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, qint64 value)
{
    std::fprintf(stderr, "invariant broken: %s [%lld]\n", what, static_cast<long long>(value));
    std::abort();
}

// Reads the input front to back; zeros once it is used up.
struct Input
{
    QByteArray bytes;
    qsizetype at = 0;

    uchar byte() { return at < bytes.size() ? uchar(bytes[at++]) : 0; }
    QByteArray take(qsizetype n)
    {
        const QByteArray part = bytes.mid(at, n);
        at += part.size();
        return part;
    }
    QByteArray rest() { return take(bytes.size()); }
};

QByteArray bigEndian(quint32 value)
{
    const char out[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(out, 4);
}

// MPEG-1 Layer III frames TagLib takes for audio.
QByteArray audio()
{
    QByteArray frames;
    for (char i = 1; i <= 4; ++i)
        frames += QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(413, i);
    return frames;
}

QByteArray id3v2Shaped(Input &in)
{
    QByteArray header("ID3", 3);
    header += char(2 + in.byte() % 3);
    header += '\0';
    header += char(in.byte()); // flags
    for (int i = 0; i < 4; ++i)
        header += char(in.byte() & 0x7F);
    return header + in.take(in.byte() * 16) + audio();
}

const char *const BoxNames[] = {"moov", "udta", "meta", "hdlr", "ilst", "\251nam", "covr",
                                "data", "trak", "mdia", "minf", "stbl", "stco",    "co64",
                                "stsd", "moof", "traf", "tfhd", "free", "----"};
const int BoxNameCount = int(sizeof BoxNames / sizeof *BoxNames);

// A box around content whose size field tells the truth, claims too much,
// zero (to the end of the file) or a 64-bit size.
QByteArray box(const char *name, const QByteArray &content, uchar sizing)
{
    const quint32 size = quint32(8 + content.size());
    switch (sizing % 8) {
    case 5:
        return bigEndian(0xFFFFFFF0u) + name + content;
    case 6:
        return bigEndian(0) + name + content;
    case 7:
        return bigEndian(1) + name + bigEndian(0) + bigEndian(size + 8) + content;
    }
    return bigEndian(size) + name + content;
}

// Tokens: below 0x80 a box holding the next bytes; below 0xF0 a box holding
// the boxes up to its end token; from 0xF0 on the end of the open box.
QByteArray boxes(Input &in, int depth)
{
    QByteArray out;
    while (in.at < in.bytes.size()) {
        const uchar token = in.byte();
        if (token >= 0xF0)
            break;
        const char *name = BoxNames[token % BoxNameCount];
        const uchar sizing = in.byte();
        const QByteArray content =
            token < 0x80 || depth > 16 ? in.take(in.byte()) : boxes(in, depth + 1);
        out += box(name, content, sizing);
    }
    return out;
}

QByteArray mp4Shaped(Input &in)
{
    return box("ftyp", QByteArray("M4A \0\0\0\0M4A mp42", 16), 0) + boxes(in, 0) +
           box("mdat", audio(), 0);
}

QByteArray ending(uchar kind, Input &in)
{
    if (kind % 3 == 1)
        return "TAG" + in.take(125).leftJustified(125, ' ');
    if (kind % 3 != 2)
        return {};
    const QByteArray items = in.take(in.byte() * 4);
    QByteArray footer("APETAGEX\xD0\x07\0\0", 12); // version 2000
    for (int i = 0; i < 8; ++i)                    // size and item count, little-endian
        footer += char(in.byte());
    return items + footer + QByteArray(12, 0);
}

QByteArray fileFrom(const uint8_t *data, size_t size)
{
    Input in{QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))};
    const uchar shape = in.byte();
    const uchar end = in.byte();
    QByteArray file = shape % 3 == 1   ? id3v2Shaped(in)
                      : shape % 3 == 2 ? mp4Shaped(in)
                                       : QByteArray();
    const QByteArray tail = ending(end, in);
    return file + in.rest() + tail;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const SongTags tags{QStringLiteral("小鹿同学"), QStringLiteral("晴天"),
                               QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0"
                                          "\xFF\xD9",
                                          22),
                               QStringLiteral("http://changba.com/s/abc"),
                               QStringLiteral("http://lzscuw.changba.com/84263517.mp3")};
    const QByteArray sent = fileFrom(data, size);
    QTemporaryFile file;
    if (!file.open() || file.write(sent) != sent.size())
        fail("cannot write the file", sent.size());

    const AudioTags::Result result = AudioTags::write(file, tags);
    // Nothing here is short of room or time: a few kilobytes take milliseconds.
    if (result == AudioTags::Result::Damaged || result == AudioTags::Result::IoError ||
        result == AudioTags::Result::NoRoom || result == AudioTags::Result::TimedOut)
        fail("tagging met a file error or ran out of time", int(result));
    file.seek(0);
    const QByteArray saved = file.readAll();
    if (result != AudioTags::Result::Tagged && saved != sent)
        fail("a file not tagged was changed", int(result));
    // Our frames and TagLib's padding, and existing tags written back at twice their size.
    if (saved.size() > 3 * sent.size() + 128 * 1024)
        fail("a tagged file grew past any tag", saved.size());
    return 0;
}
