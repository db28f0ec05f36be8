#include "AppPaths.h"

#include <QCoreApplication>

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString AppPaths::executableFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return QCoreApplication::applicationDirPath();
}

void AppPaths::setExecutableFolderForTesting(const QString &folder)
{
    overrideFolder() = folder;
}
