#pragma once

// A look at the tags a file already has, before TagLib reads them. TagLib
// believes every size and count it finds: a few kilobytes could make it nest
// boxes until the stack runs out, build millions of small objects or inflate
// a compressed frame without end. A file goes to TagLib only when its tags
// stay within what a song's tags hold; each walk follows TagLib's own reading
// of the file, through the stream TagLib will use.

#include <QtGlobal>

namespace TagLib {
class IOStream;
}

namespace TagScan {

struct Verdict
{
    enum Kind {
        NotAudio, // TagLib would not find the file's audio where it starts
        TooLarge, // tags TagLib would blow up in memory or on the stack
        Fits,
    };
    Kind kind = NotAudio;
    qint64 tagBytes = 0; // the tags TagLib reads whole and writes back
};

Verdict mpeg(TagLib::IOStream &stream);
Verdict mp4(TagLib::IOStream &stream);

} // namespace TagScan
