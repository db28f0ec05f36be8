#include "SaveFile.h"

#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

qint64 roomForTesting = -1;

} // namespace

bool SaveFile::commitToDisk(QSaveFile &file)
{
    bool ok = file.flush();
#ifdef Q_OS_UNIX
    const int fd = file.handle();
    ok = ok && fd >= 0 && ::fdatasync(fd) == 0;
#endif
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
#ifdef Q_OS_UNIX
    const int fd = file.handle();
    return fd >= 0 && ::posix_fallocate(fd, off_t(now), off_t(size - now)) == 0;
#else
    return file.resize(size);
#endif
}

void SaveFile::setRoomForTesting(qint64 bytes)
{
    roomForTesting = bytes;
}
