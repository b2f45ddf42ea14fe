// The entry point's dispatch on the in-memory Windows: which form a command
// line is taken for, the lines it logs, and the exit codes scripts and
// support rely on (a browser never sees them).
#include <gtest/gtest.h>

#include "test_text.h"

#include <functional>
#include <string>
#include <vector>

#include "app/entry_point.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

struct RunResult {
    std::int32_t exitCode;
    std::u16string log;  // everything after the start lines, prefixes removed
    bool debug;          // the status window was asked for in debug mode
};

// `setUp` prepares the fresh machine before the run (windows, registry).
RunResult run(const std::u16string& commandLine, const std::function<void()>& setUp = {})
{
    freshMachine();
    if (setUp) {
        setUp();
    }
    const ProgramRun r = runProgramOnDouble(commandLine);
    EXPECT_TRUE(withoutTimeStamps(r.logText).starts_with(StartLines)) << narrow(r.logText);
    return {r.exitCode, r.log, !r.statusWindows.empty() && r.statusWindows.back().debug};
}

}  // namespace

TEST(EntryPoint, ExitCodesAndLinesForEachFormOfCommandLine)
{
    // `log` is the whole log after the start lines, except for the actions
    // and console commands, whose own lines may follow it.
    struct Case {
        std::u16string commandLine;
        std::int32_t exitCode;
        std::u16string log;
        bool debug = false;
    };
    const std::u16string url = u"Velmorathis.Mirrowcast:TeamsCall?";
    const std::vector<Case> cases = {
        {u"", 0, u""}, {u"something else", 0, u""}, {u"/help", 0, u""}, {u"/unknowncommand", 1, u""},
        {u"\"" + url + u"action=answercall", 0, u""},  // no closing quote
        {u"Velmorathis.Mirrowcast/TeamsCall?action=answercall", 0, u""}, {u"Velmorathis.Mirrowcast", 0, u""},
        {u"--debug", 0, u"", true}, {u"--DEBUG", 0, u"", true}, {u"--debugsomething", 0, u"", true},
        {u"\"--debug\"", 0, u"", true}, {u"-debug", 0, u""},
        {url + u"action=answercall&participant=John%20Smith", 0,
         u"action=answercall\nparticipant=John Smith\nProtocolhandler invoked...\n"},
        {u"\"" + url + u"action=closecallwindow\"", 0, u"action=closecallwindow\nProtocolhandler invoked...\n"},
        {u"\"" + url + u"action=validateconfig\" trailing", 0,
         u"action=validateconfig\nProtocolhandler invoked...\n"},
        {u"velmorathis.mirrowcast:teamscall?action=AnswerCall", 0, u"action=AnswerCall\nProtocolhandler invoked...\n"},
        {url + u"action=ANSWERCALL", 0, u"action=ANSWERCALL\nProtocolhandler invoked...\n"},
        {url + u"action=answercall%20", 3,
         u"action=answercall \nProtocolhandler invoked...\nMissing or unknown action \"answercall \""},
        {url + u"participant=x", 3, u"participant=x\nProtocolhandler invoked...\nMissing or unknown action \"\""},
        {url + u"participant=x&action=nonsense", 3,
         u"action=nonsense\nparticipant=x\nProtocolhandler invoked...\nMissing or unknown action \"nonsense\""},
        {url + u"participant2number=4&participant2=c&participantnumber=2&participant=b&action=closecallwindow", 0,
         u"action=closecallwindow\nparticipant=b\nparticipantnumber=2\nparticipant2=c\nparticipant2number=4\n"
         u"Protocolhandler invoked...\n"},
        {u"Velmorathis.Mirrowcast:TeamsCall", 0, u"Invalid parameter(s) -3\n"},
        {u"Velmorathis.Mirrowcast:Other?action=answercall", 0, u"Invalid parameter(s) -2\n"},
        {u"\"Velmorathis.Mirrowcast:TeamsCall?action=a%0D%0A[2026-01-01 00:00:00] forged\"", 3,
         u"action=a\u240D\u240A[2026-01-01 00:00:00] forged\nProtocolhandler invoked...\n"
         u"Missing or unknown action \"a\u240D\u240A[2026-01-01 00:00:00] forged\""},
    };
    for (const Case& c : cases) {
        const RunResult r = run(c.commandLine);
        EXPECT_EQ(r.exitCode, c.exitCode) << narrow(c.commandLine);
        const bool actionFollows = c.commandLine[0] == u'/' || (c.exitCode == 0 && c.log.ends_with(u"invoked...\n"));
        EXPECT_EQ(actionFollows ? r.log.substr(0, c.log.size()) : r.log, c.log) << narrow(c.commandLine);
        EXPECT_EQ(r.debug, c.debug) << narrow(c.commandLine);
    }
}

