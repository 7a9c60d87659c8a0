#include "metrics/relative_strength.h"

namespace kmi {

bool same_session(const SourceSession& es, const SourceSession& nq) noexcept {
    return es.session_day >= 0 && es.session_day == nq.session_day && es.session_bars != 0 && nq.session_bars != 0 &&
           es.session_open > 0.0 && nq.session_open > 0.0;
}

double percent_since_open(const SourceSession& session) noexcept {
    return (session.session_last_value / session.session_open - 1.0) * 100.0;
}

std::optional<RelativeStrength> relative_strength(const SourceSession& es, const SourceSession& nq) noexcept {
    if (!same_session(es, nq)) return std::nullopt;
    const double es_percent = percent_since_open(es);
    const double nq_percent = percent_since_open(nq);
    return RelativeStrength{es_percent, nq_percent, es_percent - nq_percent};
}

}  // namespace kmi
