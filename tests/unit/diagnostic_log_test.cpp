// The diagnostic log on the in-memory Windows: set-up, file naming and expiry,
// the entry format support staff read, the console echo and release, and what
// happens when Windows refuses.
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

#include "allocation_counter.h"
#include "program_run.h"
#include "test_log.h"
#include "inmemory/inmemory.h"

namespace {

const std::u16string Warning = u"Warning: unable to set user permissions on log folder\n";

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override { inmemory::reset(); }
};

std::u16string text(const std::u16string& path = DayLogFile) { return inmemory::fileText(path); }

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

TEST_F(DiagnosticLogTest, OnlyFoldersTheRunCreatesGetTheirListsAndWeakerListsAreReported)
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
        {"the maker's folder there, another product's", [] { inmemory::addFolder(VendorFolder); }, LogFolderList,
         none, false},
        // Another run, started at the same moment, makes the log folder first.
        {"made meanwhile by another run",
         [] { inmemory::beforeCall("createFolderWithAccess", [] { inmemory::setFolderAccess(LogFolder, LogFolderList); }); },
         LogFolderList, VendorFolderList, false},
        {"there with what it inherits", [] { inmemory::addFolder(LogFolder); }, none, none, true},
        {"there with the program's list", own(LogFolderList), LogFolderList, none, false},
        {"made by the last version: Users modify the folder itself",
         own({true, {system, admins, {win::Trustee::Users, Modify, 3}, {win::Trustee::OwnerRights, Modify, 3}}}),
         {true, {system, admins, {win::Trustee::Users, Modify, 3}, {win::Trustee::OwnerRights, Modify, 3}}}, none,
         true},
        {"Users with full control as a generic right", own({true, {system, admins, {win::Trustee::Users, 0x10000000, 3}}}),
         {true, {system, admins, {win::Trustee::Users, 0x10000000, 3}}}, none, true},
        {"another trustee may change the list", own({true, {system, admins, {win::Trustee::Other, 0x40000, 0}}}),
         {true, {system, admins, {win::Trustee::Other, 0x40000, 0}}}, none, true},
        {"Users modify the files only", own({true, {system, admins, {win::Trustee::Users, Modify, 9}}}),
         {true, {system, admins, {win::Trustee::Users, Modify, 9}}}, none, false},
    };
    const std::u16string folder = u"\"" + LogFolder + u"\"";
    const std::u16string report =
        u"The access list of the log folder " + folder + u" may let users other than the administrators delete, "
        u"rename or re-permission it. To give it the program's list, run as an administrator:\n"
        u"  icacls " + folder + u" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F "
        u"*S-1-5-32-545:(RX,WD) *S-1-3-4:(RX,WD)\n"
        u"  icacls " + folder + u" /grant *S-1-5-32-545:(OI)(IO)M *S-1-3-4:(OI)(IO)M\n";
    for (const Case& c : cases) {
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

TEST_F(DiagnosticLogTest, EntriesGoWhereThePolicySaysAndWhatTheDayFileCannotTakeToTheUsersFile)
{
    // Each run writes "\n", what follows a banner, "one", "two"; then the
    // trouble ends, if it does, and it writes "three". Texts without their
    // time stamps.
    const auto header = [](const std::u16string& error) {
        return u"Log file could not be written (error " + error + u"), entries of this run follow here.\n";
    };
    const auto policy = [](const char16_t* folder, bool detail) {
        if (folder != nullptr) {
            inmemory::setStringValue(PolicyKey, u"LogFolder", folder);
        }
        inmemory::setValue(PolicyKey, u"DetailLogging", win::REG_DWORD, {detail ? std::uint8_t{1} : std::uint8_t{0}, 0, 0, 0});
    };
    const std::u16string notUnderstood = u"Policy value \"LogFolder\" not understood; the shared folder is used.\n";
    const std::u16string details = u"Command line [x]\nProcess 2468, session 3.\n";
    const std::u16string entries = u"\none\ntwo\nthree\n";
    // With detail logging each entry carries the process id after its stamp.
    const std::u16string detailed = u"\n[2468] Command line [x]\n[2468] Process 2468, session 3.\n[2468] one\n"
                                    u"[2468] two\n[2468] three\n";
    struct Case {
        const char* what;
        std::function<void()> trouble;  // before the log is opened
        std::function<void()> ends;     // before "three" (nothing: it stays)
        std::u16string dayFile;
        std::u16string userFile;
        std::u16string lastIn = DayLogFile;  // the file of "three", which the status window's link opens the folder of
        std::u16string console = u"\none\ntwo\nthree\n";
        bool sharedFolderUntouched = false;
    };
    const Case cases[] = {
        {"a folder in the way", [] { inmemory::addFolder(DayLogFile); }, nullptr, u"",
         u"\n" + header(u"5") + u"one\ntwo\nthree\n", UserLogFile},
        {"held by another program", [] { inmemory::holdFile(DayLogFile); },
         [] { inmemory::releaseFile(DayLogFile); },
         u"3 entries of this run were written to the user's log folder.\nthree\n",
         u"\n" + header(u"32") + u"one\ntwo\n"},
        // The fifth open: the application data folder, the new maker's folder
        // for its rights, the expiry check, the folder for the first entry,
        // its file.
        {"access denied once", [] { inmemory::failCall("openFile", win::ERROR_ACCESS_DENIED, 5); }, nullptr,
         u"1 entries of this run were written to the user's log folder.\none\ntwo\nthree\n", u"\n" + header(u"5")},
        {"a failed write", [] { inmemory::failCall("appendToFile", 112, 1); }, nullptr,
         u"1 entries of this run were written to the user's log folder.\none\ntwo\nthree\n", u"\n" + header(u"112")},
        {"a full disk", [] { inmemory::failCall("appendToFile", 112, 1, -1); }, nullptr, u"", u""},
        {"held, and the user's file last week's",
         [] { inmemory::holdFile(DayLogFile); inmemory::addFile(UserLogFile, u"last week\n", 0); },
         nullptr, u"", u"\n" + header(u"32") + u"one\ntwo\nthree\n", UserLogFile},
        {"no application data folder", [] { inmemory::failCall("knownFolderPath", 2); }, nullptr, u"",
         u"\n" + header(u"2") + u"one\ntwo\nthree\n", UserLogFile},
        {"the maker's folder cannot be created", [] { inmemory::failCall("createFolder", 5); }, nullptr, u"",
         u"\n" + header(u"5") + u"one\ntwo\nthree\n", UserLogFile},
        {"the log folder cannot be created", [] { inmemory::failCall("createFolderWithAccess", 5); }, nullptr, u"",
         u"\n" + header(u"5") + u"one\ntwo\nthree\n", UserLogFile},
        {"held, and the user's file a link",
         [] { inmemory::holdFile(DayLogFile); inmemory::makeSymbolicLink(UserLogFile, Victim); },
         nullptr, u"", u""},
        {"policy: the shared folder", [&] { policy(u"Shared", false); }, nullptr, entries, u""},
        {"policy: the user's folder", [&] { policy(u"user", false); }, nullptr, u"", entries, UserLogFile,
         entries, true},
        {"policy: the user's folder, which cannot be made",
         [&] { policy(u"User", false); inmemory::failCall("createFolder", 5); }, nullptr, u"", u"", u"", entries,
         true},
        {"policy: the user's folder, held by another program",
         [&] { policy(u"User", false); inmemory::holdFile(UserLogFile); }, nullptr, u"", u"", UserLogFile, entries,
         true},
        {"policy: neither folder", [&] { policy(u"Users", false); }, nullptr, u"\n" + notUnderstood + u"one\ntwo\nthree\n",
         u"", DayLogFile, u"\n" + notUnderstood + u"one\ntwo\nthree\n"},
        {"policy: a number for the folder",
         [&] { inmemory::setValue(PolicyKey, u"LogFolder", win::REG_DWORD, {1, 0, 0, 0}); }, nullptr,
         u"\n" + notUnderstood + u"one\ntwo\nthree\n", u"", DayLogFile, u"\n" + notUnderstood + u"one\ntwo\nthree\n"},
        {"policy: detail", [&] { policy(nullptr, true); }, nullptr, detailed, u"", DayLogFile,
         u"\n" + details + u"one\ntwo\nthree\n"},
        // The user's expired file is named as %LOCALAPPDATA%\...: the same
        // text may go to the shared folder, and the expanded path holds the
        // user's name.
        {"policy: detail in the user's folder, last week's file there",
         [&] {
             policy(u"User", true);
             inmemory::addFile(UserLogFile, u"last week\n", inmemory::now() - 3 * 86400 * inmemory::TicksPerSecond);
         },
         nullptr, u"",
         u"[2468] Deleting expired logfile [%LOCALAPPDATA%\\Velmorathis\\Velmorathis Mirrowcast\\"
         u"VelmorathisMirrowcast1.log] age 259200 seconds\n" + detailed,
         UserLogFile,
         u"Deleting expired logfile [%LOCALAPPDATA%\\Velmorathis\\Velmorathis Mirrowcast\\"
         u"VelmorathisMirrowcast1.log] age 259200 seconds\n\n" + details + u"one\ntwo\nthree\n",
         true},
    };
    for (const Case& c : cases) {
        inmemory::reset();
        inmemory::setParentConsole(true);
        inmemory::addFile(Victim, VictimText, 0);
        c.trouble();
        {
            TestLog log;
            log.print(u"\n");
            log.printRunStart(u"x");
            log.print(u"one\n");
            EXPECT_EQ(log.print(u"two\n"), 1) << c.what;
            if (c.ends) {
                c.ends();
            }
            log.print(u"three\n");
            EXPECT_EQ(std::u16string(log.lastEntryPath()), c.lastIn) << c.what;
        }
        EXPECT_EQ(withoutTimeStamps(inmemory::fileText(DayLogFile)), c.dayFile) << c.what;
        EXPECT_EQ(withoutTimeStamps(inmemory::fileText(UserLogFile)), c.userFile) << c.what;
        EXPECT_EQ(inmemory::fileText(Victim), VictimText) << c.what;
        EXPECT_EQ(inmemory::consoleOutput(), c.console) << "the console shows it all: " << c.what;
        if (c.sharedFolderUntouched) {
            EXPECT_FALSE(inmemory::folderExists(VendorFolder)) << c.what;
        }
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }
}

TEST_F(DiagnosticLogTest, RightsThatCannotBeSetAreWarnedOfInTheFileAndOnTheConsole)
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

TEST_F(DiagnosticLogTest, FileIsNamedAfterTheUtcWeekday)
{
    const std::pair<int, char16_t> days[] = {{6, u'0'}, {7, u'1'}, {8, u'2'}, {12, u'6'}};
    for (const auto& [day, digit] : days) {
        inmemory::reset();
        inmemory::setNow(2026, 12, day, 23, 59, 59);
        const TestLog log;
        EXPECT_EQ(std::u16string(log.logPath), LogFolder + u"\\VelmorathisMirrowcast" + digit + u".log");
    }
    inmemory::reset();
    inmemory::failCall("readClock", 87);
    const TestLog log;
    EXPECT_EQ(std::u16string(log.logPath), LogFolder + u"\\VelmorathisMirrowcast-1.log");
}

TEST_F(DiagnosticLogTest, FolderPathTooLongForAFileNameSendsTheRunToTheUsersFile)
{
    for (const std::size_t length : {200u, 240u}) {  // no room for the file name, or for the folder's
        inmemory::reset();
        inmemory::setProgramDataPath(u"C:\\" + std::u16string(length, u'p'));
        {
            TestLog log;
            EXPECT_EQ(log.logPath[0], 0) << length;
            log.print(u"kept\n");
        }
        EXPECT_EQ(withoutTimeStamps(inmemory::fileText(UserLogFile)),
                  u"Log file could not be written (error 0), entries of this run follow here.\nkept\n")
            << length;
    }
}

TEST_F(DiagnosticLogTest, TodaysFileExpiresAfterTwoDaysOnly)
{
    // The file's age in seconds, and whether it goes.
    const std::pair<std::int64_t, bool> cases[] = {{172800, false}, {172801, true}, {7 * 86400, true}, {-3600, false},
                                                   {0, false}};
    for (const auto& [ageSeconds, deleted] : cases) {
        inmemory::reset();
        // Modulo 2^64: a negative age puts the file in the future.
        const std::uint64_t lastWrite =
            inmemory::now() - static_cast<std::uint64_t>(ageSeconds) * inmemory::TicksPerSecond;
        inmemory::addFile(DayLogFile, u"old entry\n", lastWrite);
        inmemory::addFile(LogFolder + u"\\VelmorathisMirrowcast2.log", u"other day\n", 0);
        const TestLog log;
        EXPECT_EQ(inmemory::fileExists(DayLogFile), !deleted) << ageSeconds;
        EXPECT_TRUE(inmemory::fileExists(LogFolder + u"\\VelmorathisMirrowcast2.log")) << "other days are never examined";
        EXPECT_EQ(inmemory::openHandleCount(), 0u);
    }
}

TEST_F(DiagnosticLogTest, ExpiryCheckFailuresKeepTheFileAndTheLogOn)
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

TEST_F(DiagnosticLogTest, EntriesCarryTheUtcPrefixExceptABareLineBreak)
{
    inmemory::setNow(2026, 12, 7, 9, 5, 3);
    TestLog log;
    EXPECT_EQ(log.print(u"\n"), 1);
    log.print(u"Registering protocol handler...\n");
    log.print(u"%s=%s\n", u"action", u"answercall");
    log.print(u"Missing or unknown action \"%s\"", u"x");
    log.print(u"two\nlines\n");
    EXPECT_EQ(text(), u"\n"
                      u"[2026-12-07 09:05:03] Registering protocol handler...\n"
                      u"[2026-12-07 09:05:03] action=answercall\n"
                      u"[2026-12-07 09:05:03] Missing or unknown action \"x\""
                      u"[2026-12-07 09:05:03] two\nlines\n");
    const std::vector<std::uint8_t> bytes = inmemory::fileBytes(DayLogFile);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0x0A) << "UTF-16LE without a byte-order mark";
    EXPECT_EQ(bytes[1], 0x00);
}

