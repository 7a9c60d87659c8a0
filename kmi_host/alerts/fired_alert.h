// An alert rule that fired: on a bar that has closed (alerts.csv holds these), or early on the
// forming last bar of a chart followed live (shown, never written).
#ifndef KMI_HOST_ALERTS_FIRED_ALERT_H
#define KMI_HOST_ALERTS_FIRED_ALERT_H

#include <cstdint>
#include <string>

#include "host/host_interface.h"

namespace kmi::emu {

struct FiredAlert {
    std::int32_t bar = 0;   // the chart bar's index
    HostDateTime time = 0;  // the bar's time
    std::string rule;       // as the trader wrote it
    std::string series;     // the series' declared name
    float value = 0.0f;     // the series' value on the bar
    bool forming = false;
};

}  // namespace kmi::emu

#endif
