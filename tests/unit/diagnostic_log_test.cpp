// The diagnostic log on the in-memory Windows: set-up, file naming and expiry,
// the entry format support staff read, the console echo and release, and what
// happens when Windows refuses.
#include <gtest/gtest.h>

#include <string>

#include "allocation_counter.h"
#include "log/diagnostic_log.h"
#include "test_log.h"
#include "inmemory/inmemory.h"

namespace {

const std::u16string Folder = u"C:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast";
const std::u16string MondayFile = Folder + u"\\VelmorathisMirrowcast1.log";  // the machine's clock: a Monday

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override { inmemory::reset(); }
};

std::u16string text(const std::u16string& path = MondayFile) { return inmemory::fileText(path); }

}  // namespace

TEST_F(DiagnosticLogTest, NewFolderIsCreatedAndOpenedToUsers)
{
    const TestLog log;
    EXPECT_EQ(std::u16string(log.logPath), MondayFile);
    EXPECT_TRUE(inmemory::folderExists(Folder));
    EXPECT_TRUE(inmemory::usersGrantedFullAccess(Folder));
    EXPECT_EQ(inmemory::openHandleCount(), 0u);
    EXPECT_EQ(log.detailEnabled, 0);
}

TEST_F(DiagnosticLogTest, ExistingFolderKeepsItsRights)
{
    inmemory::addFolder(Folder);
    const TestLog log;
    EXPECT_TRUE(log.isOn());
    EXPECT_FALSE(inmemory::usersGrantedFullAccess(Folder));
    EXPECT_EQ(inmemory::callCount("grantUsersFullAccess"), 0u);

    // Another run starting at the same moment creates it first.
    inmemory::reset();
    inmemory::beforeCall("createFolder", [] { inmemory::addFolder(Folder); });
    TestLog second;
    EXPECT_TRUE(second.isOn());
    EXPECT_EQ(inmemory::callCount("grantUsersFullAccess"), 0u);
    second.print(u"hello\n");
    EXPECT_NE(text().find(u"] hello\n"), std::u16string::npos);
}

TEST_F(DiagnosticLogTest, SetUpFailuresTurnTheLogOffOrOnlySkipTheRightsChange)
{
    struct Case {
        const char* function;
        win::DWORD error;
        bool logOn;
        bool granted;
    };
    const Case cases[] = {
        {"commonAppDataFolder", 5, false, false},
        {"createFolder", 5, false, false},
        {"grantUsersFullAccess", 5, true, false},
    };
    for (const Case& c : cases) {
        inmemory::reset();
        inmemory::setParentConsole(true);
        inmemory::failCall(c.function, c.error);
        TestLog log;
        EXPECT_EQ(log.isOn(), c.logOn) << c.function;
        EXPECT_EQ(inmemory::usersGrantedFullAccess(Folder), c.granted) << c.function;
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.function;
        log.print(u"hello\n");
        // An off log writes nowhere, not even to the console.
        EXPECT_EQ(inmemory::consoleOutput(), c.logOn ? u"hello\n" : u"") << c.function;
        EXPECT_EQ(inmemory::fileExists(MondayFile), c.logOn) << c.function;
    }
}

TEST_F(DiagnosticLogTest, FolderThatCannotBeOpenedForItsRightsWarnsOnTheConsoleOnly)
{
    inmemory::setParentConsole(true);
    // The first open looks up where the application data folder leads; the
    // second is the new folder's.
    inmemory::failCall("openFile", 5, 2);
    const TestLog log;
    EXPECT_TRUE(log.isOn());
    EXPECT_EQ(inmemory::consoleOutput(), u"Warning: unable to set user permissions on log folder\n");
    EXPECT_FALSE(inmemory::fileExists(MondayFile));

    inmemory::reset();
    inmemory::failCall("openFile", 5, 2);
    const TestLog quiet;  // no console: nothing to say it on
    EXPECT_TRUE(quiet.isOn());
    EXPECT_EQ(inmemory::consoleOutput(), u"");
}

TEST_F(DiagnosticLogTest, FileIsNamedAfterTheUtcWeekday)
{
    const std::pair<int, char16_t> days[] = {{6, u'0'}, {7, u'1'}, {8, u'2'}, {12, u'6'}};
    for (const auto& [day, digit] : days) {
        inmemory::reset();
        inmemory::setNow(2026, 12, day, 23, 59, 59);
        const TestLog log;
        EXPECT_EQ(std::u16string(log.logPath), Folder + u"\\VelmorathisMirrowcast" + digit + u".log");
    }
    inmemory::reset();
    inmemory::failCall("readClock", 87);
    const TestLog log;
    EXPECT_EQ(std::u16string(log.logPath), Folder + u"\\VelmorathisMirrowcast-1.log");
}

TEST_F(DiagnosticLogTest, FolderPathTooLongForAFileNameTurnsTheLogOff)
{
    inmemory::setProgramDataPath(u"C:\\" + std::u16string(200, u'p'));
    const TestLog log;
    EXPECT_FALSE(log.isOn());
    inmemory::reset();
    inmemory::setProgramDataPath(u"C:\\" + std::u16string(240, u'p'));
    const TestLog folderOnly;
    EXPECT_FALSE(folderOnly.isOn());
}

