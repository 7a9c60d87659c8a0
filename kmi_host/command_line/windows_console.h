// The Windows console: UTF-8 while the program runs (its own code page back at the end), the
// arguments read from the command line's wide characters, and the guide a double-click shows.
// Elsewhere the arguments are taken as given and nothing else is done.
#ifndef KMI_HOST_COMMAND_LINE_WINDOWS_CONSOLE_H
#define KMI_HOST_COMMAND_LINE_WINDOWS_CONSOLE_H

#include <string>
#include <vector>

namespace kmi::emu {

// The console shows UTF-8 while this lives.
struct Utf8Console {
    unsigned int output_page = 0;  // the console's own, given back at the end (0: none)
    Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;
    ~Utf8Console();
};

// The arguments as UTF-8: on Windows read from the command line's wide characters, so that a
// name in any script arrives whole whatever the code page.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Started from Explorer (a double-click) with no arguments, the program is alone in a console
// window of its own, which closes with it: it shows how kmi-host.exe is used until a key is
// pressed, and says so.
bool showed_double_click_guide(int argc, const std::string& version);

}  // namespace kmi::emu

#endif
