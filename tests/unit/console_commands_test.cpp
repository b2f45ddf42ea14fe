// The slash commands typed at a command prompt: which lines count as which
// command, the texts the user reads on the console, and the results that tell
// the entry point whether the status window follows.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "app/console_commands.h"
#include "test_log.h"
#include "test_text.h"
#include "texts.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

using texts::text;

const std::u16string HelpText = text("help");
const std::u16string Registering = text("registering");
const std::u16string Unregistering = text("unregistering");
const std::u16string Validating = text("validating");
const std::u16string Registered = text("registered");
const std::u16string NotFound = text("not found");
const std::u16string Missing = text("not registered", u"1");

const app::ConsoleCommandResult Done{0, false};
const app::ConsoleCommandResult InvalidSyntax{app::ExitInvalidSyntax, false};
const app::ConsoleCommandResult StatusWindow{0, true};

class ConsoleCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }

    // A fresh machine, for each row of a table too.
    void fresh()
    {
        log.reset();
        inmemory::reset();
        inmemory::setParentConsole(true);
        log = std::make_unique<TestLog>();
    }

    app::ConsoleCommandResult run(const std::u16string& line) { return app::runConsoleCommand(*log, line.c_str()); }

    std::unique_ptr<TestLog> log;
};

std::u16string invalid(const std::u16string& line) { return text("invalid syntax", line); }

}  // namespace

void PrintTo(const app::ConsoleCommandResult& result, std::ostream* os)
{
    *os << "exit code " << result.exitCode << (result.wantsStatusWindow ? " after the status window" : "");
}

TEST_F(ConsoleCommandsTest, AWordCountsOnlyWhenABlankOrTheEndFollowsIt)
{
    struct Case {
        std::u16string line;
        app::ConsoleCommandResult result;
        std::u16string console;  // empty: the line is quoted as invalid syntax
    };
    const Case cases[] = {
        {u"/help", Done, HelpText},
        {u"/HELP", Done, HelpText},
        {u"/Help", Done, HelpText},
        {u"/help please", Done, HelpText},
        {u"/help ", Done, HelpText},
        {u"/?", Done, HelpText},
        {u"/? /registerhandler", Done, HelpText},
        {u"/registerhandler", Done, Registering + Registered},
        {u"/registerhandler now", Done, Registering + Registered},
        {u"/RegisterHandler", Done, Registering + Registered},
        {u"/unregisterhandler", Done, Unregistering + NotFound},
        {u"/validateconfig", StatusWindow, Validating + Missing},
        {u"/VALIDATECONFIG later", StatusWindow, Validating + Missing},
        {u"/helpme", InvalidSyntax, u""},
        {u"/??", InvalidSyntax, u""},
        {u"/", InvalidSyntax, u""},
        {u"/help\tx", InvalidSyntax, u""},
        {u"/help\t", InvalidSyntax, u""},
        {u"/registerhandlerX", InvalidSyntax, u""},
        {u"/register", InvalidSyntax, u""},
        {u"/ help", InvalidSyntax, u""},
        {u"/debuginfo-all", InvalidSyntax, u""},
        {u"/validateconfig,", InvalidSyntax, u""},
        {u"-help", InvalidSyntax, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.line));
        fresh();
        EXPECT_EQ(run(c.line), c.result) << testing::PrintToString(c.line);
        const std::u16string expected = c.console.empty() ? invalid(c.line) : c.console;
        EXPECT_EQ(inmemory::consoleOutput(), expected) << testing::PrintToString(c.line);
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
    }
}

