#include "SongPage.h"

#include "TextOps.h"

using namespace TextOps;

namespace {

// A missing marker keeps the piece of the last page that had it, so its value repeats.
// Only the start of a piece up to its closing text is ever read, so only that is
// kept: a piece otherwise runs to the end of the page, and ten of them would hold
// ten copies of a huge page. Where the closing text is missing, what is read is
// empty (or, for the title, the whole piece), and so is what is kept.
void takePiece(QString &target, std::optional<QStringView> piece, QStringView closing,
               bool wholeWithoutClosing = false)
{
    if (!piece)
        return;
    const qsizetype at = piece->indexOf(closing);
    if (at >= 0)
        target = piece->left(at + closing.size()).toString();
    else
        target = wholeWithoutClosing ? piece->toString() : QString();
}

QString withoutOpeningBrackets(const QString &cut)
{
    QString value = cut;
    value.remove(u'<');
    return trimmed(value);
}

// A title with fewer than two "-" would otherwise let the name run on into the markup.
QStringView titleText(const QString &titlePiece)
{
    return before(titlePiece, u"</title>");
}

QString blockValue(const QString &page, QStringView marker, QString &piece, QString &cut)
{
    takePiece(piece, pieceAfter(page, marker), u"</div>");
    cut = through(piece, u"</div>").toString();
    return withoutOpeningBrackets(cut);
}

} // namespace

SongValues ParseSongPage(SongPage &song)
{
    SongValues v;
    const QString &page = song.strPage;

    const std::optional<QStringView> titlePiece = pieceAfter(page, SongMarkers::title);
    takePiece(song.strTitleUser, titlePiece, u"</title>", true);
    if (const auto user = pieceAfter(titleText(song.strTitleUser), u"-"))
        v.userName = trimmed(*user);

    v.fanCount = trimmed(
        blockValue(page, SongMarkers::fans, song.strFansPiece, song.varFansCut).remove(u'有'));

    v.otherInfo = blockValue(page, SongMarkers::info, song.strInfoPiece, song.varInfoCut);

    // Same page, same marker: the song name's title piece equals the user
    // name's, so share its data instead of copying a page-sized string again.
    if (titlePiece)
        song.strTitleSong = song.strTitleUser;
    QString name = through(titleText(song.strTitleSong), u"-").toString();
    name.remove(u'-');
    v.songName = trimmed(name);

    v.playCount = blockValue(page, SongMarkers::plays, song.strPlaysPiece, song.varPlaysCut);
    v.giftCount = blockValue(page, SongMarkers::gifts, song.strGiftsPiece, song.varGiftsCut);
    v.forwardCount =
        blockValue(page, SongMarkers::forwards, song.strForwardsPiece, song.varForwardsCut);
    v.commentCount =
        blockValue(page, SongMarkers::comments, song.strCommentsPiece, song.varCommentsCut);

    takePiece(song.strPhotosPiece, pieceAfter(page, SongMarkers::photos), u"/>");
    song.varPhotoTag = through(song.strPhotosPiece, u"/>").toString();
    if (const auto src = pieceAfter(song.varPhotoTag, u"src=\"")) {
        song.varPhotoSrc = src->toString();
        song.varPhotoSrc.remove(u'"');
    }
    v.photoUrl = trimmed(through(song.varPhotoSrc, u" "));

    takePiece(song.varMp3Piece, pieceAfter(page, SongMarkers::mp3), u"\"");
    song.varMp3Cut = through(song.varMp3Piece, u"\"").toString();
    QString mp3 = song.varMp3Cut;
    mp3.remove(u'"');
    song.strMp3Url = trimmed(mp3);

    takePiece(song.strHeadPiece, pieceAfter(page, SongMarkers::head), u"\"");
    song.varHeadUrl = through(song.strHeadPiece, u"\"").toString();
    song.varHeadUrl.remove(u'"');
    song.varHeadUrl640 = song.varHeadUrl;
    song.varHeadUrl640.replace(QStringLiteral("100"), QStringLiteral("640"));

    return v;
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
