// Feeds successive pages through the extraction on one song state and checks
// what the cutting rules guarantee whatever the page holds, and that the page
// read as UTF-8 bytes and the page decoded to text give the same song state.
// The input is split at NUL bytes; an empty part is a fetch that gave no page.

#include "Extraction.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &value = QString())
{
    std::fprintf(stderr, "invariant broken: %s [%s]\n", what, qPrintable(value));
    std::abort();
}

void check(bool ok, const char *what, const QString &value = QString())
{
    if (!ok)
        fail(what, value);
}

bool isPad(QChar c)
{
    return c == u' ' || c == QChar(0x3000);
}

void checkTrimmed(const QString &v, const char *what)
{
    check(v.isEmpty() || (!isPad(v.front()) && !isPad(v.back())), what, v);
}

QStringList allFields(const SongPage &s)
{
    return {s.strPage.toString(), s.strVideoUrl,    s.strTitleUser,     s.strFansPiece,
            s.varFansCut,         s.strInfoPiece,   s.varInfoCut,       s.strTitleSong,
            s.strPlaysPiece,      s.varPlaysCut,    s.strGiftsPiece,    s.varGiftsCut,
            s.strForwardsPiece,   s.varForwardsCut, s.strCommentsPiece, s.varCommentsCut,
            s.strPhotosPiece,     s.varPhotoTag,    s.varPhotoSrc,      s.varMp3Piece,
            s.varMp3Cut,          s.strMp3Url,      s.strHeadPiece,     s.varHeadUrl,
            s.varHeadUrl640,      s.strVideoHtml};
}

bool sameValues(const SongValues &a, const SongValues &b)
{
    return a.userName == b.userName && a.fanCount == b.fanCount && a.otherInfo == b.otherInfo &&
           a.songName == b.songName && a.playCount == b.playCount && a.giftCount == b.giftCount &&
           a.forwardCount == b.forwardCount && a.commentCount == b.commentCount &&
           a.photoUrl == b.photoUrl;
}

// A value whose marker is on the page depends on this page alone; one whose
// marker is missing repeats the last parsed page's value.
struct Dependent
{
    QLatin1StringView marker;
    QString SongValues::*value;
    const char *name;
};

const Dependent kDependents[] = {
    {SongMarkers::title, &SongValues::userName, "userName"},
    {SongMarkers::title, &SongValues::songName, "songName"},
    {SongMarkers::fans, &SongValues::fanCount, "fanCount"},
    {SongMarkers::info, &SongValues::otherInfo, "otherInfo"},
    {SongMarkers::plays, &SongValues::playCount, "playCount"},
    {SongMarkers::gifts, &SongValues::giftCount, "giftCount"},
    {SongMarkers::forwards, &SongValues::forwardCount, "forwardCount"},
    {SongMarkers::comments, &SongValues::commentCount, "commentCount"},
};

void checkValues(const SongValues &v, const SongPage &song)
{
    for (const QString *s :
         {&v.userName, &v.fanCount, &v.otherInfo, &v.songName, &v.playCount, &v.giftCount,
          &v.forwardCount, &v.commentCount, &v.photoUrl, &song.strMp3Url})
        checkTrimmed(*s, "value not trimmed");
    for (const QString *s :
         {&v.fanCount, &v.otherInfo, &v.playCount, &v.giftCount, &v.forwardCount, &v.commentCount})
        check(!s->contains(u'<'), "block value keeps a <", *s);
    check(!v.fanCount.contains(u'有'), "fan count keeps 有", v.fanCount);
    check(!v.userName.contains(u'-') && !v.songName.contains(u'-'), "name holds a dash");
    check(!v.userName.contains(u"</title>") && !v.songName.contains(u"</title>"),
          "name runs past the title");
    check(!v.photoUrl.contains(u'"') && !v.photoUrl.contains(u' '), "photo address", v.photoUrl);
    check(!song.strMp3Url.contains(u'"'), "audio address holds a quote", song.strMp3Url);
    check(!song.varHeadUrl.contains(u'"'), "header address holds a quote", song.varHeadUrl);
    check(song.varHeadUrl640.size() == song.varHeadUrl.size(), "640 changed the length");
}

