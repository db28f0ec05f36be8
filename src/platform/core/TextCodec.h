#pragma once

// Legacy text encodings by name: GBK for video.htm, and whatever a fetched
// page declares. Qt converts them through ICU where it has ICU; a Qt built
// without it, as on Windows, knows only the UTF encodings and Latin-1, and the
// system's own code pages convert the rest there, to the same bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace TextCodec {

// The converters' own name for an encoding ("gbk" and "CP936" give "GBK");
// empty when none converts it.
QByteArray knownName(QByteArrayView name);

// Text in the named encoding. A character it cannot hold is written as "?"
// and sets *lossy; an unknown encoding gives no bytes and sets *lossy.
QByteArray encode(QByteArrayView name, QStringView text, bool *lossy = nullptr);

// Bytes in the named encoding as text; an unknown encoding gives none.
QString decode(QByteArrayView name, QByteArrayView bytes);

// The encoding a page's head declares, as browsers find it: a byte-order mark,
// else a <meta charset> or http-equiv Content-Type; "UTF-8" when there is
// neither, empty when the declared one is unknown.
QByteArray htmlEncoding(QByteArrayView head);

} // namespace TextCodec
