#pragma once

// What a downloaded song is tagged with, and the tagging itself.
//
// The data is taken when an extraction finds the audio address, so a later
// extraction cannot lend its names or photo to an earlier song's file. The
// tags go into the file while it is still the download's temporary file;
// frames the server's file already carries win, and the audio data after the
// tag is left exactly as it came.

#include <QByteArray>
#include <QString>

class QFileDevice;

struct SongTags
{
    QString singer;
    QString title;
    QByteArray cover; // the photo's bytes as fetched; JPEG and PNG are used
    QString pageUrl;  // the share address the song came from
    QString audioUrl; // the address these tags belong to

    bool isEmpty() const { return audioUrl.isEmpty(); }

    // singerName: the user name as the title gives it, site slogan and all.
    // shareText: the address box's text, words around the address included.
    static SongTags fromExtraction(const QString &singerName, const QString &songName,
                                   const QByteArray &cover, const QString &shareText,
                                   const QString &audioUrl);
};

namespace AudioTags {

// "Heightened  唱吧,最时尚的手机KTV" and "小鹿同学 - 唱吧…" give the singer alone.
QString singerWithoutSlogan(const QString &userName);

enum class Result {
    Tagged,
    Untouched, // not audio TagLib can tag, or it has every frame already
    // Not tagged, and the file is as it came:
    NoRoom,    // the disk has no room for the tag
    Malformed, // the file's tags are beyond what tagging it safely can take
    TimedOut,  // tagging took too long and was given up
    IoError,   // the file could not be read or written
    Damaged,   // changed, then failed, and could not be put back: it must not be kept
};

// file: open, holding the whole download; read and written through its
// handle, as a QSaveFile cannot be read back. No file, however made, makes it
// throw, take more than two seconds or much more memory than its tags.
Result write(QFileDevice &file, const SongTags &tags);

} // namespace AudioTags
