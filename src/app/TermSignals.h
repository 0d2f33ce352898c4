#pragma once
// SIGINT, SIGTERM and SIGHUP as an ordinary event: the handler only pokes a pipe, and
// the event loop (also a yield's) then calls back, so a signal ends the program the
// way closing the window does instead of killing it halfway through a log line.
#include <functional>

namespace vt {

// Routes the three signals to onSignal from the event loop; a later call replaces
// the callback. Needs a QCoreApplication. False when the pipe could not be made.
bool CallOnTerminationSignals(std::function<void()> onSignal);

} // namespace vt
