#include "LocalFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

LocalFile::Read refused(const QString &text)
{
    LocalFile::Read read;
    read.errorText = text;
    return read;
}

// The reported size is not trusted: what is read is capped as well.
LocalFile::Read readCapped(QFile &file, const QString &path, qint64 maxBytes)
{
    LocalFile::Read read;
    read.data = file.read(maxBytes + 1);
    if (read.data.size() > maxBytes)
        return refused(QStringLiteral("file too large: ") + path);
    read.ok = true;
    return read;
}

#ifdef Q_OS_UNIX
// Non-blocking and without a controlling terminal, so that opening even a FIFO
// or a terminal returns at once; the opened descriptor's own type decides.
bool openRegular(QFile &file, const QString &path, QString &error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat seen = {};
    if (::stat(name.constData(), &seen) != 0) {
        error = QStringLiteral("no such file: ") + path;
        return false;
    }
    const int fd = S_ISREG(seen.st_mode)
                       ? ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                       : -1;
    struct stat opened = {};
    if (fd < 0 || ::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        error = QStringLiteral("not a regular file: ") + path;
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = file.errorString();
        return false;
    }
    return true;
}
#else
// Pipes, consoles and the reserved device names are no files to read.
bool openRegular(QFile &file, const QString &path, QString &error)
{
    static const QRegularExpression device(
        QStringLiteral("^(con|prn|aux|nul|com\\d|lpt\\d|conin\\$|conout\\$)(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("no such file: ") + path;
        return false;
    }
    const QString native = QDir::toNativeSeparators(path);
    if (!info.isFile() || native.startsWith(QLatin1String("\\\\.\\")) ||
        native.startsWith(QLatin1String("\\\\?\\")) || device.match(info.fileName()).hasMatch()) {
        error = QStringLiteral("not a regular file: ") + path;
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    return true;
}
#endif

} // namespace

LocalFile::Read LocalFile::readRegular(const QString &path, qint64 maxBytes)
{
    if (path.isEmpty())
        return refused(QStringLiteral("no such file"));
    QFile file;
    QString error;
    if (!openRegular(file, path, error))
        return refused(error);
    return readCapped(file, path, maxBytes);
}
