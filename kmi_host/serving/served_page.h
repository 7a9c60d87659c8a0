// The chart page served while a replay runs (replay --serve): the server started before the
// replay reads any file (a port that cannot be had is told first), fed after every study call,
// and, after a replay that does not follow its files, serving the final page until Ctrl-C.
#ifndef KMI_HOST_SERVING_SERVED_PAGE_H
#define KMI_HOST_SERVING_SERVED_PAGE_H

#include <memory>
#include <optional>

#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/serving/listen_address.h"
#include "kmi_host/serving/page_publisher.h"
#include "kmi_host/serving/page_server.h"

namespace kmi::emu {

struct ServedPage {
    PageServerHandle server;
    PagePublisher publisher;
    bool follow = false;
};

// Starts serving the page (with the charting library, when found) and prints its address on
// stdout, with who else can open it on stderr. Throws InputError naming --serve.
std::unique_ptr<ServedPage> start_served_page(const ListenAddress& listen, const std::optional<ChartLibrary>& library,
                                              bool follow);

// After a replay that did not follow its files: serves the final page until Ctrl-C.
void serve_until_stopped(const ServedPage& served);

}  // namespace kmi::emu

#endif
