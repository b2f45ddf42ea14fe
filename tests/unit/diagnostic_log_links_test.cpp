// The log folder is open to every local user and the console commands run as
// administrator: a link, junction or second hard link planted where the log
// expects its file or folder must never carry the administrator's write,
// deletion or rights change to another object. And the stand-in's links must
// behave as Windows' do, or these tests would prove nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "log/diagnostic_log.h"
#include "test_log.h"
#include "inmemory/inmemory.h"

namespace {

const std::u16string Folder = u"C:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast";
const std::u16string DayFile = Folder + u"\\VelmorathisMirrowcast1.log";  // the machine's clock: a Monday
const std::u16string Victim = u"C:\\Windows\\win.ini";
const std::u16string VictimText = u"[fonts]\n";
constexpr std::uint64_t TenDaysAgo = 0;  // FILETIME 0: centuries ago, so "old" by any measure

class DiagnosticLogLinks : public ::testing::Test {
protected:
    void SetUp() override
    {
        inmemory::reset();
        inmemory::setParentConsole(true);
        inmemory::addFile(Victim, VictimText, TenDaysAgo);
        inmemory::addFolder(u"C:\\Windows\\Temp");
    }
};

}  // namespace

TEST_F(DiagnosticLogLinks, EntriesAreWrittenOnlyIntoTheLogsOwnFile)
{
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool written;            // the entry reached the day's file
        std::u16string created;  // a file that must not come into being ("" for none)
        std::u16string reached = DayFile;  // where the day's file really is
    };
    const Case cases[] = {
        {"an ordinary file", [] { inmemory::addFile(DayFile, u"", inmemory::now()); }, true, u""},
        {"no file yet", [] { inmemory::addFolder(Folder); }, true, u""},
        {"a symbolic link to another file", [] { inmemory::makeSymbolicLink(DayFile, Victim); }, false, u""},
        {"a symbolic link to a file not there yet",
         [] { inmemory::makeSymbolicLink(DayFile, u"C:\\Windows\\System32\\evil.dll"); }, false,
         u"C:\\Windows\\System32\\evil.dll"},
        {"a second name of another file", [] { inmemory::addHardLink(DayFile, Victim); }, false, u""},
        {"a junction in place of the file", [] { inmemory::makeJunction(DayFile, u"C:\\Windows\\Temp"); }, false,
         u""},
        {"a folder in place of the file", [] { inmemory::addFolder(DayFile); }, false, u""},
        {"a junction in place of the folder", [] { inmemory::makeJunction(Folder, u"C:\\Windows\\Temp"); }, false,
         u"C:\\Windows\\Temp\\VelmorathisMirrowcast1.log"},
        // The administrator's own link: application data moved to another drive.
        {"application data behind a junction",
         [] {
             inmemory::addFolder(u"D:\\ProgramData");
             inmemory::makeJunction(u"C:\\ProgramData", u"D:\\ProgramData");
         },
         true, u"", u"D:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast\\VelmorathisMirrowcast1.log"},
    };
    for (const Case& c : cases) {
        SetUp();
        inmemory::addFolder(u"C:\\Windows\\System32");
        c.plant();
        {
            TestLog log;
            ASSERT_TRUE(log.isOn()) << c.what;
            EXPECT_EQ(log.print(u"%s=%s\n", u"action", u"answercall"), 1) << c.what;
            EXPECT_EQ(inmemory::consoleOutput(), u"action=answercall\n") << "the console always gets it: " << c.what;
        }
        EXPECT_EQ(inmemory::fileText(Victim), VictimText) << c.what;
        EXPECT_EQ(inmemory::fileText(c.reached).find(u"] action=answercall\n") != std::u16string::npos, c.written)
            << c.what;
        if (!c.created.empty()) {
            EXPECT_FALSE(inmemory::fileExists(c.created)) << c.what;
        }
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }
}

TEST_F(DiagnosticLogLinks, ExpiryDeletesOnlyTheLogsOwnOldFile)
{
    const std::u16string OldLog = u"C:\\Windows\\Temp\\VelmorathisMirrowcast1.log";
    struct Case {
        const char* what;
        std::function<void()> plant;
        std::u16string mustStay;  // "" when the day's own old file is to go
    };
    const Case cases[] = {
        {"an ordinary old file", [] { inmemory::addFile(DayFile, u"old\n", TenDaysAgo); }, u""},
        {"a symbolic link to an old file", [] { inmemory::makeSymbolicLink(DayFile, Victim); }, Victim},
        {"a second name of an old file", [] { inmemory::addHardLink(DayFile, Victim); }, Victim},
        {"a junction in place of the folder",
         [&OldLog] {
             inmemory::addFile(OldLog, u"old\n", TenDaysAgo);
             inmemory::makeJunction(Folder, u"C:\\Windows\\Temp");
         },
         OldLog},
    };
    for (const Case& c : cases) {
        SetUp();
        c.plant();
        { const TestLog log; }
        if (c.mustStay.empty()) {
            EXPECT_FALSE(inmemory::fileExists(DayFile)) << c.what;
        } else {
            EXPECT_TRUE(inmemory::fileExists(c.mustStay)) << c.what;
            EXPECT_EQ(inmemory::fileText(c.mustStay).empty(), false) << c.what;
        }
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }
}

