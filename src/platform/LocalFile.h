#pragma once

// Reading a local file named by someone else (a page's picture address).
// Only a regular file is read: a device, FIFO, socket or folder is refused at
// once, decided on the opened file itself, so a name cannot make the caller
// wait on a pipe or a terminal, nor wake a device by reading it.

#include <QByteArray>
#include <QString>

namespace LocalFile {

struct Read
{
    bool ok = false;
    QByteArray data;
    QString errorText; // set when not ok
};

// At most maxBytes; a larger file is refused, however its size is reported.
Read readRegular(const QString &path, qint64 maxBytes);

} // namespace LocalFile
