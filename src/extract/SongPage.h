#pragma once

// The song state of the main window and the parser that fills it from a song
// page's HTML. The parser cuts values at fixed text markers; it does not parse
// HTML. Pieces are kept between extractions on purpose: a marker missing from
// a page leaves the piece an earlier page gave, so the value repeats.

#include "PageText.h"

#include <QLatin1StringView>
#include <QString>

// Pieces are kept only up to where they are read (a title piece to its second
// "-" or "</title>", a block to its closing text), and the page is kept in the
// form it came in: so no page-sized copy is made, while every value, and what
// a later page without a marker repeats, stays the same.
struct SongPage
{
    PageText strPage;
    QString strVideoUrl;
    QString strTitleUser;
    QString strFansPiece;
    QString varFansCut;
    QString strInfoPiece;
    QString varInfoCut;
    QString strTitleSong;
    QString strPlaysPiece;
    QString varPlaysCut;
    QString strGiftsPiece;
    QString varGiftsCut;
    QString strForwardsPiece;
    QString varForwardsCut;
    QString strCommentsPiece;
    QString varCommentsCut;
    QString strPhotosPiece;
    QString varPhotoTag;
    QString varPhotoSrc;
    QString varMp3Piece;
    QString varMp3Cut;
    QString strMp3Url;
    QString strHeadPiece;
    QString varHeadUrl;
    QString varHeadUrl640;
    QString strVideoHtml;
};

// Values of one parser run; not kept.
struct SongValues
{
    QString userName;
    QString fanCount;
    QString otherInfo;
    QString songName;
    QString playCount;
    QString giftCount;
    QString forwardCount;
    QString commentCount;
    QString photoUrl;
};

// Updates every parser field of song from song.strPage; never fails.
SongValues ParseSongPage(SongPage &song);

enum class MediaKind { NoPhoto, Video, Audio };

struct MediaDecision
{
    MediaKind kind = MediaKind::NoPhoto;
    QString pictureUrl; // empty for NoPhoto
    QString videoUrl;   // only for Video
};

MediaDecision DecideMedia(const QString &photoUrl, const QString &varHeadUrl640);

// The markers the parser looks for, exposed for tests, tools and the fuzzer.
// All ASCII, so a UTF-8 page can be searched as bytes.
namespace SongMarkers {
inline constexpr QLatin1StringView title("<title>");
inline constexpr QLatin1StringView fans("pcsong_title\">");
inline constexpr QLatin1StringView info("pcsong_title\" >");
inline constexpr QLatin1StringView plays("pcsong_listen_icon fl\">");
inline constexpr QLatin1StringView gifts("pcsong_gift_icon fl\">");
inline constexpr QLatin1StringView forwards("pcsong_forward_icon fl\">");
inline constexpr QLatin1StringView comments("pcsong_comment_icon fl\">");
inline constexpr QLatin1StringView photos("pcsong_photos\">");
inline constexpr QLatin1StringView mp3("mp3:\"");
inline constexpr QLatin1StringView head(".pcsong_head {background: url( \"");
} // namespace SongMarkers