TEST(EntryPoint, InvokedLineSaysHowTeamsWasFound)
{
    // Each of the two inserts has its own source: the main window remembered
    // ("known") or found by the scan ("identified"); the notification by its
    // title ("identified") or as the one window left ("found").
    const auto teamsWindow = [](const char16_t* title, bool visible = true) {
        return inmemory::addWindowAtBottom(
            {.title = title, .visible = visible, .processId = inmemory::addProcess(TeamsImage)});
    };
    struct Case {
        const char* desktop;
        std::function<void()> setUp;
        std::u16string line;
    };
    const Case cases[] = {
        {"no Teams", [] {}, u"Protocolhandler invoked...\n"},
        {"main window and a notification by title",
         [&] { teamsWindow(u"Microsoft Teams Notification"); teamsWindow(u"Chat | Microsoft Teams"); },
         u"Protocolhandler invoked (Teams main app identified) (Call notification identified)...\n"},
        {"remembered main window, notification by exclusion",
         [&] {
             teamsWindow(u"", false);
             rememberMainWindow(teamsWindow(u"Chat | Microsoft Teams", false), inmemory::now());
         },
         u"Protocolhandler invoked (Teams main app known) (Call notification found)...\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = run(u"Velmorathis.Mirrowcast:TeamsCall?action=closecallwindow", c.setUp);
        EXPECT_NE(r.log.find(c.line), std::u16string::npos) << c.desktop << "\n" << narrow(r.log);
    }
}

TEST(EntryPoint, StatusWindowsResultIsTheExitCode)
{
    const auto statusWindowEndsWith7 = [] { setStatusWindowResult(7); };
    for (const char16_t* commandLine :
         {u"--debug", u"Velmorathis.Mirrowcast:TeamsCall?action=validateconfig", u"/validateconfig"}) {
        EXPECT_EQ(run(commandLine, statusWindowEndsWith7).exitCode, 7) << narrow(commandLine);
    }
}

TEST(EntryPoint, ConsoleIsReleasedWithOneEnterOnlyIntoTheConsole)
{
    // From a command prompt the texts go to the console, and at the end the
    // program detaches and types one Enter so the prompt shows again; but
    // only while the console (or the terminal that owns its pseudo-console
    // window) is the active window: anywhere else the key would act.
    enum Foreground { ConsoleItself, OwningTerminal, CallWindow, Nothing };
    struct Case {
        const char* what;
        bool console;
        Foreground foreground;
        bool enter;
    };
    const Case cases[] = {
        {"the console is active", true, ConsoleItself, true},
        {"the terminal that owns it is active", true, OwningTerminal, true},
        {"a call window is active", true, CallWindow, false},
        {"nothing is active", true, Nothing, false},
        {"started by the shell, no console", false, ConsoleItself, false},
    };
    for (const Case& c : cases) {
        freshMachine();
        inmemory::WindowTraits traits;
        traits.className = u"ConsoleWindowClass";
        const win::HWND console = inmemory::addWindow(traits);
        traits.className = u"CASCADIA_HOSTING_WINDOW_CLASS";
        const win::HWND terminal = inmemory::addWindow(traits);
        inmemory::setOwner(console, terminal);
        traits.className = u"Chrome_WidgetWin_1";
        const win::HWND call = inmemory::addWindow(traits);
        inmemory::setConsoleWindow(console);
        inmemory::setParentConsole(c.console);
        const win::HWND active[] = {console, terminal, call, nullptr};
        inmemory::setForeground(active[c.foreground]);

        const ProgramRun run = runProgramOnDouble(u"/help");

        EXPECT_EQ(run.console.starts_with(StartLines + u"Supported commands:\n"), c.console) << c.what;
        EXPECT_FALSE(inmemory::consoleAttached()) << c.what;
        ASSERT_EQ(inmemory::sentInput().size(), c.enter ? 1u : 0u) << c.what;
        if (c.enter) {
            const auto& records = inmemory::sentInput()[0].records;
            ASSERT_EQ(records.size(), 1u) << "a key press and no key-up record";
            EXPECT_EQ(records[0].wVk, 0);
            EXPECT_EQ(records[0].wScan, 0x000D);
            EXPECT_EQ(records[0].dwFlags, win::KEYEVENTF_UNICODE);
        }
        EXPECT_EQ(inmemory::callCount("releaseConsole"), c.console ? 1u : 0u) << c.what;
    }
}

TEST(EntryPoint, QuotedUrlsOfUpTo2083CharactersAreHandledLongerOnesRefused)
{
    // "Александра Рождественская-Воскресенская" as a browser encodes it: a
    // URL of almost 300 characters, which once ended after the banner.
    const std::u16string name =
        u"%D0%90%D0%BB%D0%B5%D0%BA%D1%81%D0%B0%D0%BD%D0%B4%D1%80%D0%B0%20%D0%A0%D0%BE%D0%B6%D0%B4%D0%B5%D1%81%D1%82"
        u"%D0%B2%D0%B5%D0%BD%D1%81%D0%BA%D0%B0%D1%8F-%D0%92%D0%BE%D1%81%D0%BA%D1%80%D0%B5%D1%81%D0%B5%D0%BD%D1%81"
        u"%D0%BA%D0%B0%D1%8F";
    const std::u16string url = u"Velmorathis.Mirrowcast:TeamsCall?action=bogus&participant=" + name;
    RunResult r = run(u"\"" + url + u"\"");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.log.find(u"participant=\u0410\u043B\u0435\u043A\u0441\u0430\u043D\u0434\u0440\u0430 "),
              std::u16string::npos)
        << narrow(r.log);
    const std::u16string longest = url + u"&tail=" + std::u16string(2083 - url.size() - 6, u'p');
    EXPECT_EQ(run(u"\"" + longest + u"\"").exitCode, 3);
    r = run(u"\"" + longest + u"p\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.log, u"Invalid parameter(s) -5\n");
}

TEST(EntryPoint, UnquotedUrlIsCutTo2083Characters)
{
    const std::u16string head = u"Velmorathis.Mirrowcast:TeamsCall?action=bogus&participant=";
    const std::u16string url = head + std::u16string(200, u'p') + u"&x=" + std::u16string(2000, u'x') +
                               u"&participant2=lost";
    const RunResult r = run(url);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.log.find(u"participant=" + std::u16string(200, u'p') + u"\n"), std::u16string::npos);
    EXPECT_EQ(r.log.find(u"lost"), std::u16string::npos);
}

TEST(EntryPoint, ProgramNameIsSkippedAsTheRuntimeDoes)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"\"C:\\Program Files\\V\\VelmorathisMirrowcast.exe\" \"Velmorathis.Mirrowcast:x\"",
         u"\"Velmorathis.Mirrowcast:x\""},
        {u"C:\\V\\prog.exe   /help", u"/help"}, {u"prog.exe\t\t--debug", u"--debug"}, {u"\"prog.exe\"/help", u"/help"},
        {u"prog.exe", u""}, {u"\"unterminated", u""}, {u"", u""},
    };
    for (const auto& [full, rest] : cases) {
        EXPECT_EQ(std::u16string(skipProgramName(full.c_str())), rest) << narrow(full);
    }
}
