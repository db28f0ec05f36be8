#include "PictureLoader.h"

PictureFiles::Result LoadPicture(const QString &strFileName)
{
    const PictureFiles::Result first = PictureFiles::loadPath(strFileName);
    if (first.outcome != PictureFiles::Outcome::Error)
        return first;
    return PictureFiles::loadFile(strFileName);
}
