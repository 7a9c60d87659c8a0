// The chart page served live (replay --serve): the changes a replay publishes rebuild the page
// it ends with, however they are merged, and each carries the session window and every alert
// so far whole; the server answers hostile requests with their status and goes on serving
// others; what it serves is its copy of the page after each change; event streams catch a page
// up from the bars it holds, and a client that stops reading is dropped without holding anyone
// up; slow and many clients lock no one out; a Host that may not mean this machine is refused;
// an address or port it cannot have is refused before any file is read.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "kmi_host/output_files/chart_page.h"
#include "kmi_host/output_files/series_files.h"
#include "kmi_host/replay/replay.h"
#include "kmi_host/serving/page_delta.h"
#include "kmi_host/serving/page_publisher.h"
#include "kmi_host/serving/page_server.h"
#include "kmi_host/text/input_error.h"
#include "kmi_host_support.h"
#include "page_server_client.h"
#include "study_host.h"

namespace kmi::test::host_program {
namespace {

// --- The page -----------------------------------------------------------------------------

// A page of `bars` one-minute bars from 09:30, each series valued by its index and the bar.
emu::ChartPageData page_of(int bars, float shift = 0.0f) {
    emu::ChartPageData page;
    page.study_name = "Fake Study";
    page.symbol = "ESZ26.CME";
    page.bar_seconds = 60;
    page.region_height_px = 600;
    for (int bar = 0; bar < bars; ++bar) {
        const auto price = static_cast<float>(6600 + bar) + shift;
        page.times.push_back(at(2026, 12, 2, 9, 30) + std::int64_t{60'000'000} * bar);
        page.open.push_back(price);
        page.high.push_back(price + 1.0f);
        page.low.push_back(price - 1.0f);
        page.close.push_back(price + 0.25f);
        page.volume.push_back(100.0f);
    }
    for (int k = 0; k < 20; ++k) {
        // Appended rather than "S" + std::string: GCC 12 at -O3 warns falsely (-Wrestrict) there.
        emu::PageSeries series{std::string("S").append(std::to_string(k)), 255, {}};
        for (int bar = 0; bar < bars; ++bar) series.values.push_back(static_cast<float>(k * 1000 + bar) + shift);
        page.series.push_back(series);
    }
    emu::PageDrawing drawing;
    drawing.line_number = 100;
    drawing.text = "bars " + std::to_string(bars);
    page.drawings.push_back(drawing);
    page.days.push_back(emu::PageDay{"2026-12-02", bars - 1});
    return page;
}

// The page's bars from `from` on as a change.
emu::PageDelta change_of(const emu::ChartPageData& page, std::int32_t from) {
    return emu::page_delta_since(page, page.drawings.front().text + "\n", from);
}

emu::PageServerHandle serve(const emu::LivePage& initial, std::size_t client_queue = 256) {
    emu::PageServerSettings settings;
    settings.listen = emu::parse_listen_address("127.0.0.1:0");
    settings.client_queue = client_queue;
    return emu::start_page_server(settings, initial);
}

emu::LivePage live_page_of(const emu::ChartPageData& page) { return emu::LivePage{page, "bars 3\n", {}}; }

// --- The study's side ---------------------------------------------------------------------

std::string days_text(const std::vector<emu::PageDay>& days) {
    std::string text;
    for (const emu::PageDay& day : days) text += day.date + "@" + std::to_string(day.bar) + " ";
    return text;
}

TEST(KmiHostServedPage, TheChangesAReplayPublishesRebuildThePageItEndsWith) {
    const char* const chart =
        "datetime,open,high,low,close,volume,bid_volume,ask_volume\n"
        "2026-12-01 09:30:00,10,12,9,11,100,40,60\n"
        "2026-12-01 15:59:00,11,13,10,12.25,100,40,60\n"
        "2026-12-02 09:30:00,12,12,8,9.1,100,60,40\n"
        "2026-12-02 09:31:00,9,10,8,9.5,100,60,40\n";
    TempFolder folder;
    write_text(folder / "ESZ26.CME.csv", chart);
    // Every call published, or only the first and the last (the calls between merged).
    for (const auto interval : {std::chrono::hours(0), std::chrono::hours(1)}) {
        emu::LivePage live;
        int published = 0;
        emu::PagePublisher publisher;
        publisher.interval = interval;
        publisher.publish = [&](emu::PageDelta delta) {
            ++published;
            emu::apply_page_delta(live, std::move(delta));
        };
        emu::ReplayHooks hooks;
        hooks.after_call = [&publisher](const emu::Host& host, const emu::ReplayStep& step) {
            emu::publish_after_call(publisher, host, step.from_bar, step.call >= step.calls_total);
        };
        emu::ReplayPlan plan = replay_plan(folder.path, "ESZ26.CME");
        plan.chart_page = false;
        const emu::ReplayOutcome outcome = emu::run_replay(fake_study, plan, hooks);
        SCOPED_TRACE(interval.count());
        EXPECT_EQ(published, interval.count() == 0 ? outcome.calls : 2);
        EXPECT_EQ(emu::series_csv(live.page), emu::series_csv(outcome.page));
        EXPECT_EQ(live.panel_text, outcome.panel_txt);
        ASSERT_EQ(live.page.drawings.size(), outcome.page.drawings.size());
        EXPECT_EQ(live.page.drawings[0].text, outcome.page.drawings[0].text);

        emu::publish_end(publisher, outcome.page, outcome.panel_txt);
        EXPECT_EQ(emu::series_csv(live.page), emu::series_csv(outcome.page)) << "the end adds no bar twice";
        EXPECT_EQ(live.page.live_version, published);
    }
}

TEST(KmiHostServedPage, SessionDaysOfAChangeContinueTheDaysBeforeIt) {
    using Days = std::vector<emu::PageDay>;
    struct Case {
        const char* what;
        Days tail;
        std::int32_t from;
        const char* expected;
    };
    const Days before{{"2026-12-01", 4}, {"2026-12-02", 9}};
    for (const Case& c : std::vector<Case>{
             {"the last day goes on", {{"2026-12-02", 11}}, 9, "2026-12-01@4 2026-12-02@11 "},
             {"a new day", {{"2026-12-03", 12}}, 10, "2026-12-01@4 2026-12-02@9 2026-12-03@12 "},
             {"a change before the last day's bar", {}, 7, "2026-12-01@4 "},
             {"everything again", {{"2026-12-01", 3}}, 0, "2026-12-01@3 "},
         }) {
        Days days = before;
        emu::merge_session_days(days, c.tail, c.from);
        EXPECT_EQ(days_text(days), c.expected) << c.what;
    }
}

// A change carries the session window and every alert so far, whole: the forming bar's early
// alert is replaced by the next change's alerts, and a page with no alert names none.
TEST(KmiHostServedPage, AChangeCarriesTheSessionWindowAndEveryAlertSoFarWhole) {
    const auto alert = [](std::int32_t bar, bool forming) {
        return emu::FiredAlert{bar, at(2026, 12, 2, 9, 30 + bar), "TICK <= -1000", "TICK", -1150.5f, forming};
    };
    const char* const closed =
        R"({"bar":1,"time":"2026-12-02 09:31:00","rule":"TICK <= -1000","series":"TICK","value":-1150.5,"forming":false})";
    struct Case {
        std::vector<emu::FiredAlert> alerts;
        std::string json;  // the change's "alerts", "" for none
    };
    emu::LivePage live = live_page_of(page_of(3));
    for (const Case& c : std::vector<Case>{
             {{alert(1, false), alert(3, true)},
              std::string("[") + closed + R"(,{"bar":3,"time":"2026-12-02 09:33:00",)" +
                  R"("rule":"TICK <= -1000","series":"TICK","value":-1150.5,"forming":true}])"},
             {{alert(1, false)}, std::string("[") + closed + "]"},
             {{}, ""},
         }) {
        emu::ChartPageData page = page_of(4);
        page.alerts = c.alerts;
        page.session_start_second = 30600;
        page.session_end_second = 55800;
        const emu::PageDelta change = change_of(page, 3);
        const Json sent = Json::parse(emu::page_delta_json(change, 1)).at("page");
        EXPECT_EQ(sent.at("session"), Json::parse(R"({"start_second": 30600, "end_second": 55800})"));
        EXPECT_EQ(sent.contains("alerts") ? emu::dump_compact(sent.at("alerts")) : "", c.json);
        emu::apply_page_delta(live, change);
        const Json held = Json::parse(emu::chart_page_json(live.page));
        EXPECT_EQ(held.value("alerts", Json()), sent.value("alerts", Json())) << c.alerts.size() << " alerts";
        EXPECT_EQ(held.at("session"), sent.at("session"));
    }
}

// --- The server ---------------------------------------------------------------------------

TEST(KmiHostPageServer, AnswersEveryRequestWithItsStatusAndGoesOnServing) {
    const emu::PageServerHandle server = serve(live_page_of(page_of(3)));
    const std::uint16_t port = emu::page_server_port(*server);
    ASSERT_NE(port, 0);
    EXPECT_EQ(emu::page_server_url(*server), "http://127.0.0.1:" + std::to_string(port) + "/");
    EXPECT_EQ(emu::page_server_reach(*server), "") << "loopback: no one else can reach it";
    // A client that connects and says nothing holds no one up.
    Socket silent;
    connect_to(silent, port);

    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    const std::string big(20000, 'a');
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    for (const Case& c : std::vector<Case>{
             {"the page", "GET / HTTP/1.1\r\n" + host + "\r\n", 200},
             {"panel.txt", "GET /panel.txt HTTP/1.1\r\n" + host + "\r\n", 200},
             {"series.csv, HTTP/1.0 without a host", "GET /series.csv HTTP/1.0\r\n\r\n", 200},
             {"a query", "GET /panel.txt?x=1 HTTP/1.1\r\n" + host + "\r\n", 200},
             {"HEAD", "HEAD /series.csv HTTP/1.1\r\n" + host + "\r\n", 200},
             {"garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03garbage\r\n\r\n", 22), 400},
             {"no version", "GET /\r\n\r\n", 400},
             {"a bad version", "GET / HTTX/1.1\r\n\r\n", 400},
             {"an absolute target", "GET http://example.com/ HTTP/1.1\r\n" + host + "\r\n", 400},
             {"a target without a slash", "GET panel.txt HTTP/1.1\r\n" + host + "\r\n", 400},
             {"alerts.csv", "GET /alerts.csv HTTP/1.1\r\n" + host + "\r\n", 200},
             {"a huge request line", "GET /" + big + " HTTP/1.1\r\n" + host + "\r\n", 431},
             {"a huge header", "GET / HTTP/1.1\r\n" + host + "X-Big: " + big + "\r\n\r\n", 431},
             {"a huge body", "GET / HTTP/1.1\r\n" + host + "Content-Length: 100000\r\n\r\n" + std::string(100000, 'b'),
              413},
             {"an unknown path", "GET /chart.html HTTP/1.1\r\n" + host + "\r\n", 404},
             {"a path up the tree", "GET /../etc/passwd HTTP/1.1\r\n" + host + "\r\n", 404},
             {"an encoded path up the tree", "GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\n" + host + "\r\n", 404},
             {"a path through a file", "GET /panel.txt/../series.csv HTTP/1.1\r\n" + host + "\r\n", 404},
             {"POST", "POST / HTTP/1.1\r\n" + host + "Content-Length: 2\r\n\r\nhi", 405},
             {"DELETE", "DELETE /panel.txt HTTP/1.1\r\n" + host + "\r\n", 405},
         }) {
        Socket client;
        connect_to(client, port);
        send_text(client, c.request);
        const bool head = c.request.rfind("HEAD", 0) == 0;
        const std::string response = read_response(client, head);
        EXPECT_EQ(status_of(response), c.status) << c.what << ": " << response.substr(0, 200);
        if (head) {
            EXPECT_EQ(body_of(response), "") << c.what;
        }
    }
    // Two requests on one connection, the second after a 404.
    Socket kept;
    connect_to(kept, port);
    send_text(kept, "GET /nothing HTTP/1.1\r\n" + host + "\r\n");
    EXPECT_EQ(status_of(read_response(kept)), 404);
    send_text(kept, "GET /panel.txt HTTP/1.1\r\n" + host + "\r\n");
    EXPECT_EQ(body_of(read_response(kept)), "bars 3\n");
}

TEST(KmiHostPageServer, ServesItsCopyOfThePageAsAChangeLeavesIt) {
    emu::ChartPageData initial = page_of(3);
    initial.alerts = {{1, initial.times[1], "replaced", "S0", 1.0f, false}};
    const emu::PageServerHandle server = serve(live_page_of(initial));
    const std::uint16_t port = emu::page_server_port(*server);
    // The last bar rewritten and two added, every value shifted; its alerts replace the page's.
    emu::ChartPageData changed = page_of(5, 0.5f);
    changed.alerts = {{2, changed.times[2], "TICK > 800", "S0", 812.0f, false},
                      {4, changed.times[4], "ADD < 0", "S1", -3.0f, true}};
    const emu::PageDelta change = change_of(changed, 2);
    emu::LivePage expected = live_page_of(initial);
    emu::apply_page_delta(expected, change);
    emu::publish_page_delta(*server, change);
    emu::wait_page_server_applied(*server);

    EXPECT_EQ(body_of(get(port, "/panel.txt")), expected.panel_text);
    EXPECT_EQ(expected.panel_text, "bars 5\n");
    const std::string series = body_of(get(port, "/series.csv"));
    EXPECT_EQ(series, emu::series_csv(expected.page));
    EXPECT_NE(series.find("2026-12-02 09:31:00,1,1001"), std::string::npos) << "bars before the change kept";
    EXPECT_NE(series.find("2026-12-02 09:32:00,2.5,1002.5"), std::string::npos) << "the change's bars taken";
    ASSERT_EQ(expected.page.alerts.size(), 2u) << "every alert of the change, forming ones included";
    EXPECT_EQ(body_of(get(port, "/alerts.csv")), "time,rule,value\n2026-12-02 09:32:00,TICK > 800,812\n");
    const std::string page = get(port, "/");
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("\"live\":{\"events\":\"/events\",\"version\":1}"), std::string::npos);
}

