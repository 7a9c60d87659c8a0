#include "kmi_host/text/file_text.h"

#include <fstream>
#include <new>

#include "kmi_host/text/input_error.h"
#include "kmi_host/text/path_text.h"

namespace kmi::emu {

std::string read_file_text(const std::filesystem::path& file) {
    std::error_code error;
    if (std::filesystem::exists(file, error) && !std::filesystem::is_regular_file(file, error)) {
        throw InputError(text_of(file) + ": is not a regular file");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) throw InputError(text_of(file) + ": cannot be read");
    try {
        std::string text;
        char block[1 << 16];
        while (in) {
            in.read(block, sizeof block);
            text.append(block, static_cast<std::size_t>(in.gcount()));
        }
        if (in.bad()) throw InputError(text_of(file) + ": cannot be read whole (a read error)");
        return text;
    } catch (const std::bad_alloc&) {
        throw InputError(text_of(file) + ": there is not enough memory to read it");
    }
}

}  // namespace kmi::emu
