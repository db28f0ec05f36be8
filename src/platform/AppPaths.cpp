#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
struct Overrides
{
    QString executable;
    QString documents;
    QString readOnly;
};

Overrides &overrides()
{
    static Overrides o;
    return o;
}
} // namespace

QString AppPaths::executableFolder()
{
    if (!overrides().executable.isEmpty())
        return overrides().executable;
    return QCoreApplication::applicationDirPath();
}

void AppPaths::setExecutableFolderForTesting(const QString &folder)
{
    overrides().executable = folder;
}

QString AppPaths::documentsFolder()
{
    if (!overrides().documents.isEmpty())
        return overrides().documents;
    // A test that moved the program folder must not spill into the real home.
    if (!overrides().executable.isEmpty())
        return QString();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QString() : documents + QStringLiteral("/Sonavex");
}

void AppPaths::setDocumentsFolderForTesting(const QString &folder)
{
    overrides().documents = folder;
}

bool AppPaths::isWritableFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    if (!overrides().readOnly.isEmpty() &&
        info.absoluteFilePath() == QFileInfo(overrides().readOnly).absoluteFilePath())
        return false;
    return info.isDir() && info.isWritable();
}

void AppPaths::setReadOnlyFolderForTesting(const QString &folder)
{
    overrides().readOnly = folder;
}
