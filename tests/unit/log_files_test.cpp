// How the log makes, opens, writes and deletes its files, on the in-memory
// Windows: the log folders' access lists, expiry, a file another run holds or
// a viewer follows, one entry in one write.
//
// And links: the log folder is open to every local user and the console
// commands run as administrator: a link, junction or second hard link planted
// where the log expects its file or folder must never carry the
// administrator's write, deletion or rights change to another object. The
// stand-in's links must behave as Windows' do, or those tests would prove
// nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "program_run.h"
#include "test_log.h"
#include "texts.h"
#include "inmemory/inmemory.h"

namespace {

const std::u16string Warning = u"Warning: unable to set user permissions on log folder\n";

class LogFilesTest : public ::testing::Test {
protected:
    void SetUp() override { inmemory::reset(); }
};

std::u16string text(const std::u16string& path = DayLogFile) { return inmemory::fileText(path); }

const std::u16string Victim = u"C:\\Windows\\win.ini";
const std::u16string VictimText = u"[fonts]\n";
constexpr std::uint64_t TenDaysAgo = 0;  // FILETIME 0: centuries ago, so "old" by any measure

class LogFilesLinks : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }

    // A fresh machine with a file worth protecting, for each row of a table too.
    void fresh()
    {
        inmemory::reset();
        inmemory::setParentConsole(true);
        inmemory::addFile(Victim, VictimText, TenDaysAgo);
        inmemory::addFolder(u"C:\\Windows\\Temp");
    }
};

}  // namespace

TEST_F(LogFilesTest, OnlyFoldersTheRunCreatesGetTheirListsAndWeakerListsAreReported)
{
    using inmemory::FolderList;
    const FolderList none{};  // what it inherits
    const auto own = [](const FolderList& list) { return [list] { inmemory::setFolderAccess(LogFolder, list); }; };
    constexpr win::DWORD Full = 0x1F01FF, Modify = 0x1301BF;
    const win::FolderAccess system{win::Trustee::LocalSystem, Full, 3}, admins{win::Trustee::Administrators, Full, 3};
    struct Case {
        const char* what;
        std::function<void()> before;
        FolderList log;
        FolderList vendor;
        bool reported;
    };
    const Case cases[] = {
        {"nothing there", [] {}, LogFolderList, VendorFolderList, false},
        {"the maker's folder there, another product's", [] { inmemory::addFolder(VendorFolder); }, LogFolderList, none,
         false},
        // Another run, started at the same moment, makes the log folder first.
        {"made meanwhile by another run",
         [] {
             inmemory::beforeCall("createFolderWithAccess",
                                  [] { inmemory::setFolderAccess(LogFolder, LogFolderList); });
         },
         LogFolderList, VendorFolderList, false},
        {"there with what it inherits", [] { inmemory::addFolder(LogFolder); }, none, none, true},
        {"there with the program's list", own(LogFolderList), LogFolderList, none, false},
        {"made by the last version: Users modify the folder itself",
         own({true, {system, admins, {win::Trustee::Users, Modify, 3}, {win::Trustee::OwnerRights, Modify, 3}}}),
         {true, {system, admins, {win::Trustee::Users, Modify, 3}, {win::Trustee::OwnerRights, Modify, 3}}},
         none,
         true},
        {"Users with full control as a generic right",
         own({true, {system, admins, {win::Trustee::Users, 0x10000000, 3}}}),
         {true, {system, admins, {win::Trustee::Users, 0x10000000, 3}}},
         none,
         true},
        {"another trustee may change the list",
         own({true, {system, admins, {win::Trustee::Other, 0x40000, 0}}}),
         {true, {system, admins, {win::Trustee::Other, 0x40000, 0}}},
         none,
         true},
        {"Users modify the files only",
         own({true, {system, admins, {win::Trustee::Users, Modify, 9}}}),
         {true, {system, admins, {win::Trustee::Users, Modify, 9}}},
         none,
         false},
    };
    const std::u16string folder = u"\"" + LogFolder + u"\"";
    const std::u16string report = texts::text("weaker folder", folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        inmemory::reset();
        inmemory::setParentConsole(true);
        c.before();
        {
            TestLog log;
            EXPECT_EQ(std::u16string(log.logPath), DayLogFile) << c.what;
            EXPECT_EQ(inmemory::consoleOutput(), u"") << c.what << ": opening the log reports nothing";
            log.reportWeakerFolderAccess();
            EXPECT_EQ(inmemory::consoleOutput(), c.reported ? report : u"") << c.what;
        }
        EXPECT_EQ(inmemory::folderAccess(LogFolder), c.log) << c.what;
        EXPECT_EQ(inmemory::folderAccess(VendorFolder), c.vendor) << c.what;
        EXPECT_EQ(withoutTimeStamps(inmemory::fileText(DayLogFile)), c.reported ? report : u"") << c.what;
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }
}

