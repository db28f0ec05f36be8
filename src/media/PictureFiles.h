#pragma once

// The two picture loaders the tool relies on: a path loader that takes a web
// address, a file URL or a local path and both fetches and decodes it, and a
// basic loader for local files only. Both block the caller; while they wait
// the window may repaint but takes no user input. Nothing is cached. A local
// name is read only when it is a regular file (see LocalFile).

#include <QImage>
#include <QString>

class PictureFiles
{
public:
    enum class Outcome {
        Loaded,
        Failed, // reported by status only: the location could not be fetched
        Error,  // raised: undecodable data, or a location the loader cannot handle
    };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QImage picture;
        QByteArray data; // the bytes the picture was decoded from
        // Fetched from a web address, not read from this computer: only such
        // a picture may travel on, into a download's tags.
        bool fromNetwork = false;
        QString errorText;
    };

    static constexpr qint64 maxPictureBytes = 32 * 1024 * 1024;
    // A song's photo is small; a picture that takes longer is not worth the blocked window.
    static constexpr int defaultTimeoutMs = 20000;

    // http and https addresses, file URLs and local paths.
    static Result loadPath(const QString &location);
    // A local path only; every failure is an Error.
    static Result loadFile(const QString &path);

    static int timeoutMs();
    static void setTimeoutMsForTesting(int ms); // 0 restores the default
};
