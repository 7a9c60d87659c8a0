#include "kmi_host/serving/served_page.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "kmi_host/following/stop_signal.h"
#include "kmi_host/terminal/console_output.h"

namespace kmi::emu {

std::unique_ptr<ServedPage> start_served_page(const ListenAddress& listen, const std::optional<ChartLibrary>& library,
                                              bool follow) {
    PageServerSettings settings;
    settings.listen = listen;
    settings.library = library;
    auto served = std::make_unique<ServedPage>();
    served->server = start_page_server(settings, LivePage{});
    served->follow = follow;
    PageServer& server = *served->server;
    served->publisher.publish = [&server](PageDelta delta) { publish_page_delta(server, std::move(delta)); };
    const std::string url = page_server_url(server);
    console_printf(stdout, "Serving the chart page at %s %s\n", url.c_str(),
                   follow ? "live while the files are followed, until Ctrl-C"
                          : "live during the replay, then the final page until Ctrl-C");
    std::fflush(stdout);
    const std::string reach = page_server_reach(server);
    if (!reach.empty()) console_printf(stderr, "kmi-host: %s\n", reach.c_str());
    return served;
}

void serve_until_stopped(const ServedPage& served) {
    if (served.follow) return;
    console_printf(stdout, "Serving the final page at %s until Ctrl-C\n", page_server_url(*served.server).c_str());
    std::fflush(stdout);
    catch_stop_signals();
    while (!wait_for_stop(std::chrono::hours(1))) {
    }
}

}  // namespace kmi::emu
