// Composing the panel's lines: the title, one line per reading with its status suffix,
// the optional ES vs NQ and chart lines, and the one width they are all drawn at.
#ifndef KMI_PANEL_COMPOSE_PANEL_H
#define KMI_PANEL_COMPOSE_PANEL_H

#include "host/host_interface.h"
#include "panel/panel.h"
#include "panel/panel_lines.h"
#include "panel/reading_class.h"

namespace kmi {

struct StudyState;

// Composes into lines made by make_panel_lines.
void compose_panel(HostInterface& host, const StudyState& state, const PanelReadings& readings,
                   const PanelColors& colors, PanelLines& lines) noexcept;

}  // namespace kmi

#endif