void checkMedia(const Extraction::Outcome &out, const SongPage &song)
{
    const QString &photo = out.values.photoUrl;
    switch (out.media.kind) {
    case MediaKind::NoPhoto:
        check(photo.isEmpty(), "NoPhoto with a photo address", photo);
        check(out.media.pictureUrl.isEmpty() && out.media.videoUrl.isEmpty(), "NoPhoto picture");
        break;
    case MediaKind::Video:
        check(photo.contains(u"player"), "Video without player", photo);
        check(out.media.pictureUrl == song.varHeadUrl640, "Video picture");
        check(out.media.videoUrl.size() <= photo.size(), "video address grew");
        break;
    case MediaKind::Audio:
        check(!photo.isEmpty() && !photo.contains(u"player"), "Audio kind", photo);
        check(out.media.pictureUrl == photo && out.media.videoUrl.isEmpty(), "Audio picture");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> parts =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    if (parts.size() > 8)
        return -1;

    SongPage song;     // fed the bytes, as the window and the tool read a UTF-8 page
    SongPage textSong; // fed the same bytes decoded to text first
    SongValues last;   // values of the last page that was parsed
    for (const QByteArray &part : parts) {
        const SongPage before = song;
        std::optional<PageText> page;
        if (!part.isEmpty())
            page = PageText::fromUtf8(QByteArray(part.constData(), part.size()));
        const QString text = QString::fromUtf8(part);

        const std::optional<Extraction::Outcome> out = Extraction::extractFromPage(song, page);
        const std::optional<Extraction::Outcome> textOut = Extraction::extractFromPage(
            textSong, page ? std::optional<PageText>(text) : std::nullopt);
        check(allFields(song) == allFields(textSong), "byte and text paths store different fields");
        check(out.has_value() == textOut.has_value(), "byte and text paths disagree on a page");
        if (!out || text.isEmpty()) {
            check(!out, "no page but parsed");
            QStringList expected = allFields(before);
            expected[0].clear();
            check(allFields(song) == expected, "no page changed the song state");
            continue;
        }
        check(sameValues(out->values, textOut->values),
              "byte and text paths give different values");

        check(song.strPage.toString() == text, "page not stored");
        check(song.strVideoUrl.isEmpty(), "video address not cleared");
        checkValues(out->values, song);
        checkMedia(*out, song);

        SongPage fresh;
        fresh.strPage = song.strPage;
        const SongValues alone = ParseSongPage(fresh);
        for (const Dependent &d : kDependents) {
            const QString &got = out->values.*(d.value);
            const QString &want = text.contains(d.marker) ? alone.*(d.value) : last.*(d.value);
            check(got == want, d.name, got);
        }
        if (!text.contains(SongMarkers::photos))
            check(out->values.photoUrl == last.photoUrl, "photoUrl not kept", out->values.photoUrl);
        if (!text.contains(SongMarkers::mp3))
            check(song.strMp3Url == before.strMp3Url, "strMp3Url not kept", song.strMp3Url);
        else
            check(song.strMp3Url == fresh.strMp3Url, "strMp3Url depends on history");
        if (!text.contains(SongMarkers::head))
            check(song.varHeadUrl640 == before.varHeadUrl640, "varHeadUrl640 not kept");
        else
            check(song.varHeadUrl640 == fresh.varHeadUrl640, "varHeadUrl640 depends on history");

        // The same page once more changes nothing: every piece is either
        // taken again from it or was kept and is kept again.
        SongPage again = song;
        const SongValues twice = ParseSongPage(again);
        check(sameValues(twice, out->values), "second parse of the same page differs");
        check(allFields(again) == allFields(song), "second parse changed the song state");

        last = out->values;
    }
    return 0;
}
