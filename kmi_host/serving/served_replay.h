// replay --serve: the chart page's server, started before the replay reads any file (an
// address or port that cannot be had is told first), fed after every study call, and, after a
// replay that does not follow its files, serving the final page until Ctrl-C.
#ifndef KMI_HOST_SERVING_SERVED_REPLAY_H
#define KMI_HOST_SERVING_SERVED_REPLAY_H

#include <filesystem>
#include <memory>
#include <string>

#include "kmi_host/replay/replay.h"
#include "kmi_host/serving/page_publisher.h"
#include "kmi_host/serving/page_server.h"

namespace kmi::emu {

struct ServedReplay {
    PageServerHandle server;
    PagePublisher publisher;
    bool follow = false;
};

// Starts serving the page (the library looked for from `program_folder`) at --serve's
// [ADDRESS:]PORT and prints its address on stdout, with who else can open it on stderr.
// Throws InputError naming --serve.
std::unique_ptr<ServedReplay> start_served_replay(const std::string& listen,
                                                  const std::filesystem::path& program_folder, bool follow);

// The hooks' after_call then hands each call's change to the page (on the study's thread,
// never waiting on the network).
void serve_study_calls(ServedReplay& served, ReplayHooks& hooks);

// The replay's end: the page as it ended.
void serve_outcome(ServedReplay& served, const ReplayOutcome& outcome);

// After a replay that did not follow its files: serves the final page until Ctrl-C.
void serve_until_stopped(const ServedReplay& served);

}  // namespace kmi::emu

#endif
