// A hostile charting host for the study: it decodes a fuzz input (fuzz_input.h) into a
// sequence of host situations and calls, runs the study through its exported entry, and
// checks the study's promises after every call. Used by the libFuzzer target
// (study_fuzzer.cpp) and by the test that replays the seed corpus in the ordinary builds.
#ifndef KMI_FUZZ_FUZZ_HARNESS_H
#define KMI_FUZZ_FUZZ_HARNESS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kmi::fuzz {

struct FuzzOutcome {
    bool ok = true;
    std::string failure;  // the first broken promise, when not ok
    int study_calls = 0;  // calls of the study function made for the input
};

// Runs one input from start to end, with a fresh host, instance and heap balance. The
// input always ends with the study's last call and the host releasing its own texts.
FuzzOutcome run_fuzz_input(const std::uint8_t* data, std::size_t size);

}  // namespace kmi::fuzz

#endif
