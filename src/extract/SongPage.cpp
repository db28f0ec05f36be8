#include "SongPage.h"

#include "TextOps.h"

#include <QByteArrayView>
#include <QStringView>

#include <cstring>
#include <optional>

using namespace TextOps;

namespace {

// The two forms a page is read in. Only the steps that search the page differ;
// everything after a cut works on the small decoded piece.
struct TextForm
{
    using View = QStringView;
    static qsizetype find(View page, QLatin1StringView needle, qsizetype from)
    {
        return page.indexOf(needle, from);
    }
    static QString text(View piece) { return piece.toString(); }
};

struct Utf8Form
{
    using View = QByteArrayView;
    static qsizetype find(View page, QLatin1StringView needle, qsizetype from)
    {
        // An empty page has no data pointer, and memmem must not be given null.
        if (page.isEmpty() || from > page.size())
            return -1;
#if defined(__GLIBC__)
        // glibc's memmem skips through the bytes far faster than a UTF-16 search.
        const void *at = memmem(page.data() + from, size_t(page.size() - from), needle.data(),
                                size_t(needle.size()));
        return at ? static_cast<const char *>(at) - page.data() : -1;
#else
        return page.indexOf(QByteArrayView(needle.data(), needle.size()), from);
#endif
    }
    static QString text(View piece)
    {
        return decodeUtf8(piece);
    }
};

template<typename Form> class PageCutter
{
public:
    using View = typename Form::View;
    explicit PageCutter(View page)
        : m_page(page)
    {}

    // The piece after marker runs to the marker's next occurrence. Its start up
    // to and including closing is all any step reads: empty when closing is
    // not inside the piece, nothing when the marker is missing. Each search
    // stops as early as it can, so a huge page is scanned about once per marker.
    std::optional<QString> cut(QLatin1StringView marker, QLatin1StringView closing) const
    {
        const qsizetype first = Form::find(m_page, marker, 0);
        if (first < 0)
            return std::nullopt;
        const qsizetype start = first + marker.size();
        const qsizetype end = closingEnd(marker, start, closing);
        return end < 0 ? QString() : Form::text(m_page.sliced(start, end - start));
    }

    // The title's text up to its second "-" (kept) or its "</title>"; empty
    // without any "-", where neither name needs a character of it.
    std::optional<QString> title() const
    {
        const QLatin1StringView marker = SongMarkers::title;
        const QLatin1StringView closing("</title>");
        const qsizetype first = Form::find(m_page, marker, 0);
        if (first < 0)
            return std::nullopt;
        const qsizetype start = first + marker.size();
        qsizetype end = closingEnd(marker, start, closing);
        if (end >= 0) {
            end -= closing.size();
        } else {
            const qsizetype next = Form::find(m_page, marker, start);
            end = next < 0 ? m_page.size() : next;
        }
        const View text = m_page.sliced(start, end - start);
        const QLatin1StringView dash("-");
        const qsizetype dash1 = Form::find(text, dash, 0);
        if (dash1 < 0)
            return QString();
        const qsizetype dash2 = Form::find(text, dash, dash1 + 1);
        return Form::text(dash2 < 0 ? text : text.first(dash2 + 1));
    }

private:
    // Where closing ends if it lies inside the piece that starts at start; else -1.
    qsizetype closingEnd(QLatin1StringView marker, qsizetype start, QLatin1StringView closing) const
    {
        const qsizetype at = Form::find(m_page, closing, start);
        if (at < 0)
            return -1;
        const qsizetype end = at + closing.size();
        // Only a next marker that starts before the closing text ends can cut it off.
        const View head = m_page.first(qMin(m_page.size(), end - 1 + marker.size()));
        return Form::find(head, marker, start) < 0 ? end : -1;
    }

    View m_page;
};

void keep(QString &target, std::optional<QString> piece)
{
    // A missing marker keeps the piece of the last page that had it, so its value repeats.
    if (piece)
        target = std::move(*piece);
}

QString withoutOpeningBrackets(const QString &cut)
{
    QString value = cut;
    value.remove(u'<');
    return trimmed(value);
}

template<typename Form>
QString blockValue(const PageCutter<Form> &page, QLatin1StringView marker, QString &piece,
                   QString &cut)
{
    keep(piece, page.cut(marker, QLatin1StringView("</div>")));
    cut = through(piece, u"</div>").toString();
    return withoutOpeningBrackets(cut);
}

// The photo, recording and head-picture addresses; returns the photo's.
template<typename Form> QString mediaUrls(const PageCutter<Form> &page, SongPage &song)
{
    keep(song.strPhotosPiece, page.cut(SongMarkers::photos, QLatin1StringView("/>")));
    song.varPhotoTag = through(song.strPhotosPiece, u"/>").toString();
    if (const auto src = pieceAfter(song.varPhotoTag, u"src=\"")) {
        song.varPhotoSrc = src->toString();
        song.varPhotoSrc.remove(u'"');
    }

    keep(song.varMp3Piece, page.cut(SongMarkers::mp3, QLatin1StringView("\"")));
    song.varMp3Cut = through(song.varMp3Piece, u"\"").toString();
    QString mp3 = song.varMp3Cut;
    mp3.remove(u'"');
    song.strMp3Url = trimmed(mp3);

    keep(song.strHeadPiece, page.cut(SongMarkers::head, QLatin1StringView("\"")));
    song.varHeadUrl = through(song.strHeadPiece, u"\"").toString();
    song.varHeadUrl.remove(u'"');
    song.varHeadUrl640 = song.varHeadUrl;
    song.varHeadUrl640.replace(QStringLiteral("100"), QStringLiteral("640"));

    return trimmed(through(song.varPhotoSrc, u" "));
}

template<typename Form> SongValues parse(const PageCutter<Form> &page, SongPage &song)
{
    SongValues v;

    const std::optional<QString> title = page.title();
    keep(song.strTitleUser, title);
    if (const auto user = pieceAfter(song.strTitleUser, u"-"))
        v.userName = trimmed(*user);

    v.fanCount = trimmed(
        blockValue(page, SongMarkers::fans, song.strFansPiece, song.varFansCut).remove(u'有'));

    v.otherInfo = blockValue(page, SongMarkers::info, song.strInfoPiece, song.varInfoCut);

    // Same page, same marker: the song name's title piece equals the user name's.
    if (title)
        song.strTitleSong = song.strTitleUser;
    QString name = through(song.strTitleSong, u"-").toString();
    name.remove(u'-');
    v.songName = trimmed(name);

    v.playCount = blockValue(page, SongMarkers::plays, song.strPlaysPiece, song.varPlaysCut);
    v.giftCount = blockValue(page, SongMarkers::gifts, song.strGiftsPiece, song.varGiftsCut);
    v.forwardCount =
        blockValue(page, SongMarkers::forwards, song.strForwardsPiece, song.varForwardsCut);
    v.commentCount =
        blockValue(page, SongMarkers::comments, song.strCommentsPiece, song.varCommentsCut);

    v.photoUrl = mediaUrls(page, song);
    return v;
}

} // namespace

SongValues ParseSongPage(SongPage &song)
{
    const PageText &page = song.strPage;
    if (page.isUtf8())
        return parse(PageCutter<Utf8Form>(page.utf8()), song);
    return parse(PageCutter<TextForm>(page.text()), song);
}

MediaDecision DecideMedia(const QString &photoUrl, const QString &varHeadUrl640)
{
    MediaDecision d;
    if (photoUrl.isEmpty())
        return d;
    if (photoUrl.contains(u"player")) {
        d.kind = MediaKind::Video;
        d.pictureUrl = varHeadUrl640;
        // Only the player address is used outside the page, so only it is unescaped.
        d.videoUrl = photoUrl;
        d.videoUrl.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        return d;
    }
    d.kind = MediaKind::Audio;
    d.pictureUrl = photoUrl;
    return d;
}
