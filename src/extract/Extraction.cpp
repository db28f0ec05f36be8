#include "Extraction.h"

#include "Hosts.h"

namespace Extraction {

AddressCheck checkAddress(const QString &text)
{
    if (text.isEmpty())
        return AddressCheck::Empty;
    if (!text.contains(Hosts::sharePrefix()))
        return AddressCheck::MissingPrefix;
    return AddressCheck::Ok;
}

QString emptyAddressMessage()
{
    return QStringLiteral("请输入唱吧网页地址,不会获取的请点击上方“如何获得”按钮 ..");
}

QString wrongAddressMessage()
{
    return QStringLiteral("地址错误,请您检查 ..");
}

Captions captionsFor(const SongValues &v)
{
    Captions c;
    c.label1 = QStringLiteral("用户名：") + v.userName;
    c.label4 = QStringLiteral("粉丝数：") + v.fanCount;
    c.label10 = v.otherInfo;
    c.label2 = QStringLiteral("演唱歌曲：") + v.songName;
    c.label5 = QStringLiteral("播放次数：") + v.playCount + QStringLiteral("次");
    c.label6 = QStringLiteral("收到礼物：") + v.giftCount + QStringLiteral("个");
    c.label7 = QStringLiteral("转发次数：") + v.forwardCount + QStringLiteral("次");
    c.label9 = QStringLiteral("评论数量：") + v.commentCount + QStringLiteral("次");
    return c;
}

std::optional<Outcome> extractFromPage(SongPage &song, const std::optional<PageText> &page)
{
    song.strPage = page.value_or(PageText());
    if (song.strPage.isEmpty())
        return std::nullopt;

    song.strVideoUrl.clear();
    Outcome out;
    out.values = ParseSongPage(song);
    out.media = DecideMedia(out.values.photoUrl, song.varHeadUrl640);
    return out;
}

} // namespace Extraction
