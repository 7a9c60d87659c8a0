// Paths and their text. Every path's text in kmi-host is UTF-8: the arguments, the program's
// own folder, the names in messages and in output. On Windows a path made from a narrow string
// would take its bytes one by one (an "é" written in UTF-8 would name a file "Ã©"), and a path
// turned back into a narrow string would lose what the code page cannot write: paths are made
// from UTF-8 and turned back into UTF-8 here, and nowhere else.
#ifndef KMI_HOST_TEXT_PATH_TEXT_H
#define KMI_HOST_TEXT_PATH_TEXT_H

#include <filesystem>
#include <string>
#include <string_view>

namespace kmi::emu {

std::filesystem::path path_of(std::string_view utf8);

std::string text_of(const std::filesystem::path& path);

}  // namespace kmi::emu

#endif
