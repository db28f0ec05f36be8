#pragma once

// The player bar's icons, painted in code on a 16-unit grid: sharp at every
// size and device pixel ratio, with no image plugin, icon engine or theme
// lookup needed at run time.

#include <QIcon>

namespace PlayerIcons {

enum class Shape { Play, Pause, Stop, Volume, Muted };

QIcon icon(Shape shape);
// The speaker, with the struck-out speaker as its checked (On) state.
QIcon muteIcon();

} // namespace PlayerIcons
