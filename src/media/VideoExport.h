#pragma once

// Video export: the one-line HTML snippet that embeds the song service's
// player script, and the file video.htm that holds it.

#include <QString>

class QWidget;

// The snippet for a player address; the address goes in as it is, unescaped.
QString VideoSnippet(const QString &strVideoUrl);

// Replaces folder/video.htm whole with the snippet and CR LF, in GBK, or
// leaves any old file untouched and returns false.
bool WriteVideoHtm(const QString &folder, const QString &snippet, QString *errorText = nullptr);

// What Command8 does once it has a player address: builds the snippet into
// strVideoHtml, writes video.htm into the executable's folder and shows Form2
// modally with both texts. When the file cannot be written a warning box is
// shown instead of the dialog. Returns whether the dialog was shown.
bool ExportVideo(QWidget *owner, const QString &strVideoUrl, QString &strVideoHtml);

// The warning ExportVideo shows when video.htm cannot be written.
QString VideoHtmFailureText();
