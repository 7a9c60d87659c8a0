#include "kmi_host/terminal/console_output.h"

#include <array>
#include <cstdarg>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <mutex>
#endif

namespace kmi::emu {

#ifdef _WIN32

namespace {

// UTF-8 is converted this many bytes at a time, into as many UTF-16 units at most.
constexpr std::size_t chunk_bytes = 2048;

// The console window a standard stream writes to, or nullptr: a file, a pipe, another stream.
HANDLE console_of(std::FILE* stream) {
    if (stream != stdout && stream != stderr) return nullptr;
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) return nullptr;
    return handle;
}

// Whole UTF-8 sequences to the console, a chunk at a time, no chunk ending inside one (a
// UTF-16 surrogate pair is never split either).
void write_wide(HANDLE console, std::string_view utf8) {
    std::array<wchar_t, chunk_bytes> wide{};
    while (!utf8.empty()) {
        const std::size_t take =
            utf8.size() <= chunk_bytes ? utf8.size() : utf8_whole_length(utf8.substr(0, chunk_bytes));
        int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(take), wide.data(),
                                        static_cast<int>(wide.size()));
        const wchar_t* next = wide.data();
        while (units > 0) {
            DWORD written = 0;
            if (WriteConsoleW(console, next, static_cast<DWORD>(units), &written, nullptr) == 0 || written == 0) return;
            next += written;
            units -= static_cast<int>(written);
        }
        utf8.remove_prefix(take);
    }
}

bool continues_sequence(char byte) { return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u; }

// The start of a character that a write to stdout or stderr ended inside, kept for the next.
struct HeldStart {
    std::array<char, 4> bytes{};
    std::size_t size = 0;
    bool unfinished() const { return utf8_whole_length({bytes.data(), size}) < size; }
};

std::mutex held_mutex;
std::array<HeldStart, 2> held_starts;  // stdout's, stderr's

}  // namespace

void console_write(std::FILE* stream, std::string_view utf8) {
    HANDLE console = console_of(stream);
    if (console == nullptr) {
        std::fwrite(utf8.data(), 1, utf8.size(), stream);
        return;
    }
    const std::lock_guard<std::mutex> lock(held_mutex);
    std::fflush(stream);  // whatever the C stream still holds comes first
    HeldStart& held = held_starts[stream == stderr ? 1 : 0];
    if (held.size > 0) {
        while (held.unfinished() && !utf8.empty() && continues_sequence(utf8.front())) {
            held.bytes[held.size++] = utf8.front();
            utf8.remove_prefix(1);
        }
        if (held.unfinished() && utf8.empty()) return;
        write_wide(console, {held.bytes.data(), held.size});  // whole, or broken for good
        held.size = 0;
    }
    const std::size_t whole = utf8_whole_length(utf8);
    write_wide(console, utf8.substr(0, whole));
    held.size = utf8.size() - whole;
    std::copy(utf8.begin() + static_cast<std::ptrdiff_t>(whole), utf8.end(), held.bytes.begin());
}

#else

void console_write(std::FILE* stream, std::string_view utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stream); }

#endif

void console_printf(std::FILE* stream, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    if (console_of(stream) != nullptr) {
        va_list again;
        va_copy(again, arguments);
        std::array<char, 1024> shortly{};
        const int size = std::vsnprintf(shortly.data(), shortly.size(), format, arguments);
        if (size >= 0 && static_cast<std::size_t>(size) < shortly.size()) {
            console_write(stream, {shortly.data(), static_cast<std::size_t>(size)});
        } else if (size > 0) {
            std::string text(static_cast<std::size_t>(size), '\0');
            std::vsnprintf(text.data(), text.size() + 1, format, again);
            console_write(stream, text);
        }
        va_end(again);
        va_end(arguments);
        return;
    }
#endif
    std::vfprintf(stream, format, arguments);
    va_end(arguments);
}

std::size_t utf8_whole_length(std::string_view bytes) {
    // An unfinished sequence is a lead byte and at most two of the three bytes that continue it.
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0u) == 0x80u) continue;
        const std::size_t length = (byte & 0xE0u) == 0xC0u   ? 2
                                   : (byte & 0xF0u) == 0xE0u ? 3
                                   : (byte & 0xF8u) == 0xF0u ? 4
                                                             : 1;
        return length > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

}  // namespace kmi::emu
