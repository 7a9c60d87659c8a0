#include "metrics/count_bar.h"

namespace kmi {

void open_session(SourceSession& session, std::int32_t day, double open, double high, double low) noexcept {
    // The finished session's last close becomes the reference of the new one, but only
    // when that session had bars.
    if (session.session_day >= 0 && session.session_bars > 0) {
        session.prior_session_close = session.session_last_value;
        session.has_prior_close = true;
    }
    session.session_open = open;
    session.session_high = high;
    session.session_low = low;
    session.session_day = day;
    session.bars_at_or_above_upper = 0;
    session.bars_at_or_below_lower = 0;
    session.session_bars = 0;
    session.sum_x = 0.0;
    session.sum_y = 0.0;
    session.sum_xx = 0.0;
    session.sum_xy = 0.0;
}

}  // namespace kmi