TEST_F(ConsoleCommandsTest, HelpTextKeepsItsLayoutAndGetsOneTimeStampInTheFile)
{
    ASSERT_EQ(HelpText.size(), 500u);
    // Descriptions line up in column 30 behind commands indented by two blanks.
    for (const char16_t* line :
         {u"/registerhandler ", u"/unregisterhandler ", u"/validateconfig ", u"/debuginfo ", u"/? or /help "}) {
        SCOPED_TRACE(narrow(line));
        const std::size_t at = HelpText.find(std::u16string(u"  ") + line);
        EXPECT_NE(at, std::u16string::npos);
        if (at == std::u16string::npos) {
            continue;
        }
        const std::size_t lineStart = HelpText.rfind(u'\n', at) + 1;
        EXPECT_EQ(at, lineStart);
        const std::size_t description = HelpText.find_first_not_of(u' ', at + 2 + std::u16string(line).size());
        EXPECT_EQ(description - lineStart, 29u) << testing::PrintToString(std::u16string(line));
    }

    EXPECT_EQ(run(u"/?"), Done);
    const std::u16string file = inmemory::fileText(log->logPath);
    EXPECT_EQ(file, u"[2026-12-07 10:00:00] " + HelpText);
}

TEST_F(ConsoleCommandsTest, LongAndHostileLinesAreQuotedWholeAndNeverRunACommand)
{
    // No 255-character limit here: the whole line is matched and quoted.
    const std::u16string longLine = u"/" + std::u16string(600, u'x');
    EXPECT_EQ(run(longLine), InvalidSyntax);
    EXPECT_EQ(inmemory::consoleOutput(), invalid(longLine));

    fresh();
    EXPECT_EQ(run(u"/registerhandler " + std::u16string(2000, u'y')), Done);
    EXPECT_EQ(inmemory::consoleOutput(), Registering + Registered);

    // A '%' in the line is an insert, not a conversion of the message.
    fresh();
    EXPECT_EQ(run(u"/%s%d%p%n"), InvalidSyntax);
    EXPECT_EQ(inmemory::consoleOutput(), invalid(u"/%s%d%p%n"));
}

