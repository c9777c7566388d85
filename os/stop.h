// Ctrl+C and SIGTERM (on Windows the console's Ctrl+C and Ctrl+Break) as a
// request to stop: once caught, the first of them is remembered, and a child
// program's pipe and wait (os/process.h) give up on a child that does not
// answer within a bounded time after it.
#pragma once

namespace os {

// Catches SIGINT and SIGTERM from here on. Their handler only records the
// request; the system calls they interrupt return early instead of being
// restarted.
void CatchStopSignals();
// The number of the stop signal that came first (SIGINT's or SIGTERM's, as
// <csignal> numbers them), or 0.
int StopSignal();
// What the handlers do: records `signalNumber` unless a stop is recorded
// already. Safe from a signal handler and from any thread.
void RequestStop(int signalNumber);

}  // namespace os
