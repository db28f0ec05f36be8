#pragma once

// The download control, hidden in the window. It never shows a page: Navigate to an audio
// address does what a browser does with a file it cannot show, i.e. asks
// where to save it and downloads it there with a progress dialog.
//
// The file only appears under its chosen name once it is complete; a cancel,
// an HTTP or network error, or a disk problem leaves no file under that name
// (and an older file of that name untouched) and says so in a message box.
// A finished download says "下载完成!": the status line keeps reading
// "正在下载音乐.." for good, so without it a finished download would look the
// same as a running one once the progress dialog has closed.

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

    // Would hide script-error dialogs; no page is ever shown, so it is only kept.
    bool Silent() const { return m_silent; }
    void setSilent(bool silent) { m_silent = silent; }

    // False at once, doing nothing, unless the address is http or https.
    // Otherwise returns true and the save dialog follows from the event loop,
    // as the browser control's own prompt does. Every call is a new download.
    bool Navigate(const QString &url);

    QSize sizeHint() const override { return QSize(17, 17); }

    // The name offered in the save dialog: the address's last path segment,
    // decoded and made harmless.
    static QString suggestedFileName(const QUrl &url);

    static QString messageFor(Outcome outcome);
    static int messageFlags(Outcome outcome);

signals:
    // After the closing message box has been dismissed.
    void downloadFinished(const QString &path, WebBrowser::Outcome outcome);

private:
    void askAndDownload(const QUrl &url);
    void report(const QString &path, Outcome outcome);
    QNetworkAccessManager *network();

    QNetworkAccessManager *m_network = nullptr;
    bool m_silent = false;
};