TEST_F(LogFilesTest, RightsThatCannotBeSetAreWarnedOfInTheFileAndOnTheConsole)
{
    // The new maker's folder cannot be opened for its rights (the first open
    // looks up where the application data folder leads; the second is the
    // maker's folder's), or the rights cannot be set.
    for (const bool console : {true, false}) {
        for (const char* failing : {"openFile", "setProtectedFolderAccess"}) {
            inmemory::reset();
            inmemory::setParentConsole(console);
            inmemory::failCall(failing, 5, failing == std::string("openFile") ? 2 : 1);
            const TestLog log;
            EXPECT_EQ(withoutTimeStamps(text()), Warning) << failing;
            EXPECT_EQ(inmemory::consoleOutput(), console ? Warning : u"") << failing;
        }
    }
}

TEST_F(LogFilesTest, TodaysFileExpiresAfterTwoDaysOnly)
{
    // The file's age in seconds, and whether it goes.
    const std::pair<std::int64_t, bool> cases[] = {
        {172800, false}, {172801, true}, {7 * 86400, true}, {-3600, false}, {0, false}};
    for (const auto& [ageSeconds, deleted] : cases) {
        inmemory::reset();
        // Modulo 2^64: a negative age puts the file in the future.
        const std::uint64_t lastWrite =
            inmemory::now() - static_cast<std::uint64_t>(ageSeconds) * inmemory::TicksPerSecond;
        inmemory::addFile(DayLogFile, u"old entry\n", lastWrite);
        inmemory::addFile(LogFolder + u"\\VelmorathisMirrowcast2.log", u"other day\n", 0);
        const TestLog log;
        EXPECT_EQ(inmemory::fileExists(DayLogFile), !deleted) << ageSeconds;
        EXPECT_TRUE(inmemory::fileExists(LogFolder + u"\\VelmorathisMirrowcast2.log"))
            << "other days are never examined";
        EXPECT_EQ(inmemory::openHandleCount(), 0u);
    }
}

TEST_F(LogFilesTest, ExpiryCheckFailuresKeepTheFileAndTheLogOn)
{
    for (const char* function : {"readFileFacts", "deleteFile"}) {
        inmemory::reset();
        inmemory::addFile(DayLogFile, u"old\n", 0);
        inmemory::failCall(function, 5);
        TestLog log;
        EXPECT_TRUE(log.isOn());
        EXPECT_TRUE(inmemory::fileExists(DayLogFile)) << function;
        log.print(u"new\n");
        EXPECT_EQ(text().substr(0, 4), u"old\n") << "appended to, not replaced";
        EXPECT_EQ(inmemory::openHandleCount(), 0u);
    }
    inmemory::reset();
    inmemory::addFile(DayLogFile, u"old\n", 0);
    inmemory::holdFile(DayLogFile);  // another run holds it during start-up
    const TestLog log;
    EXPECT_TRUE(log.isOn());
    EXPECT_TRUE(inmemory::fileExists(DayLogFile));
}

