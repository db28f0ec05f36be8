#pragma once

// Turns a picture's location (web address or local path) into a picture for
// Image1. The path loader is tried first; only when it raises an error does
// the basic file loader get the location. A plain failure of the first
// loader is final and means "no picture".

#include <QImage>
#include <QString>

struct LoadedPicture
{
    bool error = false; // both loaders failed: the caller keeps the picture it had
    QImage picture;     // null without error = "nothing": the caller clears its picture
    QByteArray bytes;   // what picture was decoded from
    QString errorText;  // for diagnostics only; never shown
};

LoadedPicture LoadPicture(const QString &strFileName);
