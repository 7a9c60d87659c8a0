// The study as a host loads it: the shared library's exports, its version check and its
// refusal of a host record of another layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host_text.h"
#include "kmi_host/host_core/study_library.h"
#include "study_host.h"

namespace kmi::test {
namespace {

struct LoadedStudy : ::testing::Test {
    emu::StudyLibrary library;
    void SetUp() override {
        std::string error;
        auto loaded = emu::load_study_library(KMI_STUDY_LIBRARY_PATH, error);
        ASSERT_TRUE(loaded.has_value()) << error;
        library = *loaded;
    }
    void TearDown() override { emu::unload_study_library(library); }
};

TEST_F(LoadedStudy, ExportsItsNameVersionAndStudyFunction) {
    EXPECT_STREQ(library.dll_name(), "Keelwick Market Internals");
    EXPECT_EQ(library.dll_version(), 2927);
}

TEST_F(LoadedStudy, RunsTheDefaultsAndLastCallsThroughTheHost) {
    auto host = emu::make_host(library.study_function, chart_with_bars(1, "ESZ26.CME", 60, at(2026, 12, 2, 9, 30), 5));
    EXPECT_TRUE(emu::call_study(*host, emu::CallKind::defaults));
    EXPECT_STREQ(host->study.study_name.data, "Keelwick Market Internals");
    EXPECT_STREQ(host->study.outputs[19].name.data, "Close minus VWAP");
    EXPECT_TRUE(emu::call_study(*host, emu::CallKind::full));
    EXPECT_TRUE(emu::state_is_set(*host));
    EXPECT_TRUE(emu::call_study(*host, emu::CallKind::last));
    EXPECT_FALSE(emu::state_is_set(*host));
    emu::destroy_host_values(*host);
}

TEST_F(LoadedStudy, RefusesAHostRecordOfAnotherLayoutAndWritesNothing) {
    auto host = emu::make_host(library.study_function, chart_with_bars(1, "ESZ26.CME", 60, at(2026, 12, 2, 9, 30), 5));
    // A host of another kind keeps its own values at every offset: not one byte may change.
    for (const auto& [size_delta, version_delta] : {std::pair{8, 0}, std::pair{0, 1}, std::pair{-8, 0}}) {
        HostInterface record;
        std::memset(&record, 0xA5, sizeof record);
        record.record_size = static_cast<std::uint32_t>(sizeof(HostInterface) + size_delta);
        record.layout_version = KMI_HOST_LAYOUT_VERSION + version_delta;
        record.is_defaults_call = 1;
        HostInterface before;
        std::memcpy(&before, &record, sizeof record);
        library.study_function(&record);
        EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0) << size_delta << " " << version_delta;
    }
    // Our host tells the refusal by a defaults call that declared nothing.
    auto refusing =
        emu::make_host([](HostInterface*) noexcept {}, chart_with_bars(1, "ESZ26.CME", 60, at(2026, 12, 2, 9, 30), 5));
    EXPECT_FALSE(emu::call_study(*refusing, emu::CallKind::defaults));
    EXPECT_TRUE(host->study.pointers.empty());
    emu::destroy_host_values(*host);
    emu::destroy_host_values(*refusing);
}

TEST(StudyLibraryLoading, NamesTheFileThatCannotBeLoaded) {
    std::string error;
    EXPECT_FALSE(emu::load_study_library("/nonexistent/KeelwickMarketInternals_64.so", error).has_value());
    EXPECT_NE(error.find("/nonexistent/KeelwickMarketInternals_64.so"), std::string::npos) << error;
}

}  // namespace
}  // namespace kmi::test
