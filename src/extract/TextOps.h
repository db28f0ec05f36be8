#pragma once

// The few text operations the page parser is built from. All searches are
// exact and case-sensitive; results are views into the source where possible
// so that a large page is not copied once per step.

#include <QString>
#include <QStringView>

#include <optional>

namespace TextOps {

// The text between the first occurrence of marker and the second one (or the
// end of source); nothing when marker does not occur.
std::optional<QStringView> pieceAfter(QStringView source, QStringView marker);

// The start of source up to and including the first character of the first
// occurrence of end; empty when end does not occur.
QStringView through(QStringView source, QStringView end);

// Leading and trailing U+0020 and U+3000 removed; tabs and line breaks stay.
QString trimmed(QStringView text);

} // namespace TextOps
