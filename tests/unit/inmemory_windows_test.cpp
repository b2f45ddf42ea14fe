// The in-memory Windows behaves as the real one does where the program relies
// on it: a wrong stand-in would let wrong code pass every other host test.
#include <gtest/gtest.h>

#include <string>

#include "inmemory/inmemory.h"

namespace {

class InMemoryWindows : public ::testing::Test {
protected:
    void SetUp() override { inmemory::reset(); }
};

const std::u16string Log = u"C:\\ProgramData\\x.log";

}  // namespace

TEST_F(InMemoryWindows, ShareModesDecideWhichOpensMayCoexist)
{
    const win::HANDLE writer = win::CreateFileW(Log.c_str(), win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0);
    ASSERT_NE(writer, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::CreateFileW(Log.c_str(), win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0), win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(win::CreateFileW(Log.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0),
              win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(win::DeleteFileW(Log.c_str()));
    win::CloseHandle(writer);

    const win::HANDLE reader = win::CreateFileW(Log.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0);
    ASSERT_NE(reader, win::INVALID_HANDLE_VALUE);
    const win::HANDLE second = win::CreateFileW(Log.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0);
    EXPECT_NE(second, win::INVALID_HANDLE_VALUE) << "two readers that both share reading";
    EXPECT_EQ(win::CreateFileW(Log.c_str(), win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0), win::INVALID_HANDLE_VALUE);
    win::CloseHandle(second);
    win::CloseHandle(reader);
    EXPECT_EQ(inmemory::openHandleCount(), 0u);
    EXPECT_FALSE(win::CloseHandle(reader)) << "a handle closes once";
}

TEST_F(InMemoryWindows, AppendOpenCreatesThenAppendsAndStampsTheWriteTime)
{
    EXPECT_EQ(win::CreateFileW(u"C:\\Missing\\x.log", win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0),
              win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
    for (const char16_t* part : {u"ab", u"cd"}) {
        const win::HANDLE h = win::CreateFileW(Log.c_str(), win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0);
        win::DWORD written = 0;
        EXPECT_TRUE(win::WriteFile(h, part, 4, &written));
        EXPECT_EQ(written, 4u);
        win::CloseHandle(h);
        win::Sleep(1000);
    }
    EXPECT_EQ(inmemory::fileText(Log), u"abcd");
    EXPECT_EQ(inmemory::fileLastWrite(Log), inmemory::now() - inmemory::TicksPerSecond);
    const win::HANDLE reader = win::CreateFileW(Log.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0);
    win::DWORD written = 0;
    EXPECT_FALSE(win::WriteFile(reader, u"x", 2, &written)) << "opened for reading only";
    win::CloseHandle(reader);
}

TEST_F(InMemoryWindows, ClockConvertsDatesAndSleepRunsScheduledChangesInOrder)
{
    win::SYSTEMTIME t{};
    win::GetSystemTime(&t);
    EXPECT_EQ(t.wYear, 2026);
    EXPECT_EQ(t.wMonth, 12);
    EXPECT_EQ(t.wDay, 7);
    EXPECT_EQ(t.wDayOfWeek, 1) << "2026-12-07 is a Monday";
    inmemory::setNow(2024, 2, 29, 23, 59, 59);
    win::GetSystemTime(&t);
    win::FILETIME ft{};
    ASSERT_TRUE(win::SystemTimeToFileTime(&t, &ft));
    win::SYSTEMTIME back{};
    ASSERT_TRUE(win::FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4) << "a Thursday";
    t.wMonth = 13;
    EXPECT_FALSE(win::SystemTimeToFileTime(&t, &ft));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);

    std::vector<int> order;
    const std::uint64_t start = inmemory::now();
    inmemory::at(start + 2'000'000, [&] { order.push_back(2); });
    inmemory::at(start + 1'000'000, [&] { order.push_back(1); });
    inmemory::at(start + 9'000'000, [&] { order.push_back(9); });
    win::Sleep(250);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(inmemory::now(), start + 2'500'000);
    EXPECT_EQ(inmemory::totalSleptMs(), 250u);
}

TEST_F(InMemoryWindows, FaultsHitTheChosenCallsOnly)
{
    inmemory::failCall("DeleteFileW", win::ERROR_ACCESS_DENIED, 2, 2);
    inmemory::addFile(Log, u"x", 0);
    const bool results[] = {win::DeleteFileW(u"C:\\none") != 0, win::DeleteFileW(Log.c_str()) != 0,
                            win::DeleteFileW(Log.c_str()) != 0, win::DeleteFileW(Log.c_str()) != 0};
    EXPECT_FALSE(results[0]);
    EXPECT_EQ(results[1], false);
    EXPECT_EQ(results[2], false);
    EXPECT_TRUE(results[3]) << "the fourth call is past the planned two";

    inmemory::failCallNumber(2, 87);
    win::SYSTEMTIME t{};
    win::GetSystemTime(&t);
    win::FILETIME ft{};
    EXPECT_FALSE(win::SystemTimeToFileTime(&t, &ft));
    EXPECT_EQ(win::GetLastError(), 87u);
    EXPECT_TRUE(win::SystemTimeToFileTime(&t, &ft));
}

TEST_F(InMemoryWindows, RegistryReadsFollowTheTypeAndSizeRules)
{
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_CLASSES_ROOT, u"Scheme\\shell\\open\\command", 0, win::KEY_SET_VALUE, &key,
                                   nullptr),
              0);
    const char16_t text[] = u"abc";
    EXPECT_EQ(win::RegSetValueExW(key, nullptr, win::REG_SZ, reinterpret_cast<const win::BYTE*>(text), 6), 0)
        << "stored without its terminator";
    win::RegCloseKey(key);
    EXPECT_TRUE(inmemory::keyExists(u"HKCR\\Scheme\\shell"));

    char16_t buffer[8] = {};
    win::DWORD size = 6;
    EXPECT_EQ(win::RegGetValueW(win::HKEY_CLASSES_ROOT, u"Scheme\\shell\\open\\command", nullptr, win::RRF_RT_REG_SZ,
                                nullptr, buffer, &size),
              static_cast<win::LSTATUS>(win::ERROR_MORE_DATA))
        << "a string comes out terminated, and needs the room for it";
    size = 8;
    EXPECT_EQ(win::RegGetValueW(win::HKEY_CLASSES_ROOT, u"scheme\\SHELL\\open\\command", nullptr, win::RRF_RT_REG_SZ,
                                nullptr, buffer, &size),
              0);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(size, 8u);
    size = 4;
    EXPECT_EQ(win::RegGetValueW(win::HKEY_CLASSES_ROOT, u"Scheme\\shell\\open\\command", nullptr, win::RRF_RT_REG_DWORD,
                                nullptr, buffer, &size),
              static_cast<win::LSTATUS>(win::ERROR_UNSUPPORTED_TYPE));

    win::HKEY readOnly = nullptr;
    ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_CLASSES_ROOT, u"Scheme", 0, win::KEY_QUERY_VALUE, &readOnly), 0);
    EXPECT_EQ(win::RegSetValueExW(readOnly, u"x", win::REG_SZ, nullptr, 0),
              static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
    win::RegCloseKey(readOnly);

    inmemory::denyRegistryWrite(u"HKCR\\Scheme");
    EXPECT_EQ(win::RegDeleteTreeW(win::HKEY_CLASSES_ROOT, u"Scheme"), static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
    EXPECT_EQ(inmemory::openKeyCount(), 0u);
}

TEST_F(InMemoryWindows, VolatileKeysVanishAtLogOffAndTreesDeleteWhole)
{
    win::HKEY parent = nullptr;
    win::HKEY cache = nullptr;
    ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_CURRENT_USER, u"SOFTWARE\\V\\M", win::REG_OPTION_NON_VOLATILE, 6, &parent,
                                   nullptr),
              0);
    ASSERT_EQ(win::RegCreateKeyExW(parent, u"Volatile", win::REG_OPTION_VOLATILE, win::KEY_SET_VALUE, &cache, nullptr),
              0);
    win::RegCloseKey(parent);
    const win::DWORD handle = 0x1234;
    win::RegSetValueExW(cache, u"MainTeamsApp", win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&handle), 4);
    win::RegCloseKey(cache);
    EXPECT_TRUE(inmemory::keyIsVolatile(u"HKCU\\SOFTWARE\\V\\M\\Volatile"));
    inmemory::logOff();
    EXPECT_TRUE(inmemory::keyExists(u"HKCU\\SOFTWARE\\V\\M"));
    EXPECT_FALSE(inmemory::keyExists(u"HKCU\\SOFTWARE\\V\\M\\Volatile"));

    inmemory::setStringValue(u"HKCR\\Scheme\\DefaultIcon", u"", u"x");
    EXPECT_EQ(win::RegDeleteTreeW(win::HKEY_CLASSES_ROOT, u"Scheme"), 0);
    EXPECT_FALSE(inmemory::keyExists(u"HKCR\\Scheme\\DefaultIcon"));
    EXPECT_EQ(win::RegDeleteTreeW(win::HKEY_CLASSES_ROOT, u"Scheme"), static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
}

