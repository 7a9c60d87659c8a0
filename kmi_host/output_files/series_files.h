// series.csv and days.csv: the study's 20 output series, bar by bar and at each session day's
// last session bar, written straight into their files.
#ifndef KMI_HOST_OUTPUT_FILES_SERIES_FILES_H
#define KMI_HOST_OUTPUT_FILES_SERIES_FILES_H

#include <string>
#include <vector>

#include "kmi_host/output_files/atomic_files.h"
#include "kmi_host/output_files/page_data.h"

namespace kmi::emu {

// "time" and the declared names, then one row per chart bar: its time and the 20 values in
// their shortest form.
void write_series_csv(OutputSink& sink, const ChartPageData& data);

// "date" and the declared names, then one row per session day with the values of its last
// session bar.
void write_days_csv(OutputSink& sink, const ChartPageData& data);

// "time,rule,value", then one row per alert of a closed bar: the bar's time, the rule as written
// and the series' value in its shortest form.
void write_alerts_csv(OutputSink& sink, const std::vector<FiredAlert>& alerts);

// The same as texts.
std::string series_csv(const ChartPageData& data);
std::string days_csv(const ChartPageData& data);
std::string alerts_csv(const std::vector<FiredAlert>& alerts);

}  // namespace kmi::emu

#endif
