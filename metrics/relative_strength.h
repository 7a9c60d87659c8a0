// ES against NQ: the percent change of each since its regular-session open, compared
// only when both are on the same session day.
#ifndef KMI_METRICS_RELATIVE_STRENGTH_H
#define KMI_METRICS_RELATIVE_STRENGTH_H

#include <optional>

#include "metrics/source_session.h"

namespace kmi {

struct RelativeStrength {
    double es_percent = 0.0;
    double nq_percent = 0.0;
    double difference = 0.0;  // ES minus NQ, in percentage points
};

bool same_session(const SourceSession& es, const SourceSession& nq) noexcept;

// The latest session close against the session open, in percent.
double percent_since_open(const SourceSession& session) noexcept;

std::optional<RelativeStrength> relative_strength(const SourceSession& es, const SourceSession& nq) noexcept;

}  // namespace kmi

#endif