TEST_F(InMemoryWindows, DesktopEnumeratesByZOrderAndWindowsObeyPostedCommands)
{
    const win::DWORD teams = inmemory::addProcess(u"\\Device\\HarddiskVolume1\\Apps\\Teams.exe");
    const win::HWND bottom = inmemory::addWindow({u"Chrome_WidgetWin_1", u"bottom", true, false, teams});
    inmemory::addWindow({u"Other", u"other class", true, false, teams});
    const win::HWND top = inmemory::addWindow({u"Chrome_WidgetWin_1", u"top", false, false, teams});

    EXPECT_EQ(win::FindWindowExW(nullptr, nullptr, u"Chrome_WidgetWin_1", nullptr), top);
    EXPECT_EQ(win::FindWindowExW(nullptr, top, u"Chrome_WidgetWin_1", nullptr), bottom);
    EXPECT_EQ(win::FindWindowExW(nullptr, bottom, u"Chrome_WidgetWin_1", nullptr), nullptr);
    EXPECT_FALSE(win::IsWindowVisible(top));

    win::PostMessageW(bottom, win::WM_SYSCOMMAND, win::SC_MINIMIZE, 0);
    EXPECT_NE(win::GetWindowLongW(bottom, win::GWL_STYLE) & win::WS_MINIMIZE, 0);
    win::PostMessageW(bottom, win::WM_SYSCOMMAND, win::SC_CLOSE, 0);
    EXPECT_FALSE(inmemory::windowExists(bottom));
    win::DWORD pid = 77;
    EXPECT_EQ(win::GetWindowThreadProcessId(bottom, &pid), 0u);
    EXPECT_EQ(pid, 77u) << "left alone for a window that is gone";
    EXPECT_EQ(inmemory::postedMessages().size(), 2u);

    const win::HANDLE process = win::OpenProcess(win::PROCESS_QUERY_LIMITED_INFORMATION, win::FALSE, teams);
    char16_t image[16];
    EXPECT_EQ(win::K32GetProcessImageFileNameW(process, image, 16), 0u);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    win::CloseHandle(process);
    inmemory::denyProcessAccess(teams);
    EXPECT_EQ(win::OpenProcess(win::PROCESS_QUERY_LIMITED_INFORMATION, win::FALSE, teams), nullptr);
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
}