TEST(KmiHostPageServer, EventStreamsCatchUpAndAClientThatStopsReadingIsDroppedWithoutHoldingAnyoneUp) {
    const emu::PageServerHandle server = serve(live_page_of(page_of(3)), 4);
    const std::uint16_t port = emu::page_server_port(*server);
    emu::publish_page_delta(*server, change_of(page_of(4), 1));  // version 1 rewrote bars from 1 on
    emu::wait_page_server_applied(*server);

    // A page of version 1 holding 4 bars takes its last bar again; one of version 0, what
    // changed since, from bar 1.
    for (const auto& [query, from] : std::vector<std::pair<std::string, int>>{
             {"bars=4&version=1", 3}, {"bars=3&version=0", 1}, {"bars=0", 0}, {"bars=x&version=-1", 0}}) {
        Socket stream;
        connect_to(stream, port);
        send_text(stream, "GET /events?" + query + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
        std::string pending =
            read_until(stream, [](const std::string& text) { return text.find("\r\n\r\n") != std::string::npos; });
        EXPECT_NE(pending.find("Content-Type: text/event-stream"), std::string::npos) << query;
        const Json event = next_event(stream, pending);
        EXPECT_EQ(event.at("from_bar"), from) << query;
        EXPECT_EQ(event.at("version"), 1) << query;
        EXPECT_EQ(event.at("page").at("times").size(), 4u - static_cast<std::size_t>(from)) << query;
    }

    {
        Socket reader;
        connect_to(reader, port);
        send_text(reader, "GET /events?bars=4&version=1 HTTP/1.1\r\nHost: localhost\r\n\r\n");
        std::string pending;
        next_event(reader, pending);
        emu::publish_page_delta(*server, change_of(page_of(6), 3));
        const Json event = next_event(reader, pending);
        EXPECT_EQ(event.at("version"), 2);
        EXPECT_EQ(event.at("from_bar"), 3);
        EXPECT_EQ(event.at("page").at("drawings")[0].at("text"), "bars 6");
    }

    Socket stalled;
    connect_to(stalled, port, 4096);
    send_text(stalled, "GET /events?bars=0 HTTP/1.1\r\nHost: localhost\r\n\r\n");
    // Changes far beyond what the stalled client's connection holds, each sent on its own:
    // publishing never waits, and the client falls behind by more than its queue.
    const emu::ChartPageData big = page_of(3000);
    for (int k = 0; k < 30; ++k) {
        emu::publish_page_delta(*server, change_of(big, 0));
        emu::wait_page_server_applied(*server);
    }
    EXPECT_EQ(body_of(get(port, "/panel.txt")), "bars 3000\n") << "others are served";
    const std::string dropped = read_until(stalled, [](const std::string&) { return false; });
    EXPECT_LT(dropped.size(), std::size_t{30} * 3000 * 20 * 4) << "its stream ended before all the changes";
}

TEST(KmiHostPageServer, AnswersHostNamesThatMeanThisMachineAndThoseAllowedOnEveryAddress) {
    char machine[256] = {};
    ASSERT_EQ(gethostname(machine, sizeof machine - 1), 0);
    // Listening on loopback, on every address, and on every address with --allow-host.
    std::vector<emu::PageServerHandle> servers;
    for (const auto& [listen, allowed] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"127.0.0.1:0", {}}, {"0.0.0.0:0", {}}, {"0.0.0.0:0", {"Trading-Desk.LAN."}}}) {
        emu::PageServerSettings settings;
        settings.listen = emu::parse_listen_address(listen, allowed);
        servers.push_back(emu::start_page_server(settings, live_page_of(page_of(3))));
    }
    struct Case {
        const char* what;
        std::string headers;
        std::vector<int> statuses;  // of each server
    };
    for (const Case& c : std::vector<Case>{
             {"an IPv4 address and port", "Host: 127.0.0.1:8080\r\n", {200, 200, 200}},
             {"another address of the network", "Host: 192.168.1.20:8080\r\n", {200, 200, 200}},
             {"an IPv6 address", "Host: [::1]:8080\r\n", {200, 200, 200}},
             {"localhost, any case, a final dot", "Host: LocalHost.:8080\r\n", {200, 200, 200}},
             {"a name under .localhost", "Host: chart.localhost\r\n", {200, 200, 200}},
             {"the machine's name", "Host: " + std::string(machine) + "\r\n", {200, 200, 200}},
             {"a site's name", "Host: attacker.example\r\n", {403, 403, 403}},
             {"a site's name beginning with localhost", "Host: localhost.attacker.example\r\n", {403, 403, 403}},
             {"a name allowed", "Host: trading-desk.lan:8080\r\n", {403, 403, 200}},
             {"no host", "", {400, 400, 400}},
             {"two hosts", "Host: localhost\r\nHost: localhost\r\n", {400, 400, 400}},
             {"an empty host", "Host: \r\n", {400, 400, 400}},
             {"a host no name has", "Host: a b\r\n", {400, 400, 400}},
             {"an IPv6 address unclosed", "Host: [::1\r\n", {400, 400, 400}},
             {"a port that is no number", "Host: localhost:http\r\n", {400, 400, 400}},
         }) {
        for (std::size_t k = 0; k < servers.size(); ++k) {
            Socket client;
            connect_to(client, emu::page_server_port(*servers[k]));
            send_text(client, "GET /panel.txt HTTP/1.1\r\n" + c.headers + "\r\n");
            const std::string response = read_response(client);
            EXPECT_EQ(status_of(response), c.statuses[k]) << c.what << " on server " << k;
            if (c.statuses[k] == 403) {
                EXPECT_NE(body_of(response).find("--allow-host "), std::string::npos) << body_of(response);
            }
        }
    }
}

