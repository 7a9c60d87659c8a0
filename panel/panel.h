// The panel: one host text drawing per line in a corner of the chart.
#ifndef KMI_PANEL_PANEL_H
#define KMI_PANEL_PANEL_H

#include <cstdint>

#include "host/host_interface.h"
#include "metrics/chart_flow.h"
#include "metrics/output_values.h"
#include "metrics/session_window.h"
#include "panel/panel_lines.h"
#include "sources/source_view.h"

namespace kmi {

// (study_id + 75200) * 1000 in 32-bit arithmetic that wraps instead of overflowing.
std::int32_t panel_line_base(std::int32_t study_id) noexcept;

// Line number `index` of the block that starts at `line_base`, wrapping like the base.
inline std::int32_t panel_line_number(std::int32_t line_base, std::int32_t index) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(line_base) + static_cast<std::uint32_t>(index));
}

// Deletes all 16 line numbers of the block (the last call).
void delete_panel_block(HostInterface& host, std::int32_t line_base) noexcept;

// Deletes the `line_count` lines the previous call drew and sets the count to 0 (panel
// off, or a chart without bars).
void remove_panel(HostInterface& host, std::int32_t& line_count, std::int32_t line_base) noexcept;

// What the panel reads of one call.
struct PanelReadings {
    const SourceViews* views = nullptr;
    const SourceSessions* live_sources = nullptr;
    const ChartFlow* live_chart_flow = nullptr;
    std::int64_t live_bound_ms = 0;
};

// The gate, composition and drawing of the panel; `line_count` is how many lines are on
// the chart, before the call and after it.
void update_panel(HostInterface& host, std::int32_t& line_count, std::int32_t line_base, const SessionWindow& window,
                  double upper_threshold, double lower_threshold, const PanelReadings& readings) noexcept;

}  // namespace kmi

#endif
