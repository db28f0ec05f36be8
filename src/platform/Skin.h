#pragma once

// The tool's look, set by two calls. A skin file is a Qt style sheet applied on top of the Fusion
// style; its optional "SkinPalette { role: #rrggbb; ... }" rule sets the
// application palette (role names as in QPalette::ColorRole, first letter
// lower case) and is taken out before the sheet reaches Qt.

#include <QString>

// Returns 1 when the skin is applied; 0 when the file is missing or unreadable
// or there is no QApplication, and then nothing changes. The password is
// ignored: skin files are plain text and carry none.
int SkinH_AttachEx(const QString &skinFile, const QString &password);

// Rotates every colour of the attached skin by hue degrees and moves
// saturation and value by the given percentages of their full range
// (-100..100, 0 = unchanged). Each call starts from the skin's own colours.
// Returns 1 if a skin is attached, else 0 (and nothing changes).
int SkinH_AdjustHSV(int hue, int saturation, int value);

namespace Skin {

// Forgets the skin and restores the plain look, so tests start clean.
void detachForTesting();

} // namespace Skin
