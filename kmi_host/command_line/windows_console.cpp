#include "kmi_host/command_line/windows_console.h"

#include <cstdio>

#include "kmi_host/terminal/console_output.h"

#ifdef _WIN32
#include <windows.h>

#include <conio.h>
#include <shellapi.h>
#endif

namespace kmi::emu {

#ifdef _WIN32

namespace {

std::string utf8_of(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.pop_back();  // the terminating NUL
    return utf8;
}

// Started from Explorer (a double-click), the program has a console window of its own, which
// closes with it: the program is alone in its console.
bool alone_in_its_console() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace

Utf8Console::Utf8Console() : output_page(GetConsoleOutputCP()) {
    if (output_page != 0) SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
    if (output_page != 0) SetConsoleOutputCP(output_page);
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) arguments.push_back(utf8_of(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    if (arguments.empty()) arguments.assign(argv, argv + argc);
    return arguments;
}

bool showed_double_click_guide(int argc, const std::string& version) {
    if (argc != 1 || !alone_in_its_console()) return false;
    console_printf(
        stdout,
        "kmi-host %s: runs the Keelwick Market Internals study as a charting host does.\n\n"
        "kmi-host.exe is run from a command prompt. To try the study:\n"
        "  1. Open a command prompt in this folder: click Explorer's address bar, type cmd and press Enter.\n"
        "  2. Type:  kmi-host.exe demo\n"
        "  3. Open out\\chart.html, which it writes, in your browser.\n\n"
        "kmi-host.exe replay replays your own bar files; kmi-host.exe --help lists every command.\n"
        "INSTALL.txt and docs\\trader-guide.md, beside this program, say more.\n\n"
        "Press any key to close this window.\n",
        version.c_str());
    std::fflush(stdout);
    _getch();
    return true;
}

#else

// Other consoles show UTF-8 as they are.
Utf8Console::Utf8Console() {}
Utf8Console::~Utf8Console() {}

std::vector<std::string> utf8_arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool showed_double_click_guide(int, const std::string&) { return false; }

#endif

}  // namespace kmi::emu
