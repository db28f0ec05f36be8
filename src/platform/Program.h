#pragma once

// Ending the program at once, without any close request: no window is asked
// whether it may close. Every window is hidden first so nothing lingers while
// the event loop unwinds. Call it from inside the running event loop.

#include <functional>

namespace Program {

void endNow(int exitCode = 0);

// While a handler is set, endNow() only hands it the exit code.
void setEndHandlerForTesting(std::function<void(int exitCode)> handler);

} // namespace Program
