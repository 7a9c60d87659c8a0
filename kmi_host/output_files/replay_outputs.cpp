#include "kmi_host/output_files/replay_outputs.h"

#include "kmi_host/output_files/series_files.h"

namespace kmi::emu {

std::vector<std::filesystem::path> replay_output_files(const std::filesystem::path& folder, bool alerts) {
    std::vector<std::filesystem::path> files;
    files.reserve(replay_output_names.size());
    for (const char* name : replay_output_names) files.push_back(folder / name);
    if (!alerts) files.pop_back();
    return files;
}

std::vector<std::pair<std::filesystem::path, FileWriter>> replay_output_writers(
    const ChartPageData& page, const std::string& log_txt, const std::string& panel_txt,
    const std::filesystem::path& folder, const std::optional<ChartLibrary>& library, bool alerts) {
    const auto at = [&folder](std::size_t index) { return folder / replay_output_names[index]; };
    std::vector<std::pair<std::filesystem::path, FileWriter>> writers{
        {at(0), [&page](OutputSink& sink) { write_series_csv(sink, page); }},
        {at(1), [&log_txt](OutputSink& sink) { put(sink, log_txt); }},
        {at(2), [&panel_txt](OutputSink& sink) { put(sink, panel_txt); }},
        {at(3), [&page, library](OutputSink& sink) { write_chart_page(sink, page, library); }},
        {at(4), [&page](OutputSink& sink) { write_days_csv(sink, page); }}};
    if (alerts) writers.emplace_back(at(5), [&page](OutputSink& sink) { write_alerts_csv(sink, page.alerts); });
    return writers;
}

}  // namespace kmi::emu
