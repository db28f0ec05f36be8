#pragma once

#include <QString>

// The executable's folder: where the skin is read from and video.htm is
// written. Tests point it at a temporary folder.
namespace AppPaths {

QString executableFolder(); // without a trailing separator, except at a root
void setExecutableFolderForTesting(const QString &folder); // empty restores

} // namespace AppPaths
