// The fuzz harness (fuzz/fuzz_harness.cpp), a hostile host that checks the study's
// promises after every call, replayed over the fuzzer's seed corpus and over the inputs
// that once broke the study. So the ordinary, sanitizer and valgrind runs see every one
// of those host situations too, not only the fuzzing stage. The same for the bar-file
// reader's check (fuzz/bar_file_check.cpp) over its seed files and regressions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/bar_file_check.h"
#include "fuzz/fuzz_harness.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs_in(const fs::path& dir) {
    std::vector<fs::path> paths;
    if (!fs::is_directory(dir)) return paths;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::uint8_t> bytes_of(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

kmi::fuzz::FuzzOutcome replay(const fs::path& path) {
    const std::vector<std::uint8_t> bytes = bytes_of(path);
    return kmi::fuzz::run_fuzz_input(bytes.data(), bytes.size());
}

const fs::path corpus_dir = fs::path(KMI_FUZZ_DIR) / "corpus";
const fs::path regressions_dir = fs::path(KMI_FUZZ_DIR) / "regressions";

TEST(FuzzCorpus, EverySeedKeepsTheStudysPromisesAndMakesCalls) {
    const std::vector<fs::path> seeds = inputs_in(corpus_dir);
    ASSERT_GE(seeds.size(), 10u) << corpus_dir;
    for (const fs::path& seed : seeds) {
        const kmi::fuzz::FuzzOutcome outcome = replay(seed);
        EXPECT_TRUE(outcome.ok) << seed.filename() << ": " << outcome.failure;
        // A seed that decodes to almost no call would leave the fuzzer without a start.
        EXPECT_GE(outcome.study_calls, 4) << seed.filename();
    }
}

TEST(FuzzCorpus, InputsThatOnceBrokeTheStudyNoLongerDo) {
    for (const fs::path& input : inputs_in(regressions_dir)) {
        const kmi::fuzz::FuzzOutcome outcome = replay(input);
        EXPECT_TRUE(outcome.ok) << input.filename() << ": " << outcome.failure;
    }
}

TEST(FuzzCorpus, EmptyAndArbitraryBytesDecodeToSomething) {
    // Every byte sequence is an input: none may trip the harness itself.
    const std::vector<std::uint8_t> empty;
    EXPECT_TRUE(kmi::fuzz::run_fuzz_input(empty.data(), 0).ok);
    std::vector<std::uint8_t> bytes(3000);
    std::uint32_t state = 1;
    for (int round = 0; round < 20; ++round) {
        for (std::uint8_t& b : bytes) {
            state = state * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(state >> 16);
        }
        const kmi::fuzz::FuzzOutcome outcome = kmi::fuzz::run_fuzz_input(bytes.data(), bytes.size());
        EXPECT_TRUE(outcome.ok) << "round " << round << ": " << outcome.failure;
    }
}

kmi::fuzz::BarFileOutcome replay_bar_file(const fs::path& path) {
    const std::vector<std::uint8_t> bytes = bytes_of(path);
    return kmi::fuzz::check_bar_file_input(bytes.data(), bytes.size());
}

TEST(FuzzBarFileCorpus, EverySeedFileAndRegressionKeepsTheReadersPromises) {
    const fs::path dir = fs::path(KMI_FUZZ_DIR);
    const std::vector<fs::path> seeds = inputs_in(dir / "bar_file_corpus");
    // A missing or emptied corpus would pass here and leave the fuzzer without a start.
    ASSERT_GE(seeds.size(), 20u) << dir / "bar_file_corpus";
    for (const fs::path& seed : seeds) {
        const kmi::fuzz::BarFileOutcome outcome = replay_bar_file(seed);
        EXPECT_TRUE(outcome.ok) << seed.filename() << ": " << outcome.failure;
        // Each seed shows the reader a shape it reads, or, named so, one it refuses.
        const bool meant_refused = seed.filename().string().find("refused") != std::string::npos;
        EXPECT_EQ(outcome.refused, meant_refused) << seed.filename() << ": " << outcome.refusal;
        EXPECT_TRUE(meant_refused || outcome.bars >= 2) << seed.filename() << ": " << outcome.bars << " bars";
    }
    for (const fs::path& input : inputs_in(dir / "bar_file_regressions")) {
        const kmi::fuzz::BarFileOutcome outcome = replay_bar_file(input);
        EXPECT_TRUE(outcome.ok) << input.filename() << ": " << outcome.failure;
    }
}

}  // namespace