TEST_F(LogFilesTest, BusyFileIsWaitedForInsteadOfLosingTheEntry)
{
    TestLog log;
    log.print(u"first\n");
    // Another run of the program holds the file for 120 ms.
    inmemory::holdFile(DayLogFile);
    inmemory::at(inmemory::now() + 120 * 10'000, [] { inmemory::releaseFile(DayLogFile); });
    log.print(u"second\n");
    EXPECT_NE(text().find(u"] second\n"), std::u16string::npos);
    EXPECT_GE(inmemory::totalSleptMs(), 120u);
    EXPECT_LE(inmemory::totalSleptMs(), 130u);
}

TEST_F(LogFilesTest, FileHeldTooLongIsWaitedForOncePerRunAndFile)
{
    TestLog log;
    inmemory::holdFile(DayLogFile);
    inmemory::holdFile(UserLogFile);
    log.print(u"lost\n");
    // A second for the day's file, then a second for the user's.
    EXPECT_GE(inmemory::totalSleptMs(), 2 * logging::LogBusyRetryLimitMs);
    EXPECT_LE(inmemory::totalSleptMs(), 2 * (logging::LogBusyRetryLimitMs + logging::LogBusyRetryPauseMs));
    // The run's later entries try once each: nine entries of an answer must
    // not cost nine seconds.
    const std::uint64_t afterFirst = inmemory::totalSleptMs();
    log.print(u"also lost\n");
    EXPECT_EQ(inmemory::totalSleptMs(), afterFirst);
    inmemory::releaseFile(DayLogFile);
    log.print(u"kept\n");
    EXPECT_NE(text().find(u"] kept\n"), std::u16string::npos) << "a free file is written at once";

    // Any other failure is not a passing state: no waiting.
    inmemory::failCall("openFile", win::ERROR_ACCESS_DENIED, 1, -1);
    log.print(u"refused\n");
    EXPECT_EQ(inmemory::totalSleptMs(), afterFirst);
    EXPECT_EQ(inmemory::openHandleCount(), 0u);
}

TEST_F(LogFilesTest, AViewerFollowingTheFileKeepsNoEntryOut)
{
    TestLog log;
    inmemory::followFile(DayLogFile);
    log.print(u"while followed\n");
    EXPECT_NE(text().find(u"] while followed\n"), std::u16string::npos);
    EXPECT_EQ(inmemory::totalSleptMs(), 0u);
}

TEST_F(LogFilesTest, AFileOfOddLengthIsEvenedBeforeTheNextEntry)
{
    // Cut short by one byte, or written to by something else.
    inmemory::addFile(DayLogFile, u"[2026-12-07 09:00:00] earlier\n", inmemory::now());
    std::vector<std::uint8_t> bytes = inmemory::fileBytes(DayLogFile);
    bytes.push_back(0x41);
    inmemory::addFile(DayLogFile, u"", inmemory::now());
    inmemory::appendBytes(DayLogFile, bytes);
    TestLog log;
    log.print(u"after\n");
    const std::vector<std::uint8_t> written = inmemory::fileBytes(DayLogFile);
    ASSERT_EQ(written.size() % 2, 0u);
    EXPECT_EQ(written[bytes.size()], 0) << "one zero byte, then the entry";
    EXPECT_TRUE(text().ends_with(u"] after\n")) << "the entry reads correctly from the start of the file";
}

TEST_F(LogFilesTest, EntryIsWrittenInOneWrite)
{
    TestLog log;
    const std::size_t before = inmemory::callCount("appendToFile");
    log.print(u"one entry\n");
    EXPECT_EQ(inmemory::callCount("appendToFile") - before, 1u);
}

TEST_F(LogFilesLinks, EntriesAreWrittenOnlyIntoTheLogsOwnFile)
{
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool written;                         // the entry reached the day's file
        std::u16string created;               // a file that must not come into being ("" for none)
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
        SCOPED_TRACE(c.what);
        fresh();
        inmemory::addFolder(u"C:\\Windows\\System32");
        c.plant();
        {
            TestLog log;
            EXPECT_TRUE(log.isOn()) << c.what;
            log.print(u"%s=%s\n", u"action", u"answercall");
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

TEST_F(LogFilesLinks, ExpiryDeletesOnlyTheLogsOwnOldFile)
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
        SCOPED_TRACE(c.what);
        fresh();
        c.plant();
        {
            const TestLog log;
        }
        if (c.mustStay.empty()) {
            EXPECT_FALSE(inmemory::fileExists(DayLogFile)) << c.what;
        } else {
            EXPECT_TRUE(inmemory::fileExists(c.mustStay)) << c.what;
            EXPECT_EQ(inmemory::fileText(c.mustStay).empty(), false) << c.what;
        }
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }
}

TEST_F(LogFilesLinks, NewMakersFolderSwappedForAJunctionDoesNotLockItsTarget)
{
    // The maker's folder is created, then, before its rights are changed,
    // another user puts a junction to a system folder in its place.
    inmemory::beforeCall(
        "openFile", [] { inmemory::makeJunction(VendorFolder, u"C:\\Windows"); }, 2);
    {
        const TestLog log;
    }
    EXPECT_EQ(inmemory::folderAccess(u"C:\\Windows"), inmemory::FolderList{});
    EXPECT_EQ(inmemory::consoleOutput(), u"Warning: unable to set user permissions on log folder\n");
    EXPECT_EQ(inmemory::openHandleCount(), 0u);

    inmemory::reset();  // and without the swap the folder gets its list
    {
        const TestLog plain;
    }
    EXPECT_EQ(inmemory::folderAccess(VendorFolder), VendorFolderList);
}
