// The log folder is open to every local user and the console commands run as
// administrator: a link, junction or second hard link planted where the log
// expects its file or folder must never carry the administrator's write,
// deletion or rights change to another object. And the stand-in's links must
// behave as Windows' do, or these tests would prove nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "test_log.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

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
        std::u16string reached = DayLogFile;  // where the day's file really is
    };
    const Case cases[] = {
        {"an ordinary file", [] { inmemory::addFile(DayLogFile, u"", inmemory::now()); }, true, u""},
        {"no file yet", [] { inmemory::addFolder(LogFolder); }, true, u""},
        {"a symbolic link to another file", [] { inmemory::makeSymbolicLink(DayLogFile, Victim); }, false, u""},
        {"a symbolic link to a file not there yet",
         [] { inmemory::makeSymbolicLink(DayLogFile, u"C:\\Windows\\System32\\evil.dll"); }, false,
         u"C:\\Windows\\System32\\evil.dll"},
        {"a second name of another file", [] { inmemory::addHardLink(DayLogFile, Victim); }, false, u""},
        {"a junction in place of the file", [] { inmemory::makeJunction(DayLogFile, u"C:\\Windows\\Temp"); }, false,
         u""},
        {"a folder in place of the file", [] { inmemory::addFolder(DayLogFile); }, false, u""},
        {"a junction in place of the folder", [] { inmemory::makeJunction(LogFolder, u"C:\\Windows\\Temp"); }, false,
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
        {"an ordinary old file", [] { inmemory::addFile(DayLogFile, u"old\n", TenDaysAgo); }, u""},
        {"a symbolic link to an old file", [] { inmemory::makeSymbolicLink(DayLogFile, Victim); }, Victim},
        {"a second name of an old file", [] { inmemory::addHardLink(DayLogFile, Victim); }, Victim},
        {"a junction in place of the folder",
         [&OldLog] {
             inmemory::addFile(OldLog, u"old\n", TenDaysAgo);
             inmemory::makeJunction(LogFolder, u"C:\\Windows\\Temp");
         },
         OldLog},
    };
    for (const Case& c : cases) {
        SetUp();
        c.plant();
        { const TestLog log; }
        if (c.mustStay.empty()) {
            EXPECT_FALSE(inmemory::fileExists(DayLogFile)) << c.what;
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
    inmemory::beforeCall("openFile", [] { inmemory::makeJunction(LogFolder, u"C:\\Windows"); }, 2);
    { const TestLog log; }
    EXPECT_TRUE(inmemory::folderAccess(u"C:\\Windows").empty());
    EXPECT_EQ(inmemory::consoleOutput(), u"Warning: unable to set user permissions on log folder\n");
    EXPECT_EQ(inmemory::openHandleCount(), 0u);

    inmemory::reset();  // and without the swap the folder gets its list
    { const TestLog plain; }
    EXPECT_FALSE(inmemory::folderAccess(LogFolder).empty());
}
