#pragma once

#include <QString>

// The executable's folder: where the skin is read from and video.htm is
// written. The documents folder takes video.htm when the executable's folder
// is not writable, as for an installed copy. Tests point both at temporary
// folders.
namespace AppPaths {

QString executableFolder(); // without a trailing separator, except at a root
void setExecutableFolderForTesting(const QString &folder); // empty restores

// The tool's own folder under the user's documents, not created here; empty
// when there is no documents folder, and while a test has moved the
// executable's folder without setting this one.
QString documentsFolder();
void setDocumentsFolderForTesting(const QString &folder); // empty restores

// Whether a new file can be created in the folder. Permission bits do not bind
// root, so tests mark a folder read-only here.
bool isWritableFolder(const QString &folder);
void setReadOnlyFolderForTesting(const QString &folder); // empty restores

} // namespace AppPaths