TEST_F(DiagnosticLogTest, LongTextsAreCutTo1023CharactersWithOnePrefix)
{
    TestLog log;
    const std::u16string long1500(1500, u'x');
    log.print(u"%s", long1500.c_str());
    const std::u16string written = text();
    EXPECT_EQ(written.size(), 22u + 1023u);
    EXPECT_EQ(written.substr(22), std::u16string(1023, u'x'));
    // A surrogate pair across the limit goes whole: the cut comes before it.
    const std::u16string pairAtTheEnd = std::u16string(1022, u'y') + u"\U0001F600";
    log.print(u"%s", pairAtTheEnd.c_str());
    EXPECT_EQ(text().substr(written.size() + 22), std::u16string(1022, u'y'));
}

TEST_F(DiagnosticLogTest, LineBreaksInsideInsertsCannotForgeEntries)
{
    TestLog log;
    log.print(u"%s=%s\n", u"participant", u"x\n[2026-01-01 00:00:00] Registering protocol handler succeeded.\r\n");
    const std::u16string written = text();
    EXPECT_EQ(written.find(u'\r'), std::u16string::npos);
    EXPECT_EQ(written.find(u'\n'), written.size() - 1) << "only the format's own line break remains";
    EXPECT_NE(written.find(u"x\u240A[2026"), std::u16string::npos);
}