TEST_F(ConsoleCommandsTest, HandlerCommandsExitWithWhatTheRegistrationCameTo)
{
    // A deployment script decides by the exit code alone: 0 only when this
    // program is the handler afterwards (or none is left, for removal). The
    // status window follows /validateconfig whatever the registration says.
    enum Found { Nothing, Ours, Elsewhere };
    const std::u16string exists = text("already registered");
    const std::u16string failed = Registering + u"Registering protocol handler failed, error ";
    const std::u16string invalidAs = Validating + u"Protocol handler registration is missing or invalid (error ";
    struct Case {
        std::u16string line;
        Found found;
        const char* failing;  // the layer function that fails, with `error`
        win::DWORD error;
        app::ConsoleCommandResult result;
        std::u16string console;
    };
    const Case cases[] = {
        {u"/registerhandler", Nothing, "", 0, Done, Registering + Registered},
        {u"/registerhandler", Ours, "", 0, Done, Registering + exists},
        {u"/registerhandler", Elsewhere, "", 0, {183}, Registering + exists},
        {u"/registerhandler", Ours, "moduleFileName", 5, {183}, Registering + exists},  // cannot be compared
        {u"/registerhandler", Nothing, "openRegistryKey", 5, {5}, failed + u"5 (Access denied).\n"},
        {u"/registerhandler", Nothing, "setRegistryValue", 1450, {1450}, failed + u"1450 (system error).\n"},
        {u"/registerhandler", Nothing, "moduleFileName", 5, {13}, failed + u"13 (system error).\n"},
        {u"/registerhandler", Ours, "readRegistryValue", 5, {5}, failed + u"5 (Access denied).\n"},
        {u"/unregisterhandler", Elsewhere, "", 0, Done, Unregistering + text("removed")},
        {u"/unregisterhandler", Nothing, "", 0, Done, Unregistering + NotFound},
        {u"/unregisterhandler",
         Ours,
         "deleteRegistryTree",
         5,
         {5},
         Unregistering + u"Unable to remove protocol handler, error 5 (Access denied).\n"},
        {u"/unregisterhandler",
         Ours,
         "openRegistryKey",
         5,
         {5},
         Unregistering + u"Unable to remove protocol handler, error 5 (Access denied).\n"},
        {u"/validateconfig", Ours, "", 0, StatusWindow, Validating + text("valid")},
        {u"/validateconfig", Elsewhere, "", 0, StatusWindow, invalidAs + u"2).\n"},
        {u"/validateconfig", Elsewhere, "moduleFileName", 5, StatusWindow, invalidAs + u"-1).\n"},
        {u"/validateconfig", Ours, "readRegistryValue", 5, StatusWindow, invalidAs + u"2).\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.line));
        fresh();
        if (c.found != Nothing) {
            registerHandlerByHand(c.found == Ours ? OpenCommand : u"\"D:\\Old\\x.exe\" \"%1\"");
        }
        if (c.error != 0) {
            inmemory::failCall(c.failing, c.error);
        }
        const std::string what = narrow(c.line) + " " + c.failing;
        EXPECT_EQ(run(c.line), c.result) << what;
        EXPECT_EQ(inmemory::consoleOutput(), c.console) << what;
        EXPECT_EQ(inmemory::openKeyCount(), 0u) << what;
    }
}

TEST_F(ConsoleCommandsTest, DebugInfoListsTheTeamsWindowsNamesTheLogFolderAndNeverOpensTheStatusWindow)
{
    const std::u16string notFound = u"Teams desktop application not found.\n";
    EXPECT_EQ(run(u"/debuginfo"), Done);
    EXPECT_EQ(inmemory::consoleOutput(), notFound + u"Log folder in use: " + LogFolder + u"\n");

    fresh();
    EXPECT_EQ(run(u"/DebugInfo support"), Done);
    EXPECT_TRUE(inmemory::consoleOutput().starts_with(notFound));
    EXPECT_TRUE(inmemory::postedMessages().empty());
    EXPECT_TRUE(inmemory::sentInput().empty());

    // The user's folder, by policy or because the shared file could not take
    // the entries, is named as every user's prompt would expand it: its
    // expanded path holds the user's name.
    const std::u16string usersFolder = u"Log folder in use: %LOCALAPPDATA%\\Velmorathis\\Velmorathis Mirrowcast\n";
    for (const bool byPolicy : {true, false}) {
        log.reset();
        inmemory::reset();
        inmemory::setParentConsole(true);
        if (byPolicy) {
            inmemory::setStringValue(PolicyKey, u"LogFolder", u"User");
        } else {
            inmemory::setFolderAccess(LogFolder, LogFolderList);
            inmemory::holdFile(DayLogFile);
        }
        log = std::make_unique<TestLog>();
        log->print(u"\n");
        EXPECT_EQ(run(u"/debuginfo"), Done);
        EXPECT_EQ(inmemory::consoleOutput(), u"\n" + notFound + usersFolder) << byPolicy;
        EXPECT_NE(inmemory::fileText(UserLogFile).find(usersFolder), std::u16string::npos) << byPolicy;
    }
}

TEST_F(ConsoleCommandsTest, AWeakerLogFolderIsReportedByTheTwoChecksAndNeverByAUrl)
{
    for (const char16_t* line : {u"/debuginfo", u"/validateconfig", u"/help"}) {
        log.reset();
        inmemory::reset();
        inmemory::setParentConsole(true);
        inmemory::addFolder(LogFolder);  // as an earlier version or someone else left it
        log = std::make_unique<TestLog>();
        [[maybe_unused]] const app::ConsoleCommandResult result = run(line);
        const std::u16string said = inmemory::consoleOutput();
        EXPECT_EQ(
            said.find(u"The access list of the log folder \"" + LogFolder + u"\" may let") != std::u16string::npos,
            line != std::u16string(u"/help"))
            << narrow(said);
    }
    freshMachine();
    inmemory::addFolder(LogFolder);
    const ProgramRun url = runProgramOnDouble(u"\"Velmorathis.Mirrowcast:TeamsCall?action=validateconfig\"");
    EXPECT_EQ(url.log.find(u"icacls"), std::u16string::npos) << narrow(url.log);
}
