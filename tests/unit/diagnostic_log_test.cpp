// The diagnostic log on the in-memory Windows: where the policy sends its
// entries and where they go when the day's file cannot take them, file
// naming, the entry format support staff read, the console echo, and what
// happens when Windows refuses. How it makes, opens and checks its files:
// log_files_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "allocation_counter.h"
#include "program_run.h"
#include "test_log.h"
#include "inmemory/inmemory.h"

namespace {

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override { inmemory::reset(); }
};

std::u16string text(const std::u16string& path = DayLogFile) { return inmemory::fileText(path); }

const std::u16string Victim = u"C:\\Windows\\win.ini";
const std::u16string VictimText = u"[fonts]\n";
}  // namespace

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
        inmemory::setValue(PolicyKey, u"DetailLogging", win::REG_DWORD,
                           {detail ? std::uint8_t{1} : std::uint8_t{0}, 0, 0, 0});
    };
    const std::u16string notUnderstood = u"Policy value \"LogFolder\" not understood; the shared folder is used.\n";
    const std::u16string details = u"Command line [x]\nProcess 2468, session 3.\n";
    const std::u16string entries = u"\none\ntwo\nthree\n";
    // With detail logging each entry carries the process id after its stamp.
    const std::u16string detailed =
        u"\n[2468] Command line [x]\n[2468] Process 2468, session 3.\n[2468] one\n"
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
        {"held by another program", [] { inmemory::holdFile(DayLogFile); }, [] { inmemory::releaseFile(DayLogFile); },
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
         [] {
             inmemory::holdFile(DayLogFile);
             inmemory::addFile(UserLogFile, u"last week\n", 0);
         },
         nullptr, u"", u"\n" + header(u"32") + u"one\ntwo\nthree\n", UserLogFile},
        {"no application data folder", [] { inmemory::failCall("knownFolderPath", 2); }, nullptr, u"",
         u"\n" + header(u"2") + u"one\ntwo\nthree\n", UserLogFile},
        {"the maker's folder cannot be created", [] { inmemory::failCall("createFolder", 5); }, nullptr, u"",
         u"\n" + header(u"5") + u"one\ntwo\nthree\n", UserLogFile},
        {"the log folder cannot be created", [] { inmemory::failCall("createFolderWithAccess", 5); }, nullptr, u"",
         u"\n" + header(u"5") + u"one\ntwo\nthree\n", UserLogFile},
        {"held, and the user's file a link",
         [] {
             inmemory::holdFile(DayLogFile);
             inmemory::makeSymbolicLink(UserLogFile, Victim);
         },
         nullptr, u"", u""},
        {"policy: the shared folder", [&] { policy(u"Shared", false); }, nullptr, entries, u""},
        {"policy: the user's folder", [&] { policy(u"user", false); }, nullptr, u"", entries, UserLogFile, entries,
         true},
        {"policy: the user's folder, which cannot be made",
         [&] {
             policy(u"User", false);
             inmemory::failCall("createFolder", 5);
         },
         nullptr, u"", u"", u"", entries, true},
        {"policy: the user's folder, held by another program",
         [&] {
             policy(u"User", false);
             inmemory::holdFile(UserLogFile);
         },
         nullptr, u"", u"", UserLogFile, entries, true},
        {"policy: neither folder", [&] { policy(u"Users", false); }, nullptr,
         u"\n" + notUnderstood + u"one\ntwo\nthree\n", u"", DayLogFile, u"\n" + notUnderstood + u"one\ntwo\nthree\n"},
        {"policy: a number for the folder",
         [&] {
             inmemory::setValue(PolicyKey, u"LogFolder", win::REG_DWORD, {1, 0, 0, 0});
         },
         nullptr, u"\n" + notUnderstood + u"one\ntwo\nthree\n", u"", DayLogFile,
         u"\n" + notUnderstood + u"one\ntwo\nthree\n"},
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
         u"VelmorathisMirrowcast1.log] age 259200 seconds\n" +
             detailed,
         UserLogFile,
         u"Deleting expired logfile [%LOCALAPPDATA%\\Velmorathis\\Velmorathis Mirrowcast\\"
         u"VelmorathisMirrowcast1.log] age 259200 seconds\n\n" +
             details + u"one\ntwo\nthree\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        inmemory::reset();
        inmemory::setParentConsole(true);
        inmemory::addFile(Victim, VictimText, 0);
        c.trouble();
        {
            TestLog log;
            log.print(u"\n");
            log.printRunStart(u"x");
            log.print(u"one\n");
            log.print(u"two\n");
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

TEST_F(DiagnosticLogTest, EntriesCarryTheUtcPrefixExceptABareLineBreak)
{
    inmemory::setNow(2026, 12, 7, 9, 5, 3);
    TestLog log;
    log.print(u"\n");
    log.print(u"Registering protocol handler...\n");
    log.print(u"%s=%s\n", u"action", u"answercall");
    log.print(u"Missing or unknown action \"%s\"", u"x");
    log.print(u"two\nlines\n");
    EXPECT_EQ(text(),
              u"\n"
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
    EXPECT_TRUE(log.consoleAttached);
    log.print(u"\n");
    log.print(u"Supported commands:\n");
    EXPECT_EQ(inmemory::consoleOutput(), u"\nSupported commands:\n");
}

TEST_F(DiagnosticLogTest, DetailTextsAreNotWritten)
{
    TestLog log;
    log.printDetail(u"Command line [%s]\n", u"x");
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
