// What one scan of the Teams windows and one call window lookup cost over a
// desktop of 10, 100 and 1,000 top-level windows, on the in-memory Windows of
// the host build. Every protocol URL pays for one scan, and an answer pays for
// a lookup on each 250 ms poll, so both must stay proportional to the number
// of windows.
//
//   build/bench/bench/window_scan_bench [--benchmark_min_time=0.2]   (bench/run builds it)
//
// The desktop is the worst case for both: the windows they look for are at
// the bottom of the z-order, below every other window of the same class.
// "layer_calls" counts the Windows functions one pass calls: the program's own
// share of the work, whatever the in-memory Windows costs to answer each one
// (it finds a window by walking its list, so its answers get slower as the
// desktop grows, where the real one looks a handle up directly).
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "log/diagnostic_log.h"
#include "test_log.h"
#include "teams/teams_window_scan.h"
#include "inmemory/inmemory.h"

namespace {

const std::u16string TeamsImage = u"\\Device\\HarddiskVolume3\\Users\\ann\\AppData\\Local\\Microsoft\\Teams\\Teams.exe";
const std::u16string BrowserImage = u"\\Device\\HarddiskVolume3\\Program Files\\Browser\\browser.exe";

// The in-memory Windows records every call it answers; a fresh machine now
// and then keeps that record from growing through a long run.
constexpr std::size_t CallRecordLimit = 1 << 20;

struct Desktop {
    std::optional<logging::DiagnosticLog> log;
    win::HWND callWindow = nullptr;

    explicit Desktop(int windows) { build(windows); }

    // Top first: the main window; browser pages (same window class, another
    // process) alternating with other people's call windows; the wanted call
    // window; the hidden call notification.
    void build(int windows)
    {
        inmemory::reset();
        log.emplace();
        const win::DWORD teams = inmemory::addProcess(TeamsImage);
        const win::DWORD browser = inmemory::addProcess(BrowserImage);
        add(teams, u"Chat | Microsoft Teams", true);
        for (int i = 0; i < windows - 3; ++i) {
            const std::u16string number = toText(i + 1);
            if (i % 2 == 0) {
                add(browser, u"Page " + number + u" - Browser", true);
            } else {
                add(teams, u"Call with Person " + number, true);
            }
        }
        callWindow = add(teams, u"Call with John Smith", true);
        add(teams, u"Microsoft Teams Notification", false);
    }

    static win::HWND add(win::DWORD process, const std::u16string& title, bool visible)
    {
        inmemory::WindowTraits traits;
        traits.title = title;
        traits.visible = visible;
        traits.processId = process;
        return inmemory::addWindowAtBottom(traits);
    }

    static std::u16string toText(int number)
    {
        const std::string digits = std::to_string(number);
        return std::u16string(digits.begin(), digits.end());
    }
};

void reportCalls(benchmark::State& state, std::size_t callsBefore)
{
    state.counters["layer_calls"] = static_cast<double>(inmemory::calls().size() - callsBefore);
}

void scan(benchmark::State& state)
{
    const int windows = static_cast<int>(state.range(0));
    Desktop desktop(windows);
    {
        const std::size_t before = inmemory::calls().size();
        const teams::TeamsWindowScan once = teams::scanTeamsWindows(*desktop.log);
        if (once.notificationWindow == nullptr) {
            state.SkipWithError("the scan did not find the notification window");
            return;
        }
        reportCalls(state, before);
    }
    for (auto _ : state) {
        const teams::TeamsWindowScan result = teams::scanTeamsWindows(*desktop.log);
        benchmark::DoNotOptimize(result.notificationWindow);
        if (inmemory::calls().size() > CallRecordLimit) {
            state.PauseTiming();
            desktop.build(windows);
            state.ResumeTiming();
        }
    }
}

void lookup(benchmark::State& state)
{
    const int windows = static_cast<int>(state.range(0));
    Desktop desktop(windows);
    std::optional<teams::TeamsWindowScan> result(teams::scanTeamsWindows(*desktop.log));
    {
        const std::size_t before = inmemory::calls().size();
        if (teams::findCallWindow(*result, u"John Smith", false) != desktop.callWindow) {
            state.SkipWithError("the lookup did not find John Smith's call window");
            return;
        }
        reportCalls(state, before);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(teams::findCallWindow(*result, u"John Smith", false));
        if (inmemory::calls().size() > CallRecordLimit) {
            state.PauseTiming();
            desktop.build(windows);
            result.emplace(teams::scanTeamsWindows(*desktop.log));
            state.ResumeTiming();
        }
    }
}

}  // namespace

BENCHMARK(scan)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(lookup)->Arg(10)->Arg(100)->Arg(1000);

BENCHMARK_MAIN();
