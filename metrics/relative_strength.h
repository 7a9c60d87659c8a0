// ES against NQ: the percent change of each since its regular-session open, compared
// only when both are on the same session day.
#ifndef KMI_METRICS_RELATIVE_STRENGTH_H
#define KMI_METRICS_RELATIVE_STRENGTH_H

#include <cstdint>
#include <optional>

#include "host/always_inline.h"
#include "metrics/source_session.h"

namespace kmi {

// The fields of a source record the relative strength reads (left unset until a record
// fills them: the closed-bar loop keeps one per bar and sets it before reading).
struct SessionOpenFields {
    std::int32_t session_day;
    std::int32_t session_bars;
    double session_open;
    double session_last_value;
};

KMI_ALWAYS_INLINE SessionOpenFields session_open_fields(const SourceSession& session) noexcept {
    return SessionOpenFields{session.session_day, session.session_bars, session.session_open,
                             session.session_last_value};
}

struct RelativeStrength {
    double es_percent = 0.0;
    double nq_percent = 0.0;
    double difference = 0.0;  // ES minus NQ, in percentage points
};

// The readings take a source record, or any record with the same fields (the closed-bar
// loop keeps only these fields of ES per bar, in SessionOpenFields).
template <typename Es, typename Nq>
KMI_ALWAYS_INLINE bool same_session(const Es& es, const Nq& nq) noexcept {
    return es.session_day >= 0 && es.session_day == nq.session_day && es.session_bars != 0 && nq.session_bars != 0 &&
           es.session_open > 0.0 && nq.session_open > 0.0;
}

// The latest session close against the session open, in percent.
template <typename Record>
KMI_ALWAYS_INLINE double percent_since_open(const Record& session) noexcept {
    return (session.session_last_value / session.session_open - 1.0) * 100.0;
}

template <typename Es, typename Nq>
KMI_ALWAYS_INLINE std::optional<RelativeStrength> relative_strength(const Es& es, const Nq& nq) noexcept {
    if (!same_session(es, nq)) return std::nullopt;
    const double es_percent = percent_since_open(es);
    const double nq_percent = percent_since_open(nq);
    return RelativeStrength{es_percent, nq_percent, es_percent - nq_percent};
}

}  // namespace kmi

#endif
