#include "Download.h"

#include "SaveFile.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTimer>

namespace {

const qint64 ReadBufferBytes = 1 << 20;
int stallTimeoutForTesting = 0;

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

} // namespace

Download::Download(QWidget *dialogParent, QNetworkAccessManager *network, const QUrl &url,
                   const QString &target, const SongTags &tags, Done done)
    : QObject(network)
    , m_dialogParent(dialogParent)
    , m_network(network)
    , m_url(url)
    , m_target(target)
    , m_tags(tags)
    , m_done(std::move(done))
{}

Download::~Download() = default;

int Download::stallTimeoutMs()
{
    return stallTimeoutForTesting > 0 ? stallTimeoutForTesting : defaultStallTimeoutMs;
}

void Download::setStallTimeoutMsForTesting(int ms)
{
    stallTimeoutForTesting = ms;
}

void Download::start()
{
    m_file = std::make_unique<QSaveFile>(m_target);
    if (!m_file->open(QIODevice::WriteOnly)) {
        end(WebBrowser::Outcome::CannotSave);
        return;
    }
    showDialog();

    // The manager's default policy follows redirects that stay as safe.
    QNetworkRequest request(m_url);
    // Aborted, so reported as failed, once no byte has come for this long.
    request.setTransferTimeout(stallTimeoutMs());
    m_reply = m_network->get(request);
    m_reply->setParent(this);
    // Without a bound the reply holds whatever the disk has not taken yet:
    // a fast server would put the whole song in memory.
    m_reply->setReadBufferSize(ReadBufferBytes);
    connect(m_reply, &QNetworkReply::readyRead, this, &Download::receive);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &Download::showProgress);
    connect(m_reply, &QNetworkReply::finished, this, &Download::finish);
}

void Download::showDialog()
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

void Download::showProgress(qint64 received, qint64 total)
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

void Download::receive()
{
    // An error page is written too, but never committed: see outcome().
    const QByteArray data = m_reply->readAll();
    if (m_ended || m_writeFailed || data.isEmpty())
        return;
    if (m_file->write(data) != data.size()) {
        m_writeFailed = true;
        m_reply->abort();
    }
}

void Download::cancel()
{
    if (m_ended || !m_reply)
        return;
    m_cancelled = true;
    m_reply->abort();
}

void Download::finish()
{
    if (m_ended)
        return;
    if (m_reply->bytesAvailable() > 0)
        receive();
    end(outcome());
}

WebBrowser::Outcome Download::outcome()
{
    if (m_cancelled)
        return WebBrowser::Outcome::Cancelled;
    if (m_writeFailed)
        return WebBrowser::Outcome::CannotSave;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (m_reply->error() != QNetworkReply::NoError || !isHttpSuccess(status))
        return WebBrowser::Outcome::Failed;
    // A file that cannot be tagged is saved as it came; only a file the
    // tagging damaged is given up.
    if (!m_tags.isEmpty())
        m_tagging = AudioTags::write(*m_file, m_tags);
    if (m_tagging == AudioTags::Result::Damaged)
        return WebBrowser::Outcome::CannotSave;
    return SaveFile::commitToDisk(*m_file) ? WebBrowser::Outcome::Saved
                                           : WebBrowser::Outcome::CannotSave;
}

void Download::end(WebBrowser::Outcome outcome)
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
                       [done = m_done, target = m_target, outcome, tagging = m_tagging] {
                           done(target, outcome, tagging);
                       });
    deleteLater();
}
