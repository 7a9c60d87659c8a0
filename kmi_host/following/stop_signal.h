// Ending a live run cleanly: Ctrl-C, the terminal closing (or, on Windows, the console window
// closed, a logoff or a shutdown) asks the run to stop; the run sees it at its next wait and
// ends as a finished replay does, its files written whole.
#ifndef KMI_HOST_FOLLOWING_STOP_SIGNAL_H
#define KMI_HOST_FOLLOWING_STOP_SIGNAL_H

#include <chrono>

namespace kmi::emu {

// From now on Ctrl-C, SIGTERM and SIGHUP (on Windows the console's Ctrl-C and Ctrl-Break, its
// closing, a logoff and a shutdown) ask for a stop instead of ending the process. Windows ends
// the process once told of the last three: it is held (at most 4.5 s, less than Windows waits)
// while the run writes its files and returns.
void catch_stop_signals();

// Asks for a stop, as a signal does (tests, and a run that must end).
void request_stop();

// Whether a stop was asked for.
bool stop_requested();

// Waits until a stop is asked for or `timeout` passes; whether a stop was asked for.
bool wait_for_stop(std::chrono::milliseconds timeout);

// Forgets a stop asked for (a test's next run).
void clear_stop();

}  // namespace kmi::emu

#endif
