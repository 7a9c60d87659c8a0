// Test support: our host running the study in-process, and host date-times from
// calendar values.
#ifndef KMI_TESTS_STUDY_HOST_H
#define KMI_TESTS_STUDY_HOST_H

#include <chrono>
#include <cstdint>
#include <memory>

#include "kmi_host/host_core/host_core.h"
#include "study/study_call.h"
#include "study/study_state.h"

namespace kmi::test {

inline void study_entry(HostInterface* record) { kmi::run_study_call(*record); }

// The host date-time of a wall-clock time.
inline HostDateTime at(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0) {
    using namespace std::chrono;
    const auto days =
        sys_days(year_month_day(std::chrono::year(year), std::chrono::month(month), std::chrono::day(day))) -
        sys_days(year_month_day(std::chrono::year(1899), std::chrono::month(12), std::chrono::day(30)));
    return (static_cast<HostDateTime>(days.count()) * 86400 + hour * 3600 + minute * 60 + second) * 1000000;
}

// A chart of `count` bars of `bar_seconds`, starting at `first`, closes rising from 100.
inline emu::Chart chart_with_bars(std::int32_t number, const char* symbol, std::int32_t bar_seconds, HostDateTime first,
                                  int count) {
    emu::Chart chart = emu::make_chart(number, symbol, bar_seconds);
    for (int i = 0; i < count; ++i) {
        const auto price = static_cast<float>(100 + i);
        emu::append_bar(chart, emu::Bar{first + static_cast<HostDateTime>(i) * bar_seconds * 1000000, price,
                                        price + 1.0f, price - 1.0f, price + 0.5f, 10.0f, 4.0f, 6.0f});
    }
    return chart;
}

// Our host with the study on `chart`; on destruction the study gets its last call and the
// host frees its own values, so every test ends without leaks.
struct StudyHost {
    std::unique_ptr<emu::Host> host;

    explicit StudyHost(emu::Chart chart, std::int32_t study_id = 0)
        : host(emu::make_host(study_entry, std::move(chart), study_id)) {}
    StudyHost(const StudyHost&) = delete;
    StudyHost& operator=(const StudyHost&) = delete;
    ~StudyHost() { emu::close_host(*host); }

    emu::Host& operator*() { return *host; }
    emu::Host* operator->() { return host.get(); }
    StudyState* state() {
        const auto it = host->study.pointers.find(state_pointer_key);
        return it == host->study.pointers.end() ? nullptr : static_cast<StudyState*>(it->second);
    }
    void defaults() { emu::call_study(*host, emu::CallKind::defaults); }
    void full() { emu::call_study(*host, emu::CallKind::full); }
    void update(std::int32_t start_index) { emu::call_study(*host, emu::CallKind::update, start_index); }
    void last() { emu::call_study(*host, emu::CallKind::last); }
};

}  // namespace kmi::test

#endif