TEST(KmiHostPageServer, SlowAndManyClientsLockNoOneOut) {
    emu::PageServerSettings settings;
    settings.listen = emu::parse_listen_address("127.0.0.1:0");
    settings.request_timeout = std::chrono::milliseconds(200);
    {
        // A request that trickles in is dropped at its deadline, however often its bytes come.
        const emu::PageServerHandle server = emu::start_page_server(settings, live_page_of(page_of(3)));
        Socket slow;
        connect_to(slow, emu::page_server_port(*server));
        const std::string request = "GET /panel.txt HTTP/1.1\r\nHost: localhost\r\n\r\n";
        std::size_t sent = 0;
        while (sent < request.size() && !closed_by_server(slow, std::chrono::milliseconds(50)))
            send_text(slow, request.substr(sent++, 1));
        EXPECT_LT(sent, request.size());
    }
    // Slow requests that would hold their connections throughout: from two addresses, more than
    // each may hold and as many as the server holds, then from this client's own address.
    settings.request_timeout = std::chrono::minutes(1);
    settings.max_requests = 4;
    settings.requests_per_address = 2;
    settings.max_streams = 4;
    settings.streams_per_address = 2;
    const emu::PageServerHandle server = emu::start_page_server(settings, live_page_of(page_of(3)));
    const std::uint16_t port = emu::page_server_port(*server);
    const std::string events = "GET /events?bars=3&version=0 HTTP/1.1\r\nHost: localhost\r\n\r\n";
    Socket open_page;
    connect_to(open_page, port);
    send_text(open_page, events);
    std::string open_pending;
    EXPECT_EQ(next_event(open_page, open_pending).at("version"), 0);
    std::vector<Socket> flood(8);
    for (std::size_t k = 0; k < flood.size(); ++k) {
        if (k == 6) {
            EXPECT_EQ(status_of(get(port, "/panel.txt")), 200) << "another client is served";
        }
        connect_to(flood[k], port, 0, k < 6 ? (k % 2 == 0 ? "127.0.0.2" : "127.0.0.3") : "127.0.0.1");
        send_text(flood[k], "GET /series.csv HTTP/1.1\r\nHo");
    }
    Socket reconnected;
    connect_to(reconnected, port);
    send_text(reconnected, events);
    std::string reconnected_pending;
    EXPECT_EQ(next_event(reconnected, reconnected_pending).at("version"), 0) << "a page's stream gets in again";
    // Streams of another address, more than it may hold: its oldest make room, no one else's.
    std::vector<Socket> streams(3);
    std::vector<std::string> stream_pending(streams.size());
    for (std::size_t k = 0; k < streams.size(); ++k) {
        connect_to(streams[k], port, 0, "127.0.0.9");
        send_text(streams[k], events);
        next_event(streams[k], stream_pending[k]);
    }
    emu::publish_page_delta(*server, change_of(page_of(4), 3));
    EXPECT_EQ(next_event(open_page, open_pending).at("version"), 1);
    EXPECT_EQ(next_event(reconnected, reconnected_pending).at("version"), 1);
    EXPECT_EQ(next_event(streams[2], stream_pending[2]).at("version"), 1);
    EXPECT_TRUE(closed_by_server(streams[0], std::chrono::seconds(10)));
}

