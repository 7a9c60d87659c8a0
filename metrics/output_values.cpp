#include "metrics/output_values.h"

namespace kmi {

OutputValues compute_output_values(const SourceSessions& sources, const ChartFlow& chart_flow) noexcept {
    OutputValues values{};
    set_tick_values(values, sources[slot_tick]);
    set_add_values(values, sources[slot_add]);
    set_vold_value(values, sources[slot_vold]);
    set_updown_value(values, sources[slot_updown_ratio]);
    set_vix_values(values, sources[slot_vix]);
    set_term_structure_value(values, sources[slot_front], sources[slot_back]);
    set_strength_values(values, sources[slot_es], sources[slot_nq]);
    set_chart_flow_values(values, chart_flow);
    return values;
}

void write_output_values(HostInterface& host, std::int32_t bar_index, const SourceSessions& sources,
                         const ChartFlow& chart_flow) noexcept {
    const OutputValues values = compute_output_values(sources, chart_flow);
    const int count = output_series_to_write(host);
    for (int k = 0; k < count; ++k) {
        set_series_value(host.output_series[k], bar_index, values[static_cast<std::size_t>(k)]);
    }
}

}  // namespace kmi
