// libFuzzer entry for kmi-host's bar-file reader: every input is an option set and the bytes
// of a file (fuzz/bar_file_check.h); a broken promise of the reader aborts with its
// description, so libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/bar_file_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kmi::fuzz::BarFileOutcome outcome = kmi::fuzz::check_bar_file_input(data, size);
    if (!outcome.ok) {
        std::fprintf(stderr, "bar-file reader promise broken: %s\n", outcome.failure.c_str());
        std::abort();
    }
    return 0;
}
