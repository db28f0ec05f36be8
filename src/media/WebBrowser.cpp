#include "WebBrowser.h"

#include "FileDialog.h"
#include "MessageBox.h"
#include "SaveFile.h"
#include "WebOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const int MaxNameLength = 200;
const int MaxNameBytes = 255;
const qint64 ReadBufferBytes = 1 << 20;

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 字节").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 2);
}

bool isHttpSuccess(const QVariant &status)
{
    const int code = status.toInt();
    return code >= 200 && code < 300;
}

// One transfer from the request to the renamed file; deletes itself when done.
class Download : public QObject
{
public:
    using Done = std::function<void(const QString &path, WebBrowser::Outcome)>;

    Download(QWidget *dialogParent, QNetworkAccessManager *network, const QUrl &url,
             const QString &target, const SongTags &tags, Done done)
        : QObject(network)
        , m_dialogParent(dialogParent)
        , m_network(network)
        , m_url(url)
        , m_target(target)
        , m_tags(tags)
        , m_done(std::move(done))
    {}

    void start()
    {
        // The data goes to a temporary file beside the target, renamed on commit.
        m_file = std::make_unique<QSaveFile>(m_target);
        if (!m_file->open(QIODevice::WriteOnly)) {
            end(WebBrowser::Outcome::CannotSave);
            return;
        }
        showDialog();

        // The manager's default policy follows redirects that stay as safe.
        m_reply = m_network->get(QNetworkRequest(m_url));
        m_reply->setParent(this);
        // Without a bound the reply holds whatever the disk has not taken yet:
        // a fast server would put the whole song in memory.
        m_reply->setReadBufferSize(ReadBufferBytes);
        connect(m_reply, &QNetworkReply::readyRead, this, &Download::receive);
        connect(m_reply, &QNetworkReply::downloadProgress, this, &Download::showProgress);
        connect(m_reply, &QNetworkReply::finished, this, &Download::finish);
    }

private:
    void showDialog()
    {
        m_dialog = new QProgressDialog(m_dialogParent);
        m_dialog->setObjectName(QStringLiteral("downloadProgress"));
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        // Not modal: the tool stays usable, and another download can start meanwhile.
        m_dialog->setWindowModality(Qt::NonModal);
        m_dialog->setWindowTitle(QStringLiteral("下载音乐"));
        m_dialog->setAccessibleName(QStringLiteral("下载进度"));
        m_dialog->setCancelButtonText(QStringLiteral("取消"));
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        m_dialog->setMinimumWidth(360);
        m_dialog->setRange(0, 0);
        showProgress(0, -1);
        connect(m_dialog, &QProgressDialog::canceled, this, &Download::cancel);
        m_dialog->show();
    }

    void showProgress(qint64 received, qint64 total)
    {
        if (!m_dialog)
            return;
        QString text = QStringLiteral("正在下载：%1\n").arg(QFileInfo(m_target).fileName());
        if (total > 0) {
            const int percent = int(qBound<qint64>(0, received * 100 / total, qint64(100)));
            text += QStringLiteral("已下载 %1 / %2（%3%）")
                        .arg(sizeText(received), sizeText(total))
                        .arg(percent);
            m_dialog->setRange(0, 100);
            m_dialog->setValue(percent);
        } else {
            text += QStringLiteral("已下载 %1").arg(sizeText(received));
            m_dialog->setRange(0, 0);
        }
        m_dialog->setLabelText(text);
    }

    void receive()
    {
        // An error page is written too, but never committed: see finish().
        const QByteArray data = m_reply->readAll();
        if (m_ended || m_writeFailed || data.isEmpty())
            return;
        if (m_file->write(data) != data.size()) {
            m_writeFailed = true;
            m_reply->abort();
            return;
        }
    }

    void cancel()
    {
        if (m_ended || !m_reply)
            return;
        m_cancelled = true;
        m_reply->abort();
    }

    void finish()
    {
        if (m_ended)
            return;
        if (m_reply->bytesAvailable() > 0)
            receive();
        if (m_cancelled) {
            end(WebBrowser::Outcome::Cancelled);
            return;
        }
        if (m_writeFailed) {
            end(WebBrowser::Outcome::CannotSave);
            return;
        }
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (m_reply->error() != QNetworkReply::NoError || !isHttpSuccess(status)) {
            end(WebBrowser::Outcome::Failed);
            return;
        }
        // A file that cannot be tagged is saved as it came; only a file the
        // tagging damaged is given up.
        if (!m_tags.isEmpty() && m_file->flush() &&
            AudioTags::write(m_file->handle(), m_tags) == AudioTags::Result::Damaged) {
            end(WebBrowser::Outcome::CannotSave);
            return;
        }
        const bool saved = SaveFile::commitToDisk(*m_file);
        end(saved ? WebBrowser::Outcome::Saved : WebBrowser::Outcome::CannotSave);
    }

    void end(WebBrowser::Outcome outcome)
    {
        m_ended = true;
        // Dropping an uncommitted QSaveFile removes its temporary file.
        m_file.reset();
        if (m_dialog) {
            m_dialog->disconnect(this);
            m_dialog->close();
        }
        // The message box waits for the user: let the reply's signal return first.
        QTimer::singleShot(0, m_network,
                           [done = m_done, target = m_target, outcome] { done(target, outcome); });
        deleteLater();
    }

    QWidget *m_dialogParent;
    QNetworkAccessManager *m_network;
    QUrl m_url;
    QString m_target;
    SongTags m_tags;
    Done m_done;
    std::unique_ptr<QSaveFile> m_file;
    QNetworkReply *m_reply = nullptr;
    QPointer<QProgressDialog> m_dialog;
    bool m_cancelled = false;
    bool m_writeFailed = false;
    bool m_ended = false;
};

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
                     [this](const QString &path, Outcome outcome) { report(path, outcome); });
    download->start();
}

void WebBrowser::report(const QString &path, Outcome outcome)
{
    if (outcome != Outcome::Saved) {
        MessageBox::show(window(), messageFor(outcome), messageFlags(outcome));
        emit downloadFinished(path, outcome);
        return;
    }
    m_lastFolder = QFileInfo(path).absolutePath();
    const QString openFolder = QStringLiteral("打开所在文件夹");
    const int answer =
        MessageBox::show(window(), messageFor(outcome), messageFlags(outcome),
                         MessageBox::defaultTitle(), {QDir::toNativeSeparators(path), openFolder});
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
