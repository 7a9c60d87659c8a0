#include "kmi_host/following/stop_signal.h"

#include <atomic>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace kmi::emu {
namespace {

// Set from a signal handler: a lock-free atomic is all a handler may touch.
std::atomic<bool> stop_asked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI on_console_event(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        stop_asked.store(true);
        // A closing console ends the process when this returns: give the run time to write.
        if (event == CTRL_CLOSE_EVENT) Sleep(4000);
        return TRUE;
    }
    return FALSE;
}
#else
extern "C" void on_stop_signal(int) { stop_asked.store(true); }
#endif

}  // namespace

void catch_stop_signals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}

void request_stop() { stop_asked.store(true); }

bool stop_requested() { return stop_asked.load(); }

bool wait_for_stop(std::chrono::milliseconds timeout) {
    // Short naps: a handler can do no more than set the flag.
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!stop_requested()) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return true;
}

void clear_stop() { stop_asked.store(false); }

}  // namespace kmi::emu
