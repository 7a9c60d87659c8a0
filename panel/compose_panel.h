// Composing the panel's lines: the title, one line per reading with its status suffix,
// the optional ES vs NQ and chart lines, and the one width they are all drawn at.
#ifndef KMI_PANEL_COMPOSE_PANEL_H
#define KMI_PANEL_COMPOSE_PANEL_H

#include "host/host_interface.h"
#include "metrics/session_window.h"
#include "panel/panel.h"
#include "panel/panel_lines.h"
#include "panel/reading_class.h"

namespace kmi {

// Composes into lines made by make_panel_lines. `window` is the regular session the
// statuses are judged by; the TICK line shows the two thresholds its bars are counted at.
void compose_panel(HostInterface& host, const SessionWindow& window, double upper_threshold, double lower_threshold,
                   const PanelReadings& readings, const PanelColors& colors, PanelLines& lines) noexcept;

}  // namespace kmi

#endif
