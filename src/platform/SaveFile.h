#pragma once

#include <QtGlobal>

class QFileDevice;
class QSaveFile;

namespace SaveFile {

// Puts a QSaveFile's data on disk before it replaces the final name: flushes,
// syncs and commits. QSaveFile::commit() alone neither reports a failed
// buffered write before renaming nor a failed sync, so a "saved" file could be
// truncated or lost at the next power cut. On any failure the file is
// cancelled and false returned; an older file under the final name stays.
bool commitToDisk(QSaveFile &file);

// Makes an open file at least size bytes long with the disk space for all of
// it taken, so that writes within it cannot fail for want of room. On false
// the file may have been lengthened; the caller cuts it back. Where the system
// cannot take space ahead, the file is only lengthened and a full disk shows
// at the first write that finds no room.
bool reserve(QFileDevice &file, qint64 size);

// Test seam: reserve() fails for any size above bytes, as on a disk with no
// more room; a negative value lifts the limit.
void setRoomForTesting(qint64 bytes);

} // namespace SaveFile
