#pragma once

#include <QString>

namespace Clipboard {

// The clipboard's content in the plain-text format only; empty when it holds
// no text (an image, rich text without a plain version, nothing at all).
QString plainText();

} // namespace Clipboard
