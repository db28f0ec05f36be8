#include "VideoExport.h"

#include "AppPaths.h"
#include "Form2.h"
#include "MessageBox.h"
#include "SaveFile.h"
#include "TextCodec.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

QString VideoSnippet(const QString &strVideoUrl)
{
    const QChar quote(34);
    return QStringLiteral("<div><script src=") + quote + strVideoUrl + quote +
           QStringLiteral(" type=") + quote + QStringLiteral("text/javascript") + quote +
           QStringLiteral("></script></div>");
}

namespace {

// A kill between QSaveFile's two renames leaves the new file as
// video.htm.XXXXXX beside the old one; only names of exactly that form are ours.
void removeLeftovers(const QDir &dir)
{
    static const QRegularExpression leftover(QStringLiteral("^video\\.htm\\.[A-Za-z0-9]{6}$"));
    const QStringList names = dir.entryList({QStringLiteral("video.htm.*")},
                                            QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (leftover.match(name).hasMatch())
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

bool WriteVideoHtm(const QString &folder, const QString &snippet, QString *errorText)
{
    const auto fail = [errorText](const QString &text) {
        if (errorText)
            *errorText = text;
        return false;
    };

    // The tool's text files are in the Chinese ANSI code page; what GBK cannot
    // hold is written as "?".
    if (TextCodec::knownName("GBK").isEmpty())
        return fail(QStringLiteral("no GBK encoder"));
    const QByteArray bytes = TextCodec::encode("GBK", QString(snippet + QStringLiteral("\r\n")));

    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return fail(QStringLiteral("no such folder: ") + folder);
    removeLeftovers(dir);
    QSaveFile file(dir.filePath(QStringLiteral("video.htm")));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString text = file.errorString();
        file.cancelWriting();
        return fail(text);
    }
    if (!SaveFile::commitToDisk(file))
        return fail(file.errorString());
    return true;
}

QString VideoHtmFailureText()
{
    return QStringLiteral("无法生成video.htm文件,请检查软件所在文件夹是否可写 ..");
}

QString VideoHtmHint(const QString &folder)
{
    return QStringLiteral("已在“") + QDir::toNativeSeparators(folder) +
           QStringLiteral("”文件夹下生成名为“video.htm”的网页文件，您打开即可预览视频");
}

bool ExportVideo(QWidget *owner, const QString &strVideoUrl, QString &strVideoHtml)
{
    strVideoHtml = VideoSnippet(strVideoUrl);
    const QString programFolder = AppPaths::executableFolder();
    QString folder = programFolder;
    if (!AppPaths::isWritableFolder(programFolder)) {
        folder = AppPaths::documentsFolder();
        if (!folder.isEmpty())
            QDir().mkpath(folder);
    }
    if (!WriteVideoHtm(folder, strVideoHtml)) {
        MessageBox::show(owner, VideoHtmFailureText(), MessageBox::Exclamation);
        return false;
    }

    // No owner: the dialog is centred on the screen and blocks every window.
    Form2 dialog;
    dialog.setTexts(strVideoUrl, strVideoHtml);
    if (folder != programFolder)
        dialog.setHint(VideoHtmHint(folder));
    dialog.exec();
    return true;
}
