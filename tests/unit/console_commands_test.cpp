// The slash commands typed at a command prompt: which lines count as which
// command, the texts the user reads on the console, and the results that tell
// the entry point whether the status window follows.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/console_commands.h"
#include "log/diagnostic_log.h"
#include "test_log.h"
#include "inmemory/inmemory.h"

namespace {

const std::u16string HelpText =
    u"Supported commands:\n"
    u"  /registerhandler           Register protocol handler\n"
    u"  /unregisterhandler         Unregister protocol handler\n"
    u"  /validateconfig            Validate configuration, displays status window.\n"
    u"  /debuginfo                 Display info for support.\n"
    u"  /? or /help                This help text\n"
    u"\n"
    u"The registerhandler and unregisterhandler commands change the registry. This might require admin rights.\n"
    u"If the command fails with access denied, try running the command as an administrator.\n";

const std::u16string Registering = u"Registering protocol handler...\n";
const std::u16string Unregistering = u"Unregistering protocol handler...\n";
const std::u16string Validating = u"Validating configuration...\n";
const std::u16string Registered = u"Registering protocol handler succeeded.\n";
const std::u16string NotFound = u"Protocol handler not found.\n";
const std::u16string Missing = u"Protocol handler registration is missing or invalid (error 1).\n";
const std::u16string CommandKey = u"HKCR\\Velmorathis.Mirrowcast\\shell\\open\\command";

class ConsoleCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log.reset();
        inmemory::reset();
        inmemory::setParentConsole(true);
        log = std::make_unique<TestLog>();
    }

    ConsoleCommandResult run(const std::u16string& line) { return runConsoleCommand(*log, line.c_str()); }

    std::unique_ptr<TestLog> log;
};

std::u16string invalid(const std::u16string& line) { return u"Invalid command line syntax \"" + line + u"\"\n"; }

}  // namespace

