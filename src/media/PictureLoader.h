#pragma once

// Turns a picture's location (web address or local path) into a picture for
// Image1. The path loader is tried first; only when it raises an error does
// the basic file loader get the location. A plain failure of the first
// loader is final and means "no picture".

#include "PictureFiles.h"

#include <QString>

// Loaded: the picture. Failed: nothing, and the caller clears its picture.
// Error: both loaders failed, and the caller keeps the picture it had.
PictureFiles::Result LoadPicture(const QString &strFileName);
