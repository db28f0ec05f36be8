#pragma once

// What the extraction command decides, without widgets: the address check,
// the captions, and the run from a fetched page to the media decision. The
// window only displays the outcome.

#include "SongPage.h"

#include <QString>

#include <optional>

namespace Extraction {

enum class AddressCheck { Empty, MissingPrefix, Ok };

// A text of spaces is not empty; the share prefix may stand anywhere in it.
AddressCheck checkAddress(const QString &text);

QString emptyAddressMessage();
QString wrongAddressMessage();

struct Captions
{
    QString label1, label4, label10, label2, label5, label6, label7, label9;
};

Captions captionsFor(const SongValues &v);

struct Outcome
{
    SongValues values;
    MediaDecision media;
};

// Stores the page (none = empty text) in strPage. Without a page nothing else
// changes and there is no outcome. Otherwise clears strVideoUrl, parses and
// decides; storing the video address is left to the caller, which first shows
// the picture and the notice.
std::optional<Outcome> extractFromPage(SongPage &song, const std::optional<PageText> &page);

} // namespace Extraction
