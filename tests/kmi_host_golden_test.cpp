// Golden transcripts: a few representative scenarios whose transcripts are pinned byte for
// byte in tests/golden/host/NAME.transcript.jsonl. A change to one of those files is a
// change of behaviour. Regenerate them with
//   KMI_UPDATE_GOLDEN=1 kmi_tests --gtest_filter='KmiHostGolden*'
// and read the difference before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kmi_host/scenarios/scenario.h"
#include "kmi_host/scenarios/transcript.h"
#include "kmi_host_support.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

const std::filesystem::path golden_folder = std::filesystem::path(KMI_TEST_SOURCE_DIR) / "golden" / "host";

void check_golden(const std::string& name, emu::StudyFunction study_function) {
    const std::string transcript =
        emu::run_scenario(emu::load_scenario(golden_folder / (name + ".scenario.json")), study_function);
    const std::filesystem::path expected_file = golden_folder / (name + ".transcript.jsonl");
    const char* update = std::getenv("KMI_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        write_text(expected_file, transcript);
        GTEST_SKIP() << "rewrote " << expected_file;
    }
    ASSERT_TRUE(std::filesystem::exists(expected_file)) << expected_file << " is missing; run with KMI_UPDATE_GOLDEN=1";
    const std::string expected = read_text(expected_file);
    if (transcript == expected) return;
    // Name the first line that differs.
    std::istringstream want(expected), have(transcript);
    std::string want_line, have_line;
    for (int line = 1;; ++line) {
        const bool more_want = static_cast<bool>(std::getline(want, want_line));
        const bool more_have = static_cast<bool>(std::getline(have, have_line));
        if (!more_want && !more_have) break;
        if (want_line != have_line || more_want != more_have) {
            FAIL() << expected_file.filename() << " line " << line << "\nexpected: " << want_line
                   << "\n     got: " << have_line;
        }
    }
    FAIL() << "the transcripts differ in their line ends";
}

TEST(KmiHostGolden, FakeStudyThroughEveryKindOfStep) { check_golden("fake_study", fake_study); }

TEST(KmiHostGolden, TheStudysDeclarationsAndItsLastCallWithoutAState) { check_golden("study_defaults", study_entry); }

}  // namespace
}  // namespace kmi::test::host_program
