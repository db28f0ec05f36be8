#pragma once

// The song state of the main window and the parser that fills it from a song
// page's HTML. The parser cuts values at fixed text markers; it does not parse
// HTML. Pieces are kept between extractions on purpose: a marker missing from
// a page leaves the piece an earlier page gave, so the value repeats.

#include <QString>

struct SongPage
{
    QString strPage;
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
namespace SongMarkers {
inline constexpr QStringView title = u"<title>";
inline constexpr QStringView fans = u"pcsong_title\">";
inline constexpr QStringView info = u"pcsong_title\" >";
inline constexpr QStringView plays = u"pcsong_listen_icon fl\">";
inline constexpr QStringView gifts = u"pcsong_gift_icon fl\">";
inline constexpr QStringView forwards = u"pcsong_forward_icon fl\">";
inline constexpr QStringView comments = u"pcsong_comment_icon fl\">";
inline constexpr QStringView photos = u"pcsong_photos\">";
inline constexpr QStringView mp3 = u"mp3:\"";
inline constexpr QStringView head = u".pcsong_head {background: url( \"";
} // namespace SongMarkers
