#pragma once

// Video export: the one-line HTML snippet that embeds the song service's
// player script, and the file video.htm that holds it.

#include <QString>

class QWidget;

// The snippet for a player address; the address goes in as it is, unescaped.
QString VideoSnippet(const QString &strVideoUrl);

// Replaces folder/video.htm whole with the snippet and CR LF, in GBK, once the
// bytes are on disk, or leaves any old file untouched and returns false. First
// removes what an interrupted replace left there (video.htm.XXXXXX).
bool WriteVideoHtm(const QString &folder, const QString &snippet, QString *errorText = nullptr);

// What Command8 does once it has a player address: builds the snippet into
// strVideoHtml, writes video.htm and shows Form2 modally with both texts. The
// file goes into the executable's folder when that is writable, else into the
// documents folder (an installed copy's folder belongs to root), and Form2's
// hint then names that folder. When the file cannot be written a warning box
// is shown instead of the dialog. Returns whether the dialog was shown.
bool ExportVideo(QWidget *owner, const QString &strVideoUrl, QString &strVideoHtml);

// Form2's hint for a file written into a folder other than the executable's.
QString VideoHtmHint(const QString &folder);

// The warning ExportVideo shows when video.htm cannot be written.
QString VideoHtmFailureText();
