#pragma once
// SIGINT, SIGTERM and SIGHUP (on Windows the console's Ctrl+C, close, log-off and
// shut-down events) as an ordinary event: the handler only pokes the event loop, which
// (also a yield's) then calls back, so they end the program the way closing the window
// does instead of killing it halfway through a log line.
#include <functional>

namespace vt {

// Routes those events to onSignal from the event loop; a later call replaces the
// callback. Needs a QCoreApplication. False when they could not be routed.
bool CallOnTerminationSignals(std::function<void()> onSignal);

} // namespace vt
