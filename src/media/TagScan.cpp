#include "TagScan.h"

#include <apefooter.h>
#include <id3v2extendedheader.h>
#include <id3v2frame.h>
#include <id3v2header.h>
#include <id3v2synchdata.h>
#include <mpegheader.h>
#include <tfile.h>
#include <tiostream.h>

#include <algorithm>
#include <climits>

using TagLib::ByteVector;
using TagLib::IOStream;

namespace {

// Tags read whole: a song's cover fits many times over. TagLib holds a tag
// up to four times over while it writes it back, the last copy ours.
const qint64 MaxTagBytes = 12 << 20;
// Text, which TagLib holds four bytes a character.
const qint64 MaxTextBytes = 1 << 20;
// Each zero byte in a text frame or APE item starts another string object.
const qint64 MaxSeparators = 1 << 16;
const int MaxFrames = 4096;
const qint64 MaxApeBytes = 64 << 10;
const int MaxBoxes = 1 << 16;
const int MaxDepth = 32; // a song's boxes nest six deep

struct Budget
{
    int items = 0;
    qint64 text = 0;
    qint64 separators = 0;

    bool holds() const { return text <= MaxTextBytes && separators <= MaxSeparators; }
    void addText(const ByteVector &bytes)
    {
        text += bytes.size();
        separators += std::count(bytes.begin(), bytes.end(), '\0');
    }
};

// Only to ask TagLib where it finds the first MPEG frame.
class Probe : public TagLib::File
{
public:
    explicit Probe(IOStream *stream)
        : TagLib::File(stream)
    {}
    TagLib::Tag *tag() const override { return nullptr; }
    TagLib::AudioProperties *audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

// ---- ID3v2, as ID3v2::Tag::parse, FrameFactory and the chapter frames read it

// TagLib opens its frame header reader to frames alone; this one is never made.
class FrameHeader : public TagLib::ID3v2::Frame
{
public:
    struct Fields
    {
        ByteVector id;
        uint size;
        bool compressed;
        bool unsynchronised;
        bool lengthIndicator;
    };

