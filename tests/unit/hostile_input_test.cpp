// Hostile command lines through the whole entry point on the in-memory
// Windows. A protocol URL comes from a web page, so whatever it holds must get
// exactly the behaviour of its form: one kind of work, the parameter lines
// the parser defines, the exit code scripts and support read, and never a
// console command or a second action smuggled in behind a quote or a
// separator. Run under host-asan, the same table proves that no text, however
// long, is written past a fixed buffer.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/entry_point.h"
#include "inmemory/inmemory.h"
#include "program_run.h"
#include "teams/teams_window_scan.h"
#include "test_log.h"
#include "test_text.h"
#include "url/invocation_parameters.h"
#include "util/strings.h"

namespace {

const std::u16string Url = u"Velmorathis.Mirrowcast:TeamsCall?";

// What a run did, told by the traces each kind of work leaves in the log
// (the status window by its request).
enum class Work { BadUrl, Answer, Close, StatusWindow, UnknownAction, ConsoleCommand };
using Works = std::set<Work>;
const std::pair<Work, const char16_t*> Traces[] = {
    {Work::BadUrl, u"Invalid parameter(s) "},
    {Work::Answer, u"Waiting for Teams call notification window to popup...\n"},
    {Work::Close, u"Closing call window for participant \""},
    {Work::UnknownAction, u"Missing or unknown action \""},
    {Work::ConsoleCommand, u"Registering protocol handler...\n"},
    {Work::ConsoleCommand, u"Unregistering protocol handler...\n"},
    {Work::ConsoleCommand, u"Validating configuration...\n"},
    {Work::ConsoleCommand, u"Supported commands:\n"},
    {Work::ConsoleCommand, u"Invalid command line syntax \""},
};

struct Outcome {
    std::int32_t exitCode = -1;
    Works works;
    std::u16string parameters;  // the parameter lines of a protocol URL
    std::u16string log;         // everything after the start lines, prefixes removed
    bool debug = false;
    bool registryTouched = false;
};

bool contains(const std::u16string& text, const std::u16string& part)
{
    return text.find(part) != std::u16string::npos;
}

Outcome runOnMachine(const std::u16string& commandLine)
{
    Outcome o;
    const ProgramRun run = runProgramOnDouble(commandLine);
    o.exitCode = run.exitCode;
    o.log = run.log;
    o.debug = !run.statusWindows.empty() && run.statusWindows.back().debug;
    o.registryTouched = inmemory::keyExists(SchemeKey);
    const std::size_t invoked = o.log.find(u"Protocolhandler invoked");
    if (invoked != std::u16string::npos) {
        o.parameters = o.log.substr(0, invoked);
    }
    for (const auto& [work, trace] : Traces) {
        if (contains(o.log, trace)) {
            o.works.insert(work);
        }
    }
    if (!run.statusWindows.empty()) {
        o.works.insert(Work::StatusWindow);
    }
    return o;
}

Outcome run(const std::u16string& commandLine)
{
    freshMachine();
    return runOnMachine(commandLine);
}

std::u16string repeat(std::size_t n, char16_t c = u'p') { return std::u16string(n, c); }

// The first `n` characters of a text made of Url + "action=bogus&participant=" + p...
std::u16string urlOfLength(std::size_t n)
{
    const std::u16string head = Url + u"action=bogus&participant=";
    return head + repeat(n - head.size());
}

std::u16string manyParameters(std::size_t n)
{
    std::u16string query;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string digits = std::to_string(i);
        query += u"&p" + std::u16string(digits.begin(), digits.end()) + u"=v";
    }
    return query;
}

}  // namespace

