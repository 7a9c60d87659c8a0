#include "sources/source_walk.h"

namespace kmi {

void walk_closed_bars(SourceSession& session, const SourceView& view, std::int64_t period_ms, std::int64_t bound_ms,
                      const CountingRules& rules) noexcept {
    // The bar end rule and the walk arrive with the source charts.
    (void)session;
    (void)view;
    (void)period_ms;
    (void)bound_ms;
    (void)rules;
}

SourceSession provisional_copy(SourceSession session, const SourceView& view, std::int64_t period_ms,
                               std::int64_t bound_ms, const CountingRules& rules) noexcept {
    walk_closed_bars(session, view, period_ms, bound_ms, rules);
    return session;
}

std::int64_t compute_live_bound(const HostInterface& host, std::int64_t chart_bar_period_ms) noexcept {
    (void)host;
    (void)chart_bar_period_ms;
    return unbounded_ms;
}

}  // namespace kmi
