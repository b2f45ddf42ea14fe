// A desktop for the Teams tests: a Teams process, a foreign process that uses
// the same window class, windows listed top of the z-order first, and the log
// as the support staff read it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "teams/teams_window_scan.h"
#include "test_log.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace teams_test {

// Flags of a listed window.
enum : unsigned { Visible = 0, Hidden = 1, Minimized = 2, Foreign = 4 };
struct Listed {
    std::u16string title;
    unsigned flags;
};

class TeamsDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        freshMachine();  // a new run, too: the machine's policy is read afresh
        teams = inmemory::addProcess(TeamsImage);
        browser = inmemory::addProcess(BrowserImage);
    }

    // Below every window added so far, so a test lists windows top first.
    win::HWND window(const std::u16string& title, unsigned flags = Visible)
    {
        return inmemory::addWindowAtBottom({.title = title,
                                            .visible = (flags & Hidden) == 0,
                                            .minimized = (flags & Minimized) != 0,
                                            .processId = (flags & Foreign) != 0 ? browser : teams});
    }

    // The windows of a table's row, below those added so far; its pick among
    // them (-1: none).
    std::vector<win::HWND> windows(const std::vector<Listed>& listed)
    {
        std::vector<win::HWND> handles;
        for (const Listed& w : listed) {
            handles.push_back(window(w.title, w.flags));
        }
        return handles;
    }
    static win::HWND picked(const std::vector<win::HWND>& handles, int pick)
    {
        return pick < 0 ? nullptr : handles[static_cast<std::size_t>(pick)];
    }

    // The texts written to today's file, line by line, without their time stamps.
    static std::vector<std::u16string> logLines(const DiagnosticLog& log)
    {
        std::vector<std::u16string> lines;
        const std::u16string text = withoutTimeStamps(inmemory::fileText(log.logPath));
        for (std::size_t start = 0, end = 0; start < text.size(); start = end) {
            end = std::min(text.find(u'\n', start), text.size() - 1) + 1;
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

    static std::u16string hex(win::HWND window)
    {
        char16_t out[16];
        util::formatString(out, u"%p", window);
        return out;
    }

    win::DWORD teams = 0;
    win::DWORD browser = 0;
};

}  // namespace teams_test