TEST_F(DiagnosticLogLinks, NewFolderSwappedForAJunctionDoesNotOpenItsTargetToUsers)
{
    // The folder is created, then, before its rights are changed, another
    // user puts a junction to a system folder in its place.
    inmemory::beforeCall("CreateFileW", [] { inmemory::makeJunction(Folder, u"C:\\Windows"); }, 2);
    const TestLog log;
    EXPECT_FALSE(inmemory::usersGrantedFullAccess(u"C:\\Windows"));
    EXPECT_EQ(inmemory::consoleOutput(), u"Warning: unable to set user permissions on log folder\n");
    EXPECT_EQ(inmemory::openHandleCount(), 0u);
    EXPECT_EQ(inmemory::outstandingAllocations(), 0u);

    inmemory::reset();  // and without the swap the folder is opened to Users
    { const TestLog plain; }
    EXPECT_TRUE(inmemory::usersGrantedFullAccess(Folder));
}

TEST_F(DiagnosticLogLinks, StandInLinksBehaveAsWindowsLinks)
{
    const std::u16string Link = u"C:\\Data\\link.log";
    const std::u16string Second = u"C:\\Data\\second.log";
    inmemory::addFolder(u"C:\\Data");
    inmemory::makeSymbolicLink(Link, Victim);
    inmemory::addHardLink(Second, Victim);

    auto info = [](const std::u16string& path, win::DWORD flags, win::BY_HANDLE_FILE_INFORMATION& out) {
        const win::HANDLE h = win::CreateFileW(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ,
                                               win::OPEN_EXISTING, flags);
        EXPECT_NE(h, win::INVALID_HANDLE_VALUE);
        char16_t final[300] = {};
        EXPECT_TRUE(win::GetFileInformationByHandle(h, &out));
        win::GetFinalPathNameByHandleW(h, final, 300, 0);
        win::CloseHandle(h);
        return std::u16string(final);
    };
    win::BY_HANDLE_FILE_INFORMATION followed{};
    win::BY_HANDLE_FILE_INFORMATION itself{};
    win::BY_HANDLE_FILE_INFORMATION second{};
    EXPECT_EQ(info(Link, 0, followed), u"\\\\?\\" + Victim) << "an open follows a symbolic link";
    EXPECT_EQ(info(Link, win::FILE_FLAG_OPEN_REPARSE_POINT, itself), u"\\\\?\\" + Link);
    EXPECT_NE(itself.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(followed.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(info(Second, 0, second), u"\\\\?\\" + Second) << "a hard link is a name of its own";
    EXPECT_EQ(second.nNumberOfLinks, 2u);
    EXPECT_EQ(followed.nNumberOfLinks, 2u);

    // Writing through either name changes the one file.
    const win::HANDLE writer = win::CreateFileW(Second.c_str(), win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0);
    win::WriteFile(writer, u"x", 2, nullptr);
    EXPECT_EQ(win::CreateFileW(Victim.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0),
              win::INVALID_HANDLE_VALUE)
        << "share modes hold across names";
    win::CloseHandle(writer);
    EXPECT_EQ(inmemory::fileText(Victim), VictimText + u"x");

    // DeleteFileW removes the name it is given, never a link's target.
    EXPECT_TRUE(win::DeleteFileW(Link.c_str()));
    EXPECT_TRUE(win::DeleteFileW(Victim.c_str()));
    EXPECT_FALSE(inmemory::fileExists(Link));
    EXPECT_EQ(inmemory::fileText(Second), VictimText + u"x") << "the contents live on under the other name";

    // A junction among the folders is always followed; a folder or junction is
    // not deleted by DeleteFileW.
    inmemory::makeJunction(u"C:\\Jump", u"C:\\Data");
    EXPECT_TRUE(win::PathFileExistsW(u"C:\\Jump\\second.log"));
    EXPECT_FALSE(win::DeleteFileW(u"C:\\Jump"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);

    // Deleting a file that is open sharing deletion marks it; it goes with
    // its last handle, and cannot be opened meanwhile.
    const win::HANDLE open = win::CreateFileW(Second.c_str(), win::GENERIC_READ,
                                              win::FILE_SHARE_READ | win::FILE_SHARE_DELETE, win::OPEN_EXISTING, 0);
    EXPECT_TRUE(win::DeleteFileW(u"C:\\Jump\\second.log"));
    EXPECT_EQ(win::CreateFileW(Second.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0),
              win::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(inmemory::fileExists(Second));
    win::CloseHandle(open);
    EXPECT_FALSE(inmemory::fileExists(Second));

    // Links that go round in circles end the open instead of the program.
    inmemory::makeSymbolicLink(u"C:\\Data\\a", u"C:\\Data\\b");
    inmemory::makeSymbolicLink(u"C:\\Data\\b", u"C:\\Data\\a");
    EXPECT_EQ(win::CreateFileW(u"C:\\Data\\a", win::GENERIC_READ, 0, win::OPEN_EXISTING, 0),
              win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_CANT_RESOLVE_FILENAME);

    // Attributes need FILE_READ_ATTRIBUTES, as the log's append-only open learns.
    const win::HANDLE appendOnly =
        win::CreateFileW(u"C:\\Data\\plain.log", win::FILE_APPEND_DATA, 0, win::OPEN_ALWAYS, 0);
    win::BY_HANDLE_FILE_INFORMATION refused{};
    EXPECT_FALSE(win::GetFileInformationByHandle(appendOnly, &refused));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    win::CloseHandle(appendOnly);
    EXPECT_EQ(inmemory::openHandleCount(), 0u);
}
