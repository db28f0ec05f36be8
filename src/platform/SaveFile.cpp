#include "SaveFile.h"

#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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
