#include "kmi_host/command_line/did_you_mean.h"

#include <vector>

#include "kmi_host/text/names.h"

namespace kmi::emu {

std::optional<std::string> mistyped_word_hint(CLI::App& app) {
    const std::vector<CLI::App*> parsed = app.get_subcommands();
    CLI::App& command = parsed.empty() ? app : *parsed.front();
    const std::string help = "Run " + std::string(parsed.empty() ? "kmi-host" : "kmi-host " + command.get_name()) +
                             " --help for more "
                             "information.";
    std::vector<std::string> options;
    for (const CLI::Option* option : command.get_options())
        for (const std::string& name : option->get_lnames()) options.push_back(name);
    std::vector<std::string> commands;
    for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) commands.push_back(sub->get_name());

    for (const std::string& word : app.remaining(true)) {
        const bool option = word.rfind("--", 0) == 0;
        if (!option && !parsed.empty()) continue;  // a stray value: CLI11 names it
        const std::string name = option ? word.substr(2, word.find('=') - 2) : word;
        const std::optional<std::string> nearest = nearest_name(name, option ? options : commands);
        if (!nearest) return std::nullopt;
        const std::string dashes = option ? "--" : "";
        return "kmi-host: " + dashes + name + ": did you mean " + dashes + *nearest + "?\n" + help + "\n";
    }
    return std::nullopt;
}

}  // namespace kmi::emu
