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
// Windows ends the process when a handler of the console closing, a logoff or a shutdown returns,
// and 5 s after it was called in any case. The handler asks for the stop and waits: the process
// ends as soon as the run has written its files and returned.
constexpr DWORD longest_wait_for_the_end = 4500;

void stop_and_wait_for_the_end() {
    stop_asked.store(true);
    Sleep(longest_wait_for_the_end);
}

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: stop_asked.store(true); return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: stop_and_wait_for_the_end(); return TRUE;
        default: return FALSE;
    }
}

// A console program that loads user32 (kmi-host does, through shell32) gets no console event
// of a logoff or a shutdown: Windows tells it, as it tells a windowed program, by the
// end-of-session messages every top-level window gets, hidden ones too.
LRESULT CALLBACK on_window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION) {
        if (wparam != FALSE) stop_and_wait_for_the_end();
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// The hidden window's thread, which lives as long as the process.
DWORD WINAPI run_end_of_session_window(void*) {
    WNDCLASSW kind{};
    kind.lpfnWndProc = on_window_message;
    kind.hInstance = GetModuleHandleW(nullptr);
    kind.lpszClassName = L"kmi-host end of session";
    if (RegisterClassW(&kind) == 0) return 0;
    if (CreateWindowExW(0, kind.lpszClassName, L"kmi-host", 0, 0, 0, 0, 0, nullptr, nullptr, kind.hInstance, nullptr) ==
        nullptr) {
        return 0;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
#else
extern "C" void on_stop_signal(int) { stop_asked.store(true); }
#endif

}  // namespace

void catch_stop_signals() {
#ifdef _WIN32
    static std::atomic<bool> caught{false};
    if (caught.exchange(true)) return;
    SetConsoleCtrlHandler(on_console_event, TRUE);
    const HANDLE window_thread = CreateThread(nullptr, 0, run_end_of_session_window, nullptr, 0, nullptr);
    if (window_thread != nullptr) CloseHandle(window_thread);
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
