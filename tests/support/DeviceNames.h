#pragma once

// Local names a page could give for a picture that are no regular files:
// each would block, or never end, if it were read as one.

#include <QList>
#include <QString>

struct DeviceName
{
    const char *what;
    QString location;
};

// Made in folder where the system needs one made (a FIFO nobody writes to).
QList<DeviceName> deviceNames(const QString &folder);
