#pragma once

// A console service ends cleanly when asked to stop: Ctrl+C, or a polite kill
// (SIGTERM) on Linux, a console close on Windows. The event loop quits, so
// the code after exec() still runs.

class QCoreApplication;

namespace StopSignals {

// False when the handlers cannot be installed.
bool quitOnStop(QCoreApplication &app);

} // namespace StopSignals