TEST(HostileInput, EachCommandLineGetsExactlyTheWorkItsFormDefines)
{
    using W = Work;
    struct Case {
        const char* what;
        std::u16string commandLine;
        std::int32_t exitCode;
        Works works;
        std::u16string parameters;  // exact, for protocol URLs that were parsed
        std::u16string mustLog;     // a text the log must hold ("" for none)
        bool debug = false;
    };
    const std::u16string console2048 = u"/" + repeat(2047, u'x');
    const std::u16string console32766 = u"/" + repeat(32765, u'x');
    const std::u16string cutSyntaxLine = u"Invalid command line syntax \"";  // 29 of the 1023 characters
    const Case cases[] = {
        // A quote ends a quoted URL: what follows it is dropped, whatever it says.
        {"quote, then a console command", u"\"" + Url + u"action=bogus\" /registerhandler", 3, {W::UnknownAction},
         u"action=bogus\n", u"Missing or unknown action \"bogus\""},
        {"quote inside a quoted value", u"\"" + Url + u"action=closecallwindow&participant=a\"b\" /unregisterhandler",
         0, {W::Close}, u"action=closecallwindow\nparticipant=a\n", u"Closing call window for participant \"a\"...\n"},
        {"quote glued to a command", u"\"" + Url + u"action=answercall\"/help", 0, {W::Answer},
         u"action=answercall\n", u""},
        {"a quoted slash command is no command", u"\"/registerhandler\"", 0, {}, u"", u""},
        {"--debug with a command behind a quote", u"\"--debug\" /registerhandler", 0, {W::StatusWindow}, u"", u"",
         true},
        {"escaped quote in a value", Url + u"action=bogus&participant=%22%20/registerhandler", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=\" /registerhandler\n", u""},
        // Backslashes are ordinary characters: no \" escape as argv parsing has.
        {"trailing backslash, quoted", u"\"" + Url + u"action=bogus&participant=x\\\"", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=x\\\n", u""},
        {"trailing backslash, unquoted", Url + u"action=bogus&participant=x\\", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=x\\\n", u""},
        {"unbalanced opening quote", u"\"" + Url + u"action=answercall", 0, {}, u"", u""},
        {"stray quote at the end", Url + u"action=bogus\"", 3, {W::UnknownAction}, u"action=bogus\"\n",
         u"Missing or unknown action \"bogus\"\""},
        {"stray quote in a value", Url + u"action=bogus&participant=\"x", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=\"x\n", u""},
        // Tabs, line breaks and other controls stay in the values; in the log
        // all but the tab are marked.
        {"tab after the action", Url + u"action=answercall\t", 3, {W::UnknownAction}, u"action=answercall\t\n", u""},
        {"leading tab", u"\t" + Url + u"action=answercall", 0, {}, u"", u""},
        {"raw line breaks", Url + u"action=bogus&participant=a\r\n[2026-01-01 00:00:00] b", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=a\u240D\u240A[2026-01-01 00:00:00] b\n", u""},
        {"line break after the action", Url + u"action=answercall\n", 3, {W::UnknownAction},
         u"action=answercall\u240A\n", u"Missing or unknown action \"answercall\u240A\""},
        // The scheme alone, and its letter case.
        {"scheme alone", u"Velmorathis.Mirrowcast", 0, {}, u"", u""},
        {"scheme alone, quoted", u"\"Velmorathis.Mirrowcast\"", 0, {}, u"", u""},
        {"scheme and colon", u"Velmorathis.Mirrowcast:", 0, {W::BadUrl}, u"", u"Invalid parameter(s) -2\n"},
        {"scheme and command", u"Velmorathis.Mirrowcast:TeamsCall", 0, {W::BadUrl}, u"", u"Invalid parameter(s) -3\n"},
        {"empty query", Url, 3, {W::UnknownAction}, u"", u"Missing or unknown action \"\""},
        {"upper-case scheme and names", u"VELMORATHIS.MIRROWCAST:TEAMSCALL?ACTION=ANSWERCALL&PARTICIPANT=X", 0,
         {W::Answer}, u"action=ANSWERCALL\nparticipant=X\n", u""},
        // Long lines: a quoted URL of more than 2,083 characters is refused,
        // an unquoted one is cut to 2,083, a value longer than 255 decoded
        // stops the parse, a console line is quoted in a text cut at 1023
        // characters.
        {"quoted URL of 2,048", u"\"" + urlOfLength(2048) + u"\"", 0, {W::BadUrl}, u"", u"Invalid parameter(s) -4\n"},
        {"unquoted URL of 2,048", urlOfLength(2048), 0, {W::BadUrl}, u"", u"Invalid parameter(s) -4\n"},
        {"quoted URL of 32,766", u"\"" + urlOfLength(32764) + u"\"", 0, {W::BadUrl}, u"", u"Invalid parameter(s) -5\n"},
        {"unquoted URL of 32,766", urlOfLength(32766), 0, {W::BadUrl}, u"", u"Invalid parameter(s) -4\n"},
        {"quoted --debug of 32,766", u"\"--debug" + repeat(32757) + u"\"", 0, {}, u"", u""},
        {"console line of 2,048", console2048, 1, {W::ConsoleCommand}, u"", cutSyntaxLine + console2048.substr(0, 994)},
        {"console line of 32,766", console32766, 1, {W::ConsoleCommand}, u"",
         cutSyntaxLine + console32766.substr(0, 994)},
        // Percent escapes: one pass; a well-formed UTF-8 run gives its
        // character, any other escape its one code unit.
        {"lone percent", Url + u"action=%", 3, {W::UnknownAction}, u"action=%\n", u""},
        {"percent and one digit", Url + u"action=%4", 3, {W::UnknownAction}, u"action=%4\n", u""},
        {"percent and a non-digit", Url + u"action=%G1", 3, {W::UnknownAction}, u"action=%G1\n", u""},
        {"escaped zero ends the value", Url + u"action=answercall%00junk", 0, {W::Answer}, u"action=answercall\n",
         u""},
        {"escaped zero only", Url + u"action=%00&participant=x", 3, {W::UnknownAction}, u"participant=x\n",
         u"Missing or unknown action \"\""},
        {"escaped percent is decoded once", Url + u"action=bogus&participant=%2541", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=%41\n", u""},
        {"escaped quote", Url + u"action=%22", 3, {W::UnknownAction}, u"action=\"\n",
         u"Missing or unknown action \"\"\""},
        {"escaped line break", Url + u"action=bogus&participant=a%0D%0Ab", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=a\u240D\u240Ab\n", u""},
        {"escaped terminal and bidirectional controls", Url + u"action=bogus&participant=%1B[2J%C2%85%E2%80%AEx%7F",
         3, {W::UnknownAction}, u"action=bogus\nparticipant=\u241B[2J\uFFFD\uFFFDx\u2421\n", u""},
        {"UTF-8 escapes give their character", Url + u"action=bogus&participant=%C3%B6", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=\u00F6\n", u""},
        {"escaped surrogate, UTF-8 style", Url + u"action=bogus&participant=%ED%A0%80", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=\u00ED\u00A0\uFFFD\n", u""},
        {"escaped surrogate, %u style", Url + u"action=bogus&participant=%uD800", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=%uD800\n", u""},
        {"raw lone surrogate", Url + u"action=bogus&participant=" + std::u16string(1, char16_t{0xD800}) + u"x", 3,
         {W::UnknownAction}, u"action=bogus\nparticipant=\uFFFDx\n", u""},
        // Many, repeated and case-variant names.
        {"1,000 parameters, unquoted", Url + u"action=bogus" + manyParameters(1000), 3, {W::UnknownAction},
         u"action=bogus\n", u""},
        {"1,000 parameters, quoted", u"\"" + Url + u"action=bogus" + manyParameters(1000) + u"\"", 0, {W::BadUrl},
         u"", u"Invalid parameter(s) -5\n"},
        {"duplicate action: the last stands", Url + u"action=bogus&action=closecallwindow", 0, {W::Close},
         u"action=closecallwindow\n", u""},
        {"duplicate participant", Url + u"action=bogus&participant=x&participant=y", 3, {W::UnknownAction},
         u"action=bogus\nparticipant=y\n", u""},
        {"names differing in case only", Url + u"ACTION=answercall&Action=closecallwindow&participant=x", 0,
         {W::Close}, u"action=closecallwindow\nparticipant=x\n", u""},
        {"separator smuggling an action", Url + u"action=bogus%26action=answercall", 3, {W::UnknownAction},
         u"action=bogus&action=answercall\n", u""},
    };
    for (const Case& c : cases) {
        const Outcome o = run(c.commandLine);
        EXPECT_EQ(o.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(o.works, c.works) << c.what << ": one kind of work, and only the one its form defines";
        EXPECT_EQ(o.parameters, c.parameters) << c.what << "\n" << narrow(o.log, 120);
        if (!c.mustLog.empty()) {
            EXPECT_TRUE(contains(o.log, c.mustLog)) << c.what << "\n" << narrow(o.log, 120);
        }
        EXPECT_EQ(o.debug, c.debug) << c.what;
        EXPECT_FALSE(o.registryTouched) << c.what;
        EXPECT_TRUE(inmemory::sentInput().empty() && inmemory::postedMessages().empty()) << c.what;
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }
    // A console line is quoted in full only as far as the 1023 characters of
    // a text reach: nothing of it is written past that.
    EXPECT_EQ(run(console32766).log, cutSyntaxLine + console32766.substr(0, 1023 - cutSyntaxLine.size()));
}

TEST(HostileInput, FixedBuffersHoldAtTheirEdges)
{
    // The working copy: a quoted URL of up to 2,083 characters is handled
    // and a longer one refused; an unquoted one is cut to its first 2,083
    // (the tail is an unknown parameter, skipped whole or cut).
    const std::u16string head = Url + u"action=bogus&participant=x&tail=";
    for (std::size_t n : {2082u, 2083u, 2084u, 2085u}) {
        const std::u16string url = head + repeat(n - head.size());
        const Outcome quoted = run(u"\"" + url + u"\"");
        EXPECT_EQ(quoted.exitCode, n <= 2083 ? 3 : 0) << n;
        EXPECT_EQ(quoted.works, n <= 2083 ? Works{Work::UnknownAction} : Works{Work::BadUrl}) << n;
        EXPECT_EQ(run(url).parameters, u"action=bogus\nparticipant=x\n") << n;
    }

    // Each value: 255 units decoded are stored whole, more stop the parse
    // with -4; the escape counts as the one unit it decodes to.
    for (std::size_t slot = 0; slot < InvocationParameters::Count; ++slot) {
        for (std::size_t n : {254u, 255u, 256u, 257u}) {
            InvocationParameters table;
            const std::u16string name = table.slots[slot].name;
            const std::u16string raw = repeat(n - 1, u'v') + u"%41";
            const std::size_t later = slot == InvocationParameters::Action ? InvocationParameters::Participant
                                                                           : InvocationParameters::Action;
            const std::u16string url = Url + name + u"=" + raw + u"&" + table.slots[later].name + u"=late";
            const std::int32_t result = number(parseUrlParameters(url.c_str(), u"TeamsCall", table));
            EXPECT_EQ(result, n <= 255 ? 0 : -4) << narrow(name) << " " << n;
            if (n <= 255) {
                EXPECT_EQ(std::u16string(table.slots[slot].value), repeat(n - 1, u'v') + u"A") << narrow(name);
            }
            EXPECT_EQ(std::u16string(table.slots[later].value), n <= 255 ? u"late" : u"") << "-4 stops the parse";
        }
    }
    {
        InvocationParameters table;
        const std::u16string url = Url + manyParameters(1000).substr(1) + u"&action=answercall";
        EXPECT_EQ(number(parseUrlParameters(url.c_str(), u"TeamsCall", table)), 0);
        EXPECT_EQ(std::u16string(table.slots[InvocationParameters::Action].value), u"answercall");
    }

    // Titles: read into 255 characters, so a participant's name beyond them
    // is not seen, and the listing shows the first 255.
    for (std::size_t n : {254u, 255u, 256u, 257u}) {
        freshMachine();
        const win::DWORD teams = inmemory::addProcess(TeamsImage);
        inmemory::addWindowAtBottom({.title = u"Chat | Contoso | Microsoft Teams", .processId = teams});
        // A second candidate: no notification by exclusion.
        inmemory::addWindowAtBottom({.title = u"Meeting with Ann Lee", .processId = teams});
        const std::u16string title = repeat(n - 9, u't') + u"JohnSmith";
        const win::HWND call = inmemory::addWindowAtBottom({.title = title, .processId = teams});
        const Outcome o = runOnMachine(Url + u"action=closecallwindow&participant=John%20Smith");
        const bool found = n <= 255;
        EXPECT_EQ(contains(o.log, u"Sending Close command to window \"" + title + u"\"...\n"), found) << n;
        EXPECT_EQ(contains(o.log, u"Teams call window not found\n"), !found) << n;
        if (!found) {
            EXPECT_TRUE(contains(o.log, u"[" + title.substr(0, 255) + u"]\n")) << n;
        }
        EXPECT_EQ(inmemory::postedMessages().size(), found ? 1u : 0u) << n;
        if (found) {
            EXPECT_EQ(inmemory::postedMessages()[0].window, call);
        }
    }

    // The participant: its space-free copy holds 255 characters, the rest is
    // cut, so a longer name still finds a title that holds its first 255.
    for (std::size_t n : {254u, 255u, 256u, 257u, 600u}) {
        freshMachine();
        const win::DWORD teams = inmemory::addProcess(TeamsImage);
        const win::HWND call = inmemory::addWindow({.title = repeat(255, u'a'), .processId = teams});
        TestLog log;
        TeamsWindowScan scan;
        scan.log = &log;
        const std::u16string participant = repeat(n, u'a') + u"   ";
        EXPECT_EQ(findCallWindow(scan, participant.c_str(), false), call) << n;
        closeCallWindow(scan, participant.c_str());
        EXPECT_TRUE(contains(inmemory::fileText(DayLogFile), u"participant \"" + participant + u"\"...\n")) << n;
    }

    // The log's path: 259 characters at most, or the run's entries go to the
    // user's file (and the console all the same).
    for (std::size_t length : {258u, 259u, 260u, 261u}) {
        freshMachine();
        inmemory::setParentConsole(true);
        // "C:\" + folder + "\Velmorathis\Velmorathis Mirrowcast\VelmorathisMirrowcast1.log"
        const std::size_t folderLength = length - 65;
        inmemory::setProgramDataPath(u"C:\\" + repeat(folderLength, u'd'));
        {
            TestLog log;
            EXPECT_EQ(util::length(log.logPath), length <= 259 ? length : 0u) << length;
            EXPECT_EQ(runEntryPoint(log, nullptr, u"/help", 10), 0);
        }
        EXPECT_TRUE(contains(inmemory::consoleOutput(), u"Supported commands:\n")) << length;
        EXPECT_EQ(contains(inmemory::fileText(UserLogFile), u"Supported commands:\n"), length > 259) << length;
    }
}
