#pragma once

class QSaveFile;

namespace SaveFile {

// Puts a QSaveFile's data on disk before it replaces the final name: flushes,
// syncs and commits. QSaveFile::commit() alone neither reports a failed
// buffered write before renaming nor a failed sync, so a "saved" file could be
// truncated or lost at the next power cut. On any failure the file is
// cancelled and false returned; an older file under the final name stays.
bool commitToDisk(QSaveFile &file);

} // namespace SaveFile
