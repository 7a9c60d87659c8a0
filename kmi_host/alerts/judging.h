// Judging alert rules on the study's series, bar by bar. A rule is judged on each bar's values as
// the series hold them when the bar closes (the study rewrites only its last bar), so a replay of
// history and a chart followed live fire the same alerts. It fires on the bar where it becomes
// true, not again while it stays true:
//   >= L, <= L      true on bar i and not true on bar i - 1 (on bar 0, when true);
//   crosses above L value[i - 1] < L and value[i] >= L;
//   crosses below L value[i - 1] > L and value[i] <= L;
//   crosses L       either; a crossing needs a bar before, so none fires on bar 0.
// A NaN value is never true and never crosses.
#ifndef KMI_HOST_ALERTS_JUDGING_H
#define KMI_HOST_ALERTS_JUDGING_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_interface.h"
#include "kmi_host/alerts/alert_rules.h"
#include "kmi_host/alerts/fired_alert.h"

namespace kmi::emu {

// The bars' series: series[k] holds the values of the k-th declared series, one per bar; a
// series shorter than the bars (or missing, or null) counts as 0 past its end, as series.csv
// writes it. The bars are those of `times`; a range beyond them is cut to them.

// The alerts of bars [from_bar, to_bar) (all closed), judged against the bar before each; in bar
// order, then rule order.
std::vector<FiredAlert> judge_closed_bars(const std::vector<AlertRule>& rules, const std::vector<HostDateTime>& times,
                                          const std::vector<const std::vector<float>*>& series, std::int32_t from_bar,
                                          std::int32_t to_bar);

// The early alerts of the forming last bar `bar` (marked forming), judged against bar - 1 as it
// closed. They change nothing of what the closed bar fires once it closes.
std::vector<FiredAlert> judge_forming_bar(const std::vector<AlertRule>& rules, const std::vector<HostDateTime>& times,
                                          const std::vector<const std::vector<float>*>& series, std::int32_t bar);

// The alert as one line of the terminal: `alert 2025-07-07 09:42:00  TICK >= 1000  (TICK 1012)`,
// the value in plain decimals, then ` (forming)` for an alert of the forming bar.
std::string alert_line(const FiredAlert& alert);

}  // namespace kmi::emu

#endif
