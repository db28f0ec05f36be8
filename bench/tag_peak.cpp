// tag-peak [CASE]
//
// Time and peak memory of tagging one worst-case 64 MiB file, as a download
// is tagged: the files tagging must get through within two seconds and 64 MiB
// beyond the file's own tags. The file is written in pieces, so setting it up
// costs little memory; the peak is reset before the tagging starts. With no
// case named, runs every case in a process of its own.

#include "AudioTags.h"
#include "WindowBench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <map>

namespace {

const qint64 FileBytes = 64 << 20;

QByteArray bigEndian(quint32 value)
{
    const char out[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(out, 4);
}

QByteArray synchsafe(quint32 value)
{
    const char out[4] = {char((value >> 21) & 0x7F), char((value >> 14) & 0x7F),
                         char((value >> 7) & 0x7F), char(value & 0x7F)};
    return QByteArray(out, 4);
}

QByteArray box(const char *type, const QByteArray &content)
{
    return bigEndian(quint32(8 + content.size())) + type + content;
}

QByteArray frame(const char *id, const QByteArray &body)
{
    return id + bigEndian(quint32(body.size())) + QByteArray(2, 0) + body;
}

struct File
{
    QTemporaryFile &file;

    void add(const QByteArray &bytes, qint64 times = 1)
    {
        for (qint64 i = 0; i < times; ++i)
            file.write(bytes);
    }
    // MPEG frames up to the file's full size.
    void audio()
    {
        const QByteArray mpeg = QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(413, 0x55);
        add(mpeg, (FileBytes - file.size()) / mpeg.size());
    }
    void mdat()
    {
        add(bigEndian(quint32(FileBytes - file.size())) + "mdat");
        add(QByteArray(1 << 20, 0x55), (FileBytes - file.size()) >> 20);
        add(QByteArray(int(FileBytes - file.size()), 0x55));
    }
};

QByteArray ftyp()
{
    return box("ftyp", QByteArray("M4A \0\0\0\0M4A mp42", 16));
}

QByteArray offsets(quint32 count, quint32 entries)
{
    QByteArray table = QByteArray(4, 0) + bigEndian(count);
    for (quint32 i = 0; i < entries; ++i)
        table += bigEndian(64 << 10);
    return box("trak", box("mdia", box("minf", box("stbl", box("stco", table)))));
}

const std::map<std::string, std::function<void(File &)>> cases = {
    {"mp3",
     [](File &f) {
         f.audio();
     }},
    {"mp3-12mib-picture",
     [](File &f) {
         const QByteArray head = QByteArray(1, 0) + "image/jpeg" + QByteArray(3, 0);
         const qint64 picture = (12 << 20) - 10 - head.size() - 20;
         f.add("ID3\x03" + QByteArray(2, 0) + synchsafe(quint32(picture + head.size() + 10)));
         f.add("APIC" + bigEndian(quint32(picture + head.size())) + QByteArray(2, 0) + head);
         f.add(QByteArray(int(picture), 0x11));
         f.audio();
     }},
    {"mp3-text-at-limits",
     [](File &f) {
         // A megabyte of text, a 65,536th of it zero bytes, each starting a string.
         QByteArray text(1 << 20, 'a');
         for (int i = 0; i < text.size(); i += 16)
             text[i] = '\0';
         const QByteArray tag = frame("TXXX", text);
         f.add("ID3\x03" + QByteArray(2, 0) + synchsafe(quint32(tag.size())) + tag);
         f.audio();
     }},
    {"mp3-repeated-headers",
     [](File &f) {
         f.add("ID3\x03" + QByteArray(6, 0), FileBytes / 10);
     }},
    {"m4a",
     [](File &f) {
         f.add(ftyp() + box("moov", offsets(16384, 16384)));
         f.mdat();
     }},
    {"m4a-endless-offsets",
     [](File &f) {
         f.add(ftyp() + box("moov", offsets(0xFFFFFFFF, 1)));
         f.mdat();
     }},
    {"m4a-12mib-cover",
     [](File &f) {
         const QByteArray hdlr = box("hdlr", QByteArray(8, 0) + "mdirappl" + QByteArray(9, 0));
         const QByteArray cover =
             QByteArray("\0\0\0\x0D\0\0\0\0\xFF\xD8\xFF", 11) + QByteArray((12 << 20) - 200, 0x11);
         const QByteArray list = box("ilst", box("covr", box("data", cover)));
         f.add(ftyp() + box("moov", box("udta", box("meta", QByteArray(4, 0) + hdlr + list))));
         f.mdat();
     }},
    {"m4a-65536-boxes",
     [](File &f) {
         f.add(ftyp() + box("moov", box("free", {}).repeated(65530)));
         f.mdat();
     }},
    {"m4a-nested",
     [](File &f) {
         f.add(ftyp());
         const qint64 depth = (FileBytes - 24) / 8;
         for (qint64 i = depth; i > 0; --i)
             f.add(bigEndian(quint32(8 * i)) + "moov");
     }},
};

int runCase(const std::string &name)
{
    QTemporaryFile file;
    if (!file.open())
        return 2;
    File writer{file};
    cases.at(name)(writer);
    file.flush();
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return 2;
    clear.close();
    const long before = statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const AudioTags::Result result = AudioTags::write(
        file, {QStringLiteral("小鹿同学"), QStringLiteral("晴天"),
               QByteArray("\xFF\xD8\xFF\xE0", 4), QStringLiteral("http://changba.com/s/abc"),
               QStringLiteral("http://lzscuw.changba.com/84263517.mp3")});
    const qint64 ms = timer.elapsed();
    std::printf("%-22s result %d  %5lld ms  peak +%6.1f MiB  %lld -> %lld bytes\n", name.c_str(),
                int(result), static_cast<long long>(ms), (statusKiB("VmHWM:") - before) / 1024.0,
                static_cast<long long>(FileBytes), static_cast<long long>(file.size()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 1)
        return cases.count(argv[1]) ? runCase(argv[1]) : 2;
    int rc = 0;
    for (const auto &c : cases) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(app.applicationFilePath(), {QString::fromStdString(c.first)});
        if (!child.waitForFinished(60000) || child.exitCode() != 0)
            rc = 1;
    }
    return rc;
}
