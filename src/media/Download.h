#pragma once

// One transfer from the request to the file under its final name. The data
// goes to a temporary file beside the target; it is tagged, synced and renamed
// into place only when the server sent all of it successfully. A server that
// sends nothing for a minute has failed. Deletes itself when done, after
// handing the outcome and how the tagging went to its caller from the event
// loop.

#include "AudioTags.h"
#include "WebBrowser.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QProgressDialog;
class QSaveFile;

class Download : public QObject
{
public:
    using Done =
        std::function<void(const QString &path, WebBrowser::Outcome, AudioTags::Result tagging)>;

    static constexpr int defaultStallTimeoutMs = 60000;
    static int stallTimeoutMs();
    static void setStallTimeoutMsForTesting(int ms); // 0 restores the default

    // Parented to the network manager; the progress dialog to dialogParent.
    Download(QWidget *dialogParent, QNetworkAccessManager *network, const QUrl &url,
             const QString &target, const SongTags &tags, Done done);
    ~Download() override;

    void start();

private:
    void showDialog();
    void showProgress(qint64 received, qint64 total);
    void receive();
    void cancel();
    void finish();
    WebBrowser::Outcome outcome();
    void end(WebBrowser::Outcome outcome);

    QWidget *m_dialogParent;
    QNetworkAccessManager *m_network;
    QUrl m_url;
    QString m_target;
    SongTags m_tags;
    Done m_done;
    std::unique_ptr<QSaveFile> m_file;
    QNetworkReply *m_reply = nullptr;
    QPointer<QProgressDialog> m_dialog;
    AudioTags::Result m_tagging = AudioTags::Result::Untouched;
    bool m_cancelled = false;
    bool m_writeFailed = false;
    bool m_ended = false;
};