TEST_F(DiagnosticLogTest, TodaysFileExpiresAfterTwoDaysOnly)
{
    struct Case {
        std::int64_t ageSeconds;
        bool deleted;
    };
    const Case cases[] = {{172800, false}, {172801, true}, {7 * 86400, true}, {-3600, false}, {0, false}};
    for (const Case& c : cases) {
        inmemory::reset();
        const auto lastWrite = static_cast<std::uint64_t>(static_cast<std::int64_t>(inmemory::now()) -
                                                          c.ageSeconds * static_cast<std::int64_t>(inmemory::TicksPerSecond));
        inmemory::addFile(MondayFile, u"old entry\n", lastWrite);
        inmemory::addFile(Folder + u"\\VelmorathisMirrowcast2.log", u"other day\n", 0);
        const TestLog log;
        EXPECT_EQ(inmemory::fileExists(MondayFile), !c.deleted) << c.ageSeconds;
        EXPECT_TRUE(inmemory::fileExists(Folder + u"\\VelmorathisMirrowcast2.log")) << "other days are never examined";
        EXPECT_EQ(inmemory::openHandleCount(), 0u);
    }
}

TEST_F(DiagnosticLogTest, ExpiryCheckFailuresKeepTheFileAndTheLogOn)
{
    for (const char* function : {"readFileFacts", "deleteFile"}) {
        inmemory::reset();
        inmemory::addFile(MondayFile, u"old\n", 0);
        inmemory::failCall(function, 5);
        TestLog log;
        EXPECT_TRUE(log.isOn());
        EXPECT_TRUE(inmemory::fileExists(MondayFile)) << function;
        log.print(u"new\n");
        EXPECT_EQ(text().substr(0, 4), u"old\n") << "appended to, not replaced";
        EXPECT_EQ(inmemory::openHandleCount(), 0u);
    }
    inmemory::reset();
    inmemory::addFile(MondayFile, u"old\n", 0);
    inmemory::holdFile(MondayFile);  // another run holds it during start-up
    const TestLog log;
    EXPECT_TRUE(log.isOn());
    EXPECT_TRUE(inmemory::fileExists(MondayFile));
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
    const std::vector<std::uint8_t> bytes = inmemory::fileBytes(MondayFile);
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
    inmemory::holdFile(MondayFile);
    inmemory::at(inmemory::now() + 120 * 10'000, [] { inmemory::releaseFile(MondayFile); });
    log.print(u"second\n");
    EXPECT_NE(text().find(u"] second\n"), std::u16string::npos);
    EXPECT_GE(inmemory::totalSleptMs(), 120u);
    EXPECT_LE(inmemory::totalSleptMs(), 130u);
}

TEST_F(DiagnosticLogTest, FileHeldTooLongOrRefusedLosesTheEntryButNotTheConsoleEcho)
{
    inmemory::setParentConsole(true);
    TestLog log;
    inmemory::holdFile(MondayFile);
    EXPECT_EQ(log.print(u"lost\n"), 1);
    EXPECT_EQ(text().find(u"lost"), std::u16string::npos);
    EXPECT_GE(inmemory::totalSleptMs(), LogBusyRetryLimitMs);
    EXPECT_LE(inmemory::totalSleptMs(), LogBusyRetryLimitMs + LogBusyRetryPauseMs);
    EXPECT_EQ(inmemory::consoleOutput(), u"lost\n");
    // The run's later entries try once each: nine entries of an answer must
    // not cost nine seconds.
    const std::uint64_t afterFirst = inmemory::totalSleptMs();
    log.print(u"also lost\n");
    EXPECT_EQ(inmemory::totalSleptMs(), afterFirst);
    inmemory::releaseFile(MondayFile);
    log.print(u"kept\n");
    EXPECT_NE(text().find(u"] kept\n"), std::u16string::npos) << "a free file is written at once";

    // Any other failure is not a passing state: no waiting.
    const std::uint64_t slept = inmemory::totalSleptMs();
    inmemory::failCall("openFile", win::ERROR_ACCESS_DENIED);
    log.print(u"refused\n");
    EXPECT_EQ(inmemory::totalSleptMs(), slept);
    EXPECT_EQ(text().find(u"refused"), std::u16string::npos);

    inmemory::failCall("appendToFile", 112);  // disk full: ignored, file still closed
    EXPECT_EQ(log.print(u"full\n"), 1);
    EXPECT_EQ(inmemory::openHandleCount(), 0u);
}

TEST_F(DiagnosticLogTest, AViewerFollowingTheFileKeepsNoEntryOut)
{
    TestLog log;
    inmemory::followFile(MondayFile);
    log.print(u"while followed\n");
    EXPECT_NE(text().find(u"] while followed\n"), std::u16string::npos);
    EXPECT_EQ(inmemory::totalSleptMs(), 0u);
}

TEST_F(DiagnosticLogTest, AFileOfOddLengthIsEvenedBeforeTheNextEntry)
{
    // Cut short by one byte, or written to by something else.
    inmemory::addFile(MondayFile, u"[2026-12-07 09:00:00] earlier\n", inmemory::now());
    std::vector<std::uint8_t> bytes = inmemory::fileBytes(MondayFile);
    bytes.push_back(0x41);
    inmemory::addFile(MondayFile, u"", inmemory::now());
    inmemory::appendBytes(MondayFile, bytes);
    TestLog log;
    log.print(u"after\n");
    const std::vector<std::uint8_t> written = inmemory::fileBytes(MondayFile);
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
    EXPECT_FALSE(inmemory::fileExists(MondayFile));
}

TEST_F(DiagnosticLogTest, FormattingAnEntryAllocatesNothing)
{
    TestLog log;
    log.print(u"warm-up\n");
    // The file refuses the open, so no layer bookkeeping allocates: what is
    // counted is the log's own formatting and decision path.
    inmemory::failCall("openFile", win::ERROR_ACCESS_DENIED);
    const AllocationCounter counter;
    log.print(u"%s=%s %d %I64d %p\n", u"participant", u"John Smith", 5, std::int64_t{7},
              static_cast<win::HWND>(nullptr));
    EXPECT_EQ(counter.count(), 0u);
}
