#include "WebBrowser.h"

#include "Download.h"
#include "FileDialog.h"
#include "MessageBox.h"
#include "WebOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

const int MaxNameLength = 200;
const int MaxNameBytes = 255;

QString harmlessName(QString name)
{
    for (QChar &c : name) {
        // Also the characters Windows refuses, for files later copied there.
        if (c.category() == QChar::Other_Control || c == QLatin1Char('/') ||
            c == QLatin1Char('\\') || QStringLiteral(":*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    while (!name.isEmpty() && (name.front() == QLatin1Char('.') || name.front().isSpace()))
        name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == QLatin1Char('.') || name.back().isSpace()))
        name.chop(1);
    // Linux file systems also hold at most 255 bytes: 200 Chinese characters are 600.
    if (name.size() > MaxNameLength || name.toUtf8().size() > MaxNameBytes) {
        const QString suffix = QFileInfo(name).suffix().left(16);
        const QString dotSuffix = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
        QString stem = name.left(name.size() - dotSuffix.size());
        qsizetype keep = std::min<qsizetype>(stem.size(), MaxNameLength - dotSuffix.size());
        while (keep > 0 && (stem.left(keep) + dotSuffix).toUtf8().size() > MaxNameBytes)
            --keep;
        if (keep > 0 && stem.at(keep).isLowSurrogate())
            --keep; // never half a character
        stem.truncate(keep);
        while (!stem.isEmpty() && (stem.back() == QLatin1Char('.') || stem.back().isSpace()))
            stem.chop(1);
        name = stem + dotSuffix;
    }
    return name.isEmpty() ? QStringLiteral("changba.mp3") : name;
}

} // namespace

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent)
{}

bool WebBrowser::Navigate(const QString &url)
{
    const QUrl address(url, QUrl::TolerantMode);
    const QString scheme = address.scheme();
    if (!address.isValid() || address.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    const SongTags tags = m_tags.audioUrl == url ? m_tags : SongTags();
    QTimer::singleShot(0, this, [this, address, tags] { askAndDownload(address, tags); });
    return true;
}

QString WebBrowser::suggestedFileName(const QUrl &url, const SongTags &tags)
{
    // Taken still encoded, so an encoded "/" cannot split the segment.
    const QString segment = url.path(QUrl::FullyEncoded).section(QLatin1Char('/'), -1);
    const QString fromAddress = QUrl::fromPercentEncoding(segment.toUtf8());
    if (tags.singer.isEmpty() || tags.title.isEmpty())
        return harmlessName(fromAddress);
    static const QRegularExpression shortSuffix(QStringLiteral("^[A-Za-z0-9]{1,5}$"));
    QString suffix = QFileInfo(fromAddress).suffix();
    if (!shortSuffix.match(suffix).hasMatch())
        suffix = QStringLiteral("mp3");
    QString stem = tags.singer + QStringLiteral(" - ") + tags.title;
    while (stem.back() == QLatin1Char('.') || stem.back().isSpace())
        stem.chop(1); // "歌名." would give "歌名..mp3"
    return harmlessName(stem + QLatin1Char('.') + suffix);
}

QString WebBrowser::messageFor(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Saved:
        return QStringLiteral("下载完成!");
    case Outcome::Cancelled:
        return QStringLiteral("下载已取消..");
    case Outcome::Failed:
        return QStringLiteral("下载失败,请稍后再试 ..");
    case Outcome::CannotSave:
        return QStringLiteral("无法保存文件,请检查保存位置 ..");
    }
    return QString();
}

QString WebBrowser::untaggedNote(AudioTags::Result tagging)
{
    QString reason;
    switch (tagging) {
    case AudioTags::Result::Tagged:
    case AudioTags::Result::Untouched:
    case AudioTags::Result::Damaged: // never saved
        return QString();
    case AudioTags::Result::NoRoom:
        reason = QStringLiteral("磁盘空间不足");
        break;
    case AudioTags::Result::Malformed:
        reason = QStringLiteral("文件格式异常");
        break;
    case AudioTags::Result::TimedOut:
        reason = QStringLiteral("处理超时");
        break;
    case AudioTags::Result::IoError:
        reason = QStringLiteral("读写文件出错");
        break;
    }
    return QStringLiteral("未能写入歌曲信息（%1）").arg(reason);
}

int WebBrowser::messageFlags(Outcome outcome)
{
    const bool problem = outcome == Outcome::Failed || outcome == Outcome::CannotSave;
    return MessageBox::OkOnly + (problem ? MessageBox::Exclamation : MessageBox::Information);
}

void WebBrowser::askAndDownload(const QUrl &url, const SongTags &tags)
{
    // A folder named but never made (no Downloads on a fresh system) is passed over.
    QString folder = QDir::homePath();
    for (const QString &candidate :
         {m_lastFolder, QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir()) {
            folder = candidate;
            break;
        }
    }
    const QString target = FileDialog::getSaveFileName(
        window(), QStringLiteral("保存音乐"), QDir(folder).filePath(suggestedFileName(url, tags)),
        QStringLiteral("音频文件 (*.mp3 *.m4a *.aac *.wav *.ogg);;所有文件 (*)"));
    if (target.isEmpty())
        return;
    auto *download =
        new Download(window(), network(), url, target, tags,
                     [this](const QString &path, Outcome outcome, AudioTags::Result tagging) {
                         report(path, outcome, tagging);
                     });
    download->start();
}

void WebBrowser::report(const QString &path, Outcome outcome, AudioTags::Result tagging)
{
    if (outcome != Outcome::Saved) {
        MessageBox::show(window(), messageFor(outcome), messageFlags(outcome));
        emit downloadFinished(path, outcome);
        return;
    }
    m_lastFolder = QFileInfo(path).absolutePath();
    const QString openFolder = QStringLiteral("打开所在文件夹");
    const QString note = untaggedNote(tagging);
    const int answer = MessageBox::show(
        window(), note.isEmpty() ? messageFor(outcome) : messageFor(outcome) + u'\n' + note,
        messageFlags(outcome), MessageBox::defaultTitle(),
        {QDir::toNativeSeparators(path), openFolder});
    if (answer == MessageBox::Extra)
        WebOpener::open(QUrl::fromLocalFile(m_lastFolder).toString());
    emit downloadFinished(path, outcome);
}

QNetworkAccessManager *WebBrowser::network()
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    return m_network;
}
