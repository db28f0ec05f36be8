#include "SaveFile.h"

#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

qint64 roomForTesting = -1;

// The data on the disk itself, not only in the system's cache.
bool syncToDisk(int fd)
{
    if (fd < 0)
        return false;
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    return handle != INVALID_HANDLE_VALUE && ::FlushFileBuffers(handle) != 0;
#else
    return ::fdatasync(fd) == 0;
#endif
}

} // namespace

bool SaveFile::commitToDisk(QSaveFile &file)
{
    const bool ok = file.flush() && syncToDisk(file.handle());
    if (!ok) {
        file.cancelWriting();
        file.commit(); // cancelled: removes the temporary file, leaves the target alone
        return false;
    }
    return file.commit();
}

bool SaveFile::reserve(QFileDevice &file, qint64 size)
{
    if (roomForTesting >= 0 && size > roomForTesting)
        return false;
    const qint64 now = file.size();
    if (!file.flush())
        return false;
    if (size <= now)
        return true;
#ifdef Q_OS_WIN
    return file.resize(size);
#else
    const int fd = file.handle();
    return fd >= 0 && ::posix_fallocate(fd, off_t(now), off_t(size - now)) == 0;
#endif
}

void SaveFile::setRoomForTesting(qint64 bytes)
{
    roomForTesting = bytes;
}