TEST_F(ConsoleCommandsTest, AWordCountsOnlyWhenABlankOrTheEndFollowsIt)
{
    struct Case {
        std::u16string line;
        ConsoleCommandResult result;
        std::u16string console;  // empty: the line is quoted as invalid syntax
    };
    const Case cases[] = {
        {u"/help", ConsoleCommandResult::Done, HelpText},
        {u"/HELP", ConsoleCommandResult::Done, HelpText},
        {u"/Help", ConsoleCommandResult::Done, HelpText},
        {u"/help please", ConsoleCommandResult::Done, HelpText},
        {u"/help ", ConsoleCommandResult::Done, HelpText},
        {u"/?", ConsoleCommandResult::Done, HelpText},
        {u"/? /registerhandler", ConsoleCommandResult::Done, HelpText},
        {u"/registerhandler", ConsoleCommandResult::Done, Registering + Registered},
        {u"/registerhandler now", ConsoleCommandResult::Done, Registering + Registered},
        {u"/RegisterHandler", ConsoleCommandResult::Done, Registering + Registered},
        {u"/unregisterhandler", ConsoleCommandResult::Done, Unregistering + NotFound},
        {u"/validateconfig", ConsoleCommandResult::WantsStatusWindow, Validating + Missing},
        {u"/VALIDATECONFIG later", ConsoleCommandResult::WantsStatusWindow, Validating + Missing},
        {u"/helpme", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/??", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/help\tx", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/help\t", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/registerhandlerX", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/register", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/ help", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/debuginfo-all", ConsoleCommandResult::InvalidSyntax, u""},
        {u"/validateconfig,", ConsoleCommandResult::InvalidSyntax, u""},
        {u"-help", ConsoleCommandResult::InvalidSyntax, u""},
    };
    for (const Case& c : cases) {
        SetUp();
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
    for (const char16_t* line : {u"/registerhandler ", u"/unregisterhandler ", u"/validateconfig ", u"/debuginfo ",
                                 u"/? or /help "}) {
        const std::size_t at = HelpText.find(std::u16string(u"  ") + line);
        ASSERT_NE(at, std::u16string::npos);
        const std::size_t lineStart = HelpText.rfind(u'\n', at) + 1;
        EXPECT_EQ(at, lineStart);
        const std::size_t description = HelpText.find_first_not_of(u' ', at + 2 + std::u16string(line).size());
        EXPECT_EQ(description - lineStart, 29u) << testing::PrintToString(std::u16string(line));
    }

    EXPECT_EQ(run(u"/?"), ConsoleCommandResult::Done);
    const std::u16string file = inmemory::fileText(log->logPath);
    EXPECT_EQ(file, u"[2026-12-07 10:00:00] " + HelpText);
}

TEST_F(ConsoleCommandsTest, LongAndHostileLinesAreQuotedWholeAndNeverRunACommand)
{
    // No 255-character limit here: the whole line is matched and quoted.
    const std::u16string longLine = u"/" + std::u16string(600, u'x');
    EXPECT_EQ(run(longLine), ConsoleCommandResult::InvalidSyntax);
    EXPECT_EQ(inmemory::consoleOutput(), invalid(longLine));

    SetUp();
    EXPECT_EQ(run(u"/registerhandler " + std::u16string(2000, u'y')), ConsoleCommandResult::Done);
    EXPECT_EQ(inmemory::consoleOutput(), Registering + Registered);

    // A '%' in the line is an insert, not a conversion of the message.
    SetUp();
    EXPECT_EQ(run(u"/%s%d%p%n"), ConsoleCommandResult::InvalidSyntax);
    EXPECT_EQ(inmemory::consoleOutput(), invalid(u"/%s%d%p%n"));
}

TEST_F(ConsoleCommandsTest, HandlerCommandsRunToTheirEndWhateverTheRegistrySays)
{
    // The registry refuses: the user reads why, the command still counts as run.
    inmemory::denyRegistryWrite(u"HKCR");
    EXPECT_EQ(run(u"/registerhandler"), ConsoleCommandResult::Done);
    EXPECT_EQ(inmemory::consoleOutput(),
              Registering + u"Registering protocol handler failed, error 5 (Access denied).\n");

    SetUp();
    EXPECT_EQ(run(u"/registerhandler"), ConsoleCommandResult::Done);
    EXPECT_EQ(run(u"/validateconfig"), ConsoleCommandResult::WantsStatusWindow);
    EXPECT_EQ(run(u"/registerhandler"), ConsoleCommandResult::Done);
    EXPECT_EQ(run(u"/unregisterhandler"), ConsoleCommandResult::Done);
    EXPECT_EQ(run(u"/unregisterhandler"), ConsoleCommandResult::Done);
    EXPECT_EQ(inmemory::consoleOutput(),
              Registering + Registered + Validating + u"Protocol handler is registered and appears to be valid.\n" +
                  Registering +
                  u"Protocol handler already exists, unregister current handler before registering.\n" +
                  Unregistering + u"Protocol handler successfully removed.\n" + Unregistering + NotFound);

    // Moved program: the status window still follows, after the error line.
    SetUp();
    inmemory::setStringValue(CommandKey, u"", u"\"D:\\Old\\VelmorathisMirrowcast.exe\" \"%1\"");
    EXPECT_EQ(run(u"/validateconfig"), ConsoleCommandResult::WantsStatusWindow);
    EXPECT_EQ(inmemory::consoleOutput(),
              Validating + u"Protocol handler registration is missing or invalid (error 2).\n");

    SetUp();
    inmemory::setStringValue(CommandKey, u"", u"x");
    inmemory::failCall("moduleFileName", win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(run(u"/validateconfig"), ConsoleCommandResult::WantsStatusWindow);
    EXPECT_EQ(inmemory::consoleOutput(),
              Validating + u"Protocol handler registration is missing or invalid (error -1).\n");
}

TEST_F(ConsoleCommandsTest, DebugInfoListsTheTeamsWindowsAndNeverOpensTheStatusWindow)
{
    EXPECT_EQ(run(u"/debuginfo"), ConsoleCommandResult::Done);
    EXPECT_EQ(inmemory::consoleOutput(), u"Teams desktop application not found.\n");

    SetUp();
    EXPECT_EQ(run(u"/DebugInfo support"), ConsoleCommandResult::Done);
    EXPECT_EQ(inmemory::consoleOutput(), u"Teams desktop application not found.\n");
    EXPECT_TRUE(inmemory::postedMessages().empty());
    EXPECT_TRUE(inmemory::sentInput().empty());
}
