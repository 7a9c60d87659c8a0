// libFuzzer entry: every input is a sequence of host situations and calls (fuzz_input.h);
// a broken promise of the study aborts with its description, so libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kmi::fuzz::FuzzOutcome outcome = kmi::fuzz::run_fuzz_input(data, size);
    if (!outcome.ok) {
        std::fprintf(stderr, "study promise broken: %s\n", outcome.failure.c_str());
        std::abort();
    }
    return 0;
}
