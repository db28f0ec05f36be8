#pragma once

// Hands a web page address to the user's browser and forgets about it: no
// waiting, no result. Tests replace the opener so no real browser starts.

#include <QString>

#include <functional>

namespace WebOpener {

void open(const QString &url);

// An empty handler restores the real opener.
void setHandlerForTesting(std::function<void(const QString &url)> handler);

} // namespace WebOpener
