// Files of alert rules: UTF-8 text (a byte-order mark is taken), one rule per line; blank lines
// and lines that start with "#" are skipped.
#ifndef KMI_HOST_ALERTS_RULES_FILE_H
#define KMI_HOST_ALERTS_RULES_FILE_H

#include <filesystem>
#include <string>
#include <vector>

#include "kmi_host/alerts/alert_rules.h"

namespace kmi::emu {

// The file's rules as written (without the spaces around them), each read as split_alert_rule
// reads it. Throws InputError naming the file when it cannot be read or is no UTF-8 text, and
// "FILE:LINE: ..." for a line that is no rule.
std::vector<std::string> read_alert_rules_file(const std::filesystem::path& file);

// The same, each rule resolved as parse_alert_rule resolves it against the declared series
// names, a series it does not name refused as "FILE:LINE: ...".
std::vector<AlertRule> read_alert_rules(const std::filesystem::path& file, const std::vector<std::string>& declared);

}  // namespace kmi::emu

#endif
