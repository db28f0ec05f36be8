#pragma once

// The tool's download engine. It never shows a page: Navigate to an audio
// address asks where to save the song and downloads it there with a progress
// dialog, named for the song and tagged when the extraction said which it is.
//
// The file only appears under its chosen name once it is complete; a cancel,
// an HTTP or network error, or a disk problem leaves no file under that name
// (and an older file of that name untouched) and says so in a message box.
// A finished download says "下载完成!": the status line keeps reading
// "正在下载音乐.." for good, so without it a finished download would look the
// same as a running one once the progress dialog has closed. A song saved
// without the tags it was meant to get says so on a second line.

#include "AudioTags.h"

#include <QString>
#include <QWidget>

class QNetworkAccessManager;
class QUrl;

class WebBrowser : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool Silent READ Silent WRITE setSilent)
public:
    enum class Outcome { Saved, Cancelled, Failed, CannotSave };
    Q_ENUM(Outcome)

    explicit WebBrowser(QWidget *parent = nullptr);

    // No page is ever shown, so there are never script errors to hide: always silent.
    bool Silent() const { return true; }
    void setSilent(bool) {}

    // False at once, doing nothing, unless the address is http or https.
    // Otherwise returns true and the save dialog follows from the event loop,
    // so the caller's click returns first. Every call is a new download.
    bool Navigate(const QString &url);

    // What the next Navigate names and tags its file with; used only when the
    // address navigated to is the one the tags belong to.
    void setSongTags(const SongTags &tags) { m_tags = tags; }

    // The name offered in the save dialog: "singer - song.ext" when the tags
    // belong to this address and name both, else the address's last path
    // segment, decoded. Either way made harmless.
    static QString suggestedFileName(const QUrl &url, const SongTags &tags = {});

    static QString messageFor(Outcome outcome);
    static int messageFlags(Outcome outcome);
    // "未能写入歌曲信息（原因）" for a song saved untagged; empty when tagging
    // succeeded or was never meant to happen.
    static QString untaggedNote(AudioTags::Result tagging);

signals:
    // After the closing message box has been dismissed.
    void downloadFinished(const QString &path, WebBrowser::Outcome outcome);

private:
    void askAndDownload(const QUrl &url, const SongTags &tags);
    void report(const QString &path, Outcome outcome, AudioTags::Result tagging);
    QNetworkAccessManager *network();

    QNetworkAccessManager *m_network = nullptr;
    SongTags m_tags;
    // Where the last download of this run went; the next save dialog opens there.
    QString m_lastFolder;
};