TEST_F(DiagnosticLogTest, ConsoleGetsTheTextWithoutPrefix)
{
    inmemory::setParentConsole(true);
    TestLog log;
    EXPECT_EQ(log.consoleAttached, 1);
    log.print(u"\n");
    log.print(u"Supported commands:\n");
    EXPECT_EQ(inmemory::consoleOutput(), u"\nSupported commands:\n");
}

TEST_F(DiagnosticLogTest, BusyFileIsWaitedForInsteadOfLosingTheEntry)
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

TEST_F(DiagnosticLogTest, FileHeldTooLongIsWaitedForOncePerRunAndFile)
{
    TestLog log;
    inmemory::holdFile(DayLogFile);
    inmemory::holdFile(UserLogFile);
    EXPECT_EQ(log.print(u"lost\n"), 1);
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

TEST_F(DiagnosticLogTest, AViewerFollowingTheFileKeepsNoEntryOut)
{
    TestLog log;
    inmemory::followFile(DayLogFile);
    log.print(u"while followed\n");
    EXPECT_NE(text().find(u"] while followed\n"), std::u16string::npos);
    EXPECT_EQ(inmemory::totalSleptMs(), 0u);
}

TEST_F(DiagnosticLogTest, AFileOfOddLengthIsEvenedBeforeTheNextEntry)
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

TEST_F(DiagnosticLogTest, EntryIsWrittenInOneWrite)
{
    TestLog log;
    const std::size_t before = inmemory::callCount("appendToFile");
    log.print(u"one entry\n");
    EXPECT_EQ(inmemory::callCount("appendToFile") - before, 1u);
}

TEST_F(DiagnosticLogTest, DetailTextsAreNotWritten)
{
    TestLog log;
    EXPECT_EQ(log.printDetail(u"Command line [%s]\n", u"x"), 0);
    EXPECT_FALSE(inmemory::fileExists(DayLogFile));
}

TEST_F(DiagnosticLogTest, FormattingAnEntryAllocatesNothing)
{
    TestLog log;
    // Both files refuse the open, so no layer bookkeeping allocates: what is
    // counted is the log's own formatting and decision path.
    inmemory::failCall("openFile", win::ERROR_ACCESS_DENIED, 1, -1);
    log.print(u"warm-up\n");
    const AllocationCounter counter;
    log.print(u"%s=%s %d %I64d %p\n", u"participant", u"John Smith", 5, std::int64_t{7},
              static_cast<win::HWND>(nullptr));
    EXPECT_EQ(counter.count(), 0u);
}


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

TEST_F(DiagnosticLogLinks, NewMakersFolderSwappedForAJunctionDoesNotLockItsTarget)
{
    // The maker's folder is created, then, before its rights are changed,
    // another user puts a junction to a system folder in its place.
    inmemory::beforeCall("openFile", [] { inmemory::makeJunction(VendorFolder, u"C:\\Windows"); }, 2);
    { const TestLog log; }
    EXPECT_EQ(inmemory::folderAccess(u"C:\\Windows"), inmemory::FolderList{});
    EXPECT_EQ(inmemory::consoleOutput(), u"Warning: unable to set user permissions on log folder\n");
    EXPECT_EQ(inmemory::openHandleCount(), 0u);

    inmemory::reset();  // and without the swap the folder gets its list
    { const TestLog plain; }
    EXPECT_EQ(inmemory::folderAccess(VendorFolder), VendorFolderList);
}
