#include "kmi_host/command_line/did_you_mean.h"

#include <vector>

#include "kmi_host/text/names.h"

namespace kmi::emu {

namespace {

// A known option the word begins with, as "--out-dir" begins with "--out".
std::optional<std::string> option_begun(const std::string& name, const std::vector<std::string>& options) {
    std::optional<std::string> longest;
    for (const std::string& option : options) {
        if (option.size() < name.size() && name.compare(0, option.size(), option) == 0 &&
            (!longest || option.size() > longest->size())) {
            longest = option;
        }
    }
    return longest;
}

std::string list_of(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out;
}

}  // namespace

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

    const std::vector<std::string> remaining = app.remaining(true);
    for (const std::string& word : remaining) {
        // "--source es = ES.csv": the shell made three words of one.
        if (!parsed.empty() && word.front() == '=') {
            return "kmi-host: \"" + word + "\" stands apart: write SLOT=VALUE as one word, without spaces " +
                   "around \"=\" (--source es=ES.csv)\n" + help + "\n";
        }
    }
    for (const std::string& word : remaining) {
        const bool option = word.rfind("--", 0) == 0;
        if (!option && !parsed.empty()) continue;  // a stray value: CLI11 names it
        const std::string name = option ? word.substr(2, word.find('=') - 2) : word;
        std::optional<std::string> nearest = nearest_name(name, option ? options : commands);
        if (!nearest && option) nearest = option_begun(name, options);
        const std::string dashes = option ? "--" : "";
        if (!nearest && !option) {
            return "kmi-host: " + name + ": no such command (" + list_of(commands) + ")\n" + help + "\n";
        }
        if (!nearest) return std::nullopt;
        return "kmi-host: " + dashes + name + ": did you mean " + dashes + *nearest + "?\n" + help + "\n";
    }
    return std::nullopt;
}

}  // namespace kmi::emu
