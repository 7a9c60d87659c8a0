// The alert rules of a replay, judged as it plays: each bar once it closes (the next bar has
// come), every bar again after a full recalculation, and, while following, the forming last bar
// early. What a replay ends with is judged again from the series as they ended, the last bar
// closed, so that alerts.csv always agrees with series.csv.
#ifndef KMI_HOST_REPLAY_REPLAY_ALERTS_H
#define KMI_HOST_REPLAY_REPLAY_ALERTS_H

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kmi_host/alerts/alert_rules.h"
#include "kmi_host/host_core/host_core.h"
#include "kmi_host/output_files/page_data.h"

namespace kmi::emu {

struct ReplayAlerts {
    std::vector<AlertRule> rules;
    std::vector<std::string> texts;                               // the rules as written
    std::vector<FiredAlert> closed;                               // of the bars judged, in bar order
    std::int32_t judged = 0;                                      // bars [0, judged) are judged
    std::vector<FiredAlert> shown;                                // the closed ones, then the forming bar's
    std::set<std::pair<std::int32_t, std::string>> told_forming;  // by bar and rule
};

// The rules of --alert and of the rules file, resolved against the study's declared series.
// Throws InputError with the names a rule may use.
std::vector<AlertRule> resolve_alert_rules(const std::vector<std::string>& alerts, const std::string& alerts_file,
                                           const Host& host);

// After a study call: judges the bars that have closed (every bar again after a full
// recalculation) and, `live`, the forming last bar; `tell` hears each alert not told before.
void judge_after_call(ReplayAlerts& alerts, const Host& host, bool full, bool live,
                      const std::function<void(const FiredAlert&)>& tell);

// Every bar of the page's data judged, its last bar closed: the alerts a replay ends with.
std::vector<FiredAlert> final_alerts(const std::vector<AlertRule>& rules, const ChartPageData& page);

}  // namespace kmi::emu

#endif
