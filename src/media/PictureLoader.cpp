#include "PictureLoader.h"

#include "PictureFiles.h"

LoadedPicture LoadPicture(const QString &strFileName)
{
    LoadedPicture result;
    const PictureFiles::Result first = PictureFiles::loadPath(strFileName);
    if (first.outcome != PictureFiles::Outcome::Error) {
        result.picture = first.picture;
        result.bytes = first.data;
        return result;
    }

    const PictureFiles::Result fallback = PictureFiles::loadFile(strFileName);
    if (fallback.outcome == PictureFiles::Outcome::Loaded) {
        result.picture = fallback.picture;
        result.bytes = fallback.data;
        return result;
    }
    result.error = true;
    result.errorText = fallback.errorText;
    return result;
}