TEST(KmiHostPageServer, AnAddressOrPortItCannotHaveIsRefusedNamingTheOption) {
    const emu::PageServerHandle taken = serve(emu::LivePage{});
    const std::string in_use = "127.0.0.1:" + std::to_string(emu::page_server_port(*taken));
    for (const auto& [listen, message] : std::vector<std::pair<std::string, std::string>>{
             {in_use, "--serve " + in_use + ": port " + in_use.substr(10) + " is in use"},
             {"99999", "--serve 99999: the port must be a number from 0 to 65535"},
             {"somewhere:8080", "--serve somewhere:8080: \"somewhere\" is not an IP address"},
             {"::1:8080", "--serve ::1:8080: write an IPv6 address as [ADDRESS]:PORT"},
             {"192.0.2.1:0", "--serve 192.0.2.1:0: 192.0.2.1 is not an address of this machine"},
         }) {
        try {
            emu::PageServerSettings settings;
            settings.listen = emu::parse_listen_address(listen);
            emu::start_page_server(settings, emu::LivePage{});
            ADD_FAILURE() << listen << " was taken";
        } catch (const emu::InputError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what();
        }
    }
    // The program refuses before it reads any bar: the chart file named cannot be read.
    TempFolder folder;
    write_text(folder / "unreadable.csv", "no bars here\n");
    const ProgramRun run = run_program("replay --chart unreadable.csv --fast --serve " + in_use, folder.path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.rfind("kmi-host: --serve " + in_use + ": port", 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
    for (const auto& [options, message] : std::vector<std::pair<std::string, std::string>>{
             {"--serve 0 --allow-host trading-pc:8080", "kmi-host: --allow-host trading-pc:8080: not a host name"},
             {"--allow-host trading-pc.lan", "--allow-host requires --serve"}}) {
        const ProgramRun refused = run_program("replay --chart unreadable.csv --fast " + options, folder.path);
        EXPECT_NE(refused.exit_code, 0);
        EXPECT_NE(refused.err.find(message), std::string::npos) << refused.err;
    }
}

}  // namespace
}  // namespace kmi::test::host_program
