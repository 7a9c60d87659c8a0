// The files of replay --out: series.csv, log.txt, panel.txt, chart.html and days.csv, and
// alerts.csv of a replay given alert rules, each with what writes it, for write_files_atomically.
#ifndef KMI_HOST_OUTPUT_FILES_REPLAY_OUTPUTS_H
#define KMI_HOST_OUTPUT_FILES_REPLAY_OUTPUTS_H

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/page_data.h"

namespace kmi::emu {

// In the order they are listed and written.
inline constexpr std::array<const char*, 6> replay_output_names{"series.csv", "log.txt",  "panel.txt",
                                                                "chart.html", "days.csv", "alerts.csv"};

// Those files in `folder`, alerts.csv only with `alerts`.
std::vector<std::filesystem::path> replay_output_files(const std::filesystem::path& folder, bool alerts);

// Each of those files in `folder` with what writes it: the series and the days from the page's
// data (alerts.csv from its alerts, with `alerts`), the log's lines and the panel's as they are.
std::vector<std::pair<std::filesystem::path, FileWriter>> replay_output_writers(
    const ChartPageData& page, const std::string& log_txt, const std::string& panel_txt,
    const std::filesystem::path& folder, const std::optional<ChartLibrary>& library, bool alerts = false);

}  // namespace kmi::emu

#endif
