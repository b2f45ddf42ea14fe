// A desktop for the Teams tests: a Teams process, a foreign process that uses
// the same window class, windows listed top of the z-order first, and the log
// as the support staff read it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "test_log.h"
#include "inmemory/inmemory.h"

namespace teams_test {

inline const std::u16string TeamsImage =
    u"\\Device\\HarddiskVolume3\\Users\\ann\\AppData\\Local\\Microsoft\\Teams\\current\\Teams.exe";
inline const std::u16string BrowserImage = u"\\Device\\HarddiskVolume3\\Program Files\\Browser\\browser.exe";
inline const std::u16string CacheKey = u"HKCU\\SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast\\Volatile";

// Flags of a listed window.
enum : unsigned { Visible = 0, Hidden = 1, Minimized = 2, Foreign = 4 };

class TeamsDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        inmemory::reset();
        forgetTeamsRecognition();  // a new run: the machine's policy is read afresh
        teams = inmemory::addProcess(TeamsImage);
        browser = inmemory::addProcess(BrowserImage);
    }

    // Below every window added so far, so a test lists windows top first.
    win::HWND window(const std::u16string& title, unsigned flags = Visible)
    {
        inmemory::WindowTraits traits;
        traits.title = title;
        traits.visible = (flags & Hidden) == 0;
        traits.minimized = (flags & Minimized) != 0;
        traits.processId = (flags & Foreign) != 0 ? browser : teams;
        return inmemory::addWindowAtBottom(traits);
    }

    // The texts written to today's file, without their time stamps.
    static std::vector<std::u16string> logLines(const DiagnosticLog& log)
    {
        std::vector<std::u16string> lines;
        const std::u16string text = inmemory::fileText(log.logPath);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find(u'\n', start);
            end = end == std::u16string::npos ? text.size() : end + 1;
            std::u16string line = text.substr(start, end - start);
            if (line.size() > 22 && line[0] == u'[') {
                line.erase(0, 22);  // "[YYYY-MM-DD hh:mm:ss] "
            }
            lines.push_back(line);
            start = end;
        }
        return lines;
    }

    // The cache entry as an earlier run would have left it.
    static void cacheEntry(win::HWND window, std::uint64_t stamp)
    {
        const auto handle = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
        std::vector<std::uint8_t> handleBytes;
        std::vector<std::uint8_t> stampBytes;
        for (int i = 0; i < 4; ++i) {
            handleBytes.push_back(static_cast<std::uint8_t>(handle >> (8 * i)));
        }
        for (int i = 0; i < 8; ++i) {
            stampBytes.push_back(static_cast<std::uint8_t>(stamp >> (8 * i)));
        }
        inmemory::setValue(CacheKey, u"MainTeamsApp", win::REG_DWORD, handleBytes);
        inmemory::setValue(CacheKey, u"MainTeamsApp/TimeStamp", win::REG_QWORD, stampBytes);
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