    static Fields read(const ByteVector &data, uint version)
    {
        const Header header(data, version);
        return {header.frameID(), header.frameSize(), header.compression(),
                header.unsynchronisation(), header.dataLengthIndicator()};
    }
    static uint size(uint version) { return Header::size(version); }
};

bool framesFit(const ByteVector &data, uint from, uint limit, uint version, int depth,
               Budget &budget);

// The frame ID FrameFactory::createFrame accepts; an empty one where it stops.
bool acceptedFrame(const FrameHeader::Fields &header, uint left, uint version)
{
    ByteVector id = header.id;
    if (id.size() != (version < 3 ? 3u : 4u) || header.size <= (header.lengthIndicator ? 4u : 0u) ||
        header.size > left)
        return false;
    if (version == 3 && id[3] == '\0')
        id = id.mid(0, 3); // a v2.2 frame in a v2.3 tag
    return std::all_of(id.begin(), id.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

uint afterString(const ByteVector &body, uint pos)
{
    const int end = body.find('\0', pos);
    return end >= int(pos) ? uint(end) + 1 : pos;
}

// Where a chapter or table of contents frame's own frames start.
uint embeddedStart(const ByteVector &id, const ByteVector &body)
{
    uint pos = afterString(body, 0);
    if (id == "CHAP")
        return body.size() < 18 ? UINT_MAX : pos + 16;
    if (body.size() < 6)
        return UINT_MAX;
    const uint entries = uchar(body.at(pos + 1));
    pos += 2;
    for (uint i = 0; i < entries; ++i)
        pos = afterString(body, pos);
    return pos;
}

bool frameFits(const FrameHeader::Fields &header, const ByteVector &body, uint version, int depth,
               Budget &budget)
{
    // A compressed frame is inflated whatever its size says.
    if (header.compressed || ++budget.items > MaxFrames)
        return false;
    const ByteVector &id = header.id;
    if (id == "APIC" || id == "PIC" || id == "GEOB" || id == "GEO" || id == "PRIV")
        return true; // held as the bytes they are
    budget.addText(body);
    if (id != "CHAP" && id != "CTOC")
        return budget.holds();
    // Chapters in chapters would nest as deep as the tag is long.
    if (depth > 0 || header.unsynchronised || header.lengthIndicator)
        return false;
    const uint start = embeddedStart(id, body);
    const uint headerSize = FrameHeader::size(version);
    if (start > body.size() || body.size() - start < headerSize)
        return budget.holds();
    return budget.holds() && framesFit(body, start, body.size() - headerSize, version, 1, budget);
}

// Frames from position from on while it is below limit, as the loops of
// ID3v2::Tag::parse and ChapterFrame::parseFields go.
bool framesFit(const ByteVector &data, uint from, uint limit, uint version, int depth,
               Budget &budget)
{
    const uint headerSize = FrameHeader::size(version);
    for (uint pos = from; pos < limit;) {
        if (data.at(pos) == 0)
            break; // padding, or past the end
        const ByteVector rest = data.mid(pos);
        const FrameHeader::Fields header = FrameHeader::read(rest, version);
        if (!acceptedFrame(header, rest.size(), version))
            break;
        if (!frameFits(header, rest.mid(headerSize, header.size), version, depth, budget))
            return false;
        pos += headerSize + header.size;
    }
    return true;
}

bool id3v2Fits(IOStream &stream, qint64 &tagBytes)
{
    stream.seek(0);
    const TagLib::ID3v2::Header header(stream.readBlock(TagLib::ID3v2::Header::size()));
    const qint64 length = stream.length();
    tagBytes = std::min<qint64>(header.completeTagSize(), length);
    if (header.tagSize() == 0)
        return true;
    if (std::min<qint64>(header.tagSize(), length) > MaxTagBytes)
        return false;
    ByteVector data = stream.readBlock(header.tagSize());
    if (header.unsynchronisation() && header.majorVersion() <= 3)
        data = TagLib::ID3v2::SynchData::decode(data);
    uint from = 0;
    if (header.extendedHeader()) {
        TagLib::ID3v2::ExtendedHeader extended;
        extended.setData(data);
        if (extended.size() <= data.size())
            from = extended.size();
    }
    uint frames = data.size() - from;
    if (header.footerPresent() && frames >= 10)
        frames -= 10;
    // TagLib compares the position with the length of the frames alone, and
    // a length shorter than a frame header wraps around.
    const uint headerSize = FrameHeader::size(header.majorVersion());
    const uint limit = frames >= headerSize ? frames - headerSize : UINT_MAX;
    Budget budget;
    return framesFit(data, from, limit, header.majorVersion(), 0, budget);
}

// An APE tag's items are split at every zero byte too; a song has none.
bool apeFits(IOStream &stream)
{
    const qint64 length = stream.length();
    qint64 footer = length - 32;
    if (length >= 131) {
        stream.seek(length - 131);
        const ByteVector end = stream.readBlock(8);
        if (end.containsAt("TAG", 3) && end != "APETAGEX")
            footer = length - 128 - 32;
    } else if (length >= 128) {
        stream.seek(length - 128);
        if (stream.readBlock(3) == "TAG")
            footer = length - 128 - 32;
    }
    stream.seek(std::max<qint64>(footer, 0));
    if (stream.readBlock(8) != "APETAGEX")
        return true;
    stream.seek(std::max<qint64>(footer, 0));
    const TagLib::APE::Footer ape(stream.readBlock(TagLib::APE::Footer::size()));
    return ape.tagSize() <= 32 || ape.tagSize() > length || ape.tagSize() <= MaxApeBytes;
}

// ---- MP4, as MP4::Atom, MP4::Atoms and MP4::Tag read it

struct BoxWalk
{
    IOStream &stream;
    Budget budget;
    qint64 tagBytes = 0;
};

bool isContainer(const ByteVector &name)
{
    for (const char *c :
         {"moov", "udta", "mdia", "meta", "ilst", "stbl", "minf", "moof", "traf", "trak", "stsd"}) {
        if (name == c)
            return true;
    }
    return false;
}

// An item of the tag list: its value boxes, each a string or picture.
bool itemFits(BoxWalk &walk, qint64 offset, qint64 length, const ByteVector &name)
{
    if (std::min(length, walk.stream.length() - offset) > MaxTagBytes)
        return false;
    walk.stream.seek(long(offset + 8));
    const ByteVector data = walk.stream.readBlock(ulong(length - 8));
    for (uint pos = 0; pos < data.size();) {
        const int size = int(data.toUInt(pos));
        if (size < 12)
            break;
        if (++walk.budget.items > MaxBoxes)
            return false;
        pos += uint(size);
    }
    if (name != "covr")
        walk.budget.text += data.size();
    return walk.budget.holds();
}

// Boxes TagLib reads whole, or holds as the song's tags.
bool sizeFits(BoxWalk &walk, qint64 offset, qint64 length, const ByteVector &name)
{
    const qint64 held = std::min(length, walk.stream.length() - offset);
    const bool whole = name == "moov" || name == "stco" || name == "co64" || name == "tfhd";
    return !whole || held <= MaxTagBytes;
}

qint64 boxLength(IOStream &stream, const ByteVector &header, qint64 offset)
{
    const qint64 size = header.toUInt();
    if (size == 0)
        return stream.length() - offset; // the last box, to the end of the file
    return size == 1 ? stream.readBlock(8).toLongLong() : size;
}

// Where TagLib starts reading the boxes inside a container.
void enter(IOStream &stream, qint64 offset, const ByteVector &header)
{
    const ByteVector name = header.mid(4, 4);
    stream.seek(long(offset) + (header.toUInt() == 1 ? 16 : 8));
    if (name == "meta") {
        // A full box (version and flags first) unless a known child follows at once.
        const long after = stream.tell();
        const ByteVector next = stream.readBlock(8).mid(4, 4);
        const bool full =
            next != "hdlr" && next != "ilst" && next != "mhdr" && next != "ctry" && next != "lang";
        stream.seek(after + (full ? 4 : 0));
    } else if (name == "stsd") {
        stream.seek(8, IOStream::Current);
    }
}

// One box and what TagLib reads inside it; last: TagLib reads no more boxes
// at this level. A box must end within the one around it: TagLib renders
// padding as long as the boxes around the tag list say they are.
bool boxFits(BoxWalk &walk, qint64 within, int depth, bool inList, bool &last)
{
    IOStream &stream = walk.stream;
    last = false;
    if (++walk.budget.items > MaxBoxes || depth > MaxDepth)
        return false;
    const qint64 offset = stream.tell();
    const ByteVector header = stream.readBlock(8);
    const qint64 length = header.size() == 8 ? boxLength(stream, header, offset) : 0;
    if (length < 8) {
        stream.seek(0, IOStream::End);
        last = true;
        return true;
    }
    const ByteVector name = header.mid(4, 4);
    const qint64 end = length > LLONG_MAX - offset ? LLONG_MAX : offset + length;
    if (end > (name == "moov" ? stream.length() : within))
        return false;
    if (depth == 0 && name == "moov" && walk.tagBytes == 0)
        walk.tagBytes = length;
    if (!sizeFits(walk, offset, length, name) || (inList && !itemFits(walk, offset, length, name)))
        return false;
    if (!isContainer(name)) {
        stream.seek(long(end));
        return true;
    }
    enter(stream, offset, header);
    for (bool stop = false; !stop && stream.tell() < end;) {
        if (!boxFits(walk, end, depth + 1, name == "ilst", stop))
            return false;
    }
    return true;
}

} // namespace

TagScan::Verdict TagScan::mpeg(IOStream &stream)
{
    Verdict verdict;
    stream.seek(0);
    if (stream.readBlock(3) != "ID3") {
        // Else TagLib searches the whole file for a tag before the audio.
        Probe probe(&stream);
        if (!TagLib::MPEG::Header(&probe, 0, true).isValid())
            return verdict;
    } else if (!id3v2Fits(stream, verdict.tagBytes)) {
        verdict.kind = Verdict::TooLarge;
        return verdict;
    }
    verdict.kind = apeFits(stream) ? Verdict::Fits : Verdict::TooLarge;
    return verdict;
}

TagScan::Verdict TagScan::mp4(IOStream &stream)
{
    BoxWalk walk{stream, {}, 0};
    stream.seek(0);
    const qint64 end = stream.length();
    for (bool last = false; !last && stream.tell() < end;) {
        if (!boxFits(walk, LLONG_MAX, 0, false, last))
            return {Verdict::TooLarge, 0};
    }
    return {Verdict::Fits, walk.tagBytes};
}
