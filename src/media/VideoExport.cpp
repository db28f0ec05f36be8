#include "VideoExport.h"

#include "AppPaths.h"
#include "Form2.h"
#include "MessageBox.h"

#include <QDir>
#include <QSaveFile>
#include <QStringEncoder>

QString VideoSnippet(const QString &strVideoUrl)
{
    const QChar quote(34);
    return QStringLiteral("<div><script src=") + quote + strVideoUrl + quote +
           QStringLiteral(" type=") + quote + QStringLiteral("text/javascript") + quote +
           QStringLiteral("></script></div>");
}

bool WriteVideoHtm(const QString &folder, const QString &snippet, QString *errorText)
{
    const auto fail = [errorText](const QString &text) {
        if (errorText)
            *errorText = text;
        return false;
    };

    // The tool's text files are in the Chinese ANSI code page; what GBK cannot
    // hold is written as "?".
    QStringEncoder gbk("GBK");
    if (!gbk.isValid())
        return fail(QStringLiteral("no GBK encoder"));
    const QByteArray bytes = gbk.encode(snippet + QStringLiteral("\r\n"));

    if (folder.isEmpty() || !QDir(folder).exists())
        return fail(QStringLiteral("no such folder: ") + folder);
    QSaveFile file(QDir(folder).filePath(QStringLiteral("video.htm")));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // A buffered write fails only when flushed, and commit() would then rename
    // the truncated file over the old one: flush while a failure can still cancel.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString text = file.errorString();
        file.cancelWriting();
        return fail(text);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

QString VideoHtmFailureText()
{
    return QStringLiteral("无法生成video.htm文件,请检查软件所在文件夹是否可写 ..");
}

bool ExportVideo(QWidget *owner, const QString &strVideoUrl, QString &strVideoHtml)
{
    strVideoHtml = VideoSnippet(strVideoUrl);
    if (!WriteVideoHtm(AppPaths::executableFolder(), strVideoHtml)) {
        MessageBox::show(owner, VideoHtmFailureText(), MessageBox::Exclamation);
        return false;
    }

    // No owner: the dialog is centred on the screen and blocks every window.
    Form2 dialog;
    dialog.setTexts(strVideoUrl, strVideoHtml);
    dialog.exec();
    return true;
}
