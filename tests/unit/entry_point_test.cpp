// The entry point's dispatch on the in-memory Windows: which form a command
// line is taken for, the lines it logs, and the exit codes scripts and
// support rely on (a browser never sees them). The protocol URL parser:
// results, which slots a query fills, decoding, and the fixed-size values
// under long and hostile input.
//
// And hostile command lines. A protocol URL comes from a web page, so whatever
// it holds must get exactly the behaviour of its form: one kind of work, the
// parameter lines the parser defines, the exit code scripts and support read,
// and never a console command or a second action smuggled in behind a quote
// or a separator. Run under host-asan, the same table proves that no text,
// however long, is written past a fixed buffer.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "app/entry_point.h"
#include "inmemory/inmemory.h"
#include "program_run.h"
#include "teams/teams_window_scan.h"
#include "test_log.h"
#include "test_text.h"
#include "texts.h"
#include "url/invocation_parameters.h"
#include "util/strings.h"

// The parser's result as the number "Invalid parameter(s) %d" shows.
template <class... Args>
std::int32_t parsed(Args&&... args)
{
    return number(url::parseUrlParameters(std::forward<Args>(args)...));
}

namespace {

using texts::text;

// action, participant, participantnumber, participant2, participant2number
using Values = std::array<std::u16string, url::InvocationParameters::Count>;

Values valuesOf(const url::InvocationParameters& p)
{
    return {p.slots[0].value, p.slots[1].value, p.slots[2].value, p.slots[3].value, p.slots[4].value};
}

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
    EXPECT_TRUE(withoutTimeStamps(run.logText).starts_with(StartLines)) << narrow(run.logText);
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

// `setUp` prepares the fresh machine before the run (windows, registry).
Outcome run(const std::u16string& commandLine, const std::function<void()>& setUp = {})
{
    freshMachine();
    if (setUp) {
        setUp();
    }
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
        {"quote, then a console command",
         u"\"" + Url + u"action=bogus\" /registerhandler",
         3,
         {W::UnknownAction},
         u"action=bogus\n",
         text("unknown action", u"bogus")},
        {"quote inside a quoted value",
         u"\"" + Url + u"action=closecallwindow&participant=a\"b\" /unregisterhandler",
         0,
         {W::Close},
         u"action=closecallwindow\nparticipant=a\n",
         u"Closing call window for participant \"a\"...\n"},
        {"quote glued to a command",
         u"\"" + Url + u"action=answercall\"/help",
         0,
         {W::Answer},
         u"action=answercall\n",
         u""},
        {"a quoted slash command is no command", u"\"/registerhandler\"", 0, {}, u"", u""},
        {"--debug with a command behind a quote",
         u"\"--debug\" /registerhandler",
         0,
         {W::StatusWindow},
         u"",
         u"",
         true},
        {"escaped quote in a value",
         Url + u"action=bogus&participant=%22%20/registerhandler",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=\" /registerhandler\n",
         u""},
        // Backslashes are ordinary characters: no \" escape as argv parsing has.
        {"trailing backslash, quoted",
         u"\"" + Url + u"action=bogus&participant=x\\\"",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=x\\\n",
         u""},
        {"trailing backslash, unquoted",
         Url + u"action=bogus&participant=x\\",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=x\\\n",
         u""},
        {"unbalanced opening quote", u"\"" + Url + u"action=answercall", 0, {}, u"", u""},
        {"stray quote at the end",
         Url + u"action=bogus\"",
         3,
         {W::UnknownAction},
         u"action=bogus\"\n",
         text("unknown action", u"bogus\"")},
        {"stray quote in a value",
         Url + u"action=bogus&participant=\"x",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=\"x\n",
         u""},
        // Tabs, line breaks and other controls stay in the values; in the log
        // all but the tab are marked.
        {"tab after the action", Url + u"action=answercall\t", 3, {W::UnknownAction}, u"action=answercall\t\n", u""},
        {"leading tab", u"\t" + Url + u"action=answercall", 0, {}, u"", u""},
        {"raw line breaks",
         Url + u"action=bogus&participant=a\r\n[2026-01-01 00:00:00] b",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=a\u240D\u240A[2026-01-01 00:00:00] b\n",
         u""},
        {"line break after the action",
         Url + u"action=answercall\n",
         3,
         {W::UnknownAction},
         u"action=answercall\u240A\n",
         text("unknown action", u"answercall\u240A")},
        // The scheme alone, and its letter case.
        {"scheme alone", u"Velmorathis.Mirrowcast", 0, {}, u"", u""},
        {"scheme alone, quoted", u"\"Velmorathis.Mirrowcast\"", 0, {}, u"", u""},
        {"scheme and colon", u"Velmorathis.Mirrowcast:", 0, {W::BadUrl}, u"", text("invalid parameters", u"-2")},
        {"scheme and command",
         u"Velmorathis.Mirrowcast:TeamsCall",
         0,
         {W::BadUrl},
         u"",
         text("invalid parameters", u"-3")},
        {"empty query", Url, 3, {W::UnknownAction}, u"", text("unknown action", u"")},
        {"upper-case scheme and names",
         u"VELMORATHIS.MIRROWCAST:TEAMSCALL?ACTION=ANSWERCALL&PARTICIPANT=X",
         0,
         {W::Answer},
         u"action=ANSWERCALL\nparticipant=X\n",
         u""},
        // Long lines: a quoted URL of more than 2,083 characters is refused,
        // an unquoted one is cut to 2,083, a value longer than 255 decoded
        // stops the parse, a console line is quoted in a text cut at 1023
        // characters.
        {"quoted URL of 2,048",
         u"\"" + urlOfLength(2048) + u"\"",
         0,
         {W::BadUrl},
         u"",
         text("invalid parameters", u"-4")},
        {"unquoted URL of 2,048", urlOfLength(2048), 0, {W::BadUrl}, u"", text("invalid parameters", u"-4")},
        {"quoted URL of 32,766",
         u"\"" + urlOfLength(32764) + u"\"",
         0,
         {W::BadUrl},
         u"",
         text("invalid parameters", u"-5")},
        {"unquoted URL of 32,766", urlOfLength(32766), 0, {W::BadUrl}, u"", text("invalid parameters", u"-4")},
        {"quoted --debug of 32,766", u"\"--debug" + repeat(32757) + u"\"", 0, {}, u"", u""},
        {"console line of 2,048", console2048, 1, {W::ConsoleCommand}, u"", cutSyntaxLine + console2048.substr(0, 994)},
        {"console line of 32,766",
         console32766,
         1,
         {W::ConsoleCommand},
         u"",
         cutSyntaxLine + console32766.substr(0, 994)},
        // Percent escapes: one pass; a well-formed UTF-8 run gives its
        // character, any other escape its one code unit.
        {"lone percent", Url + u"action=%", 3, {W::UnknownAction}, u"action=%\n", u""},
        {"percent and one digit", Url + u"action=%4", 3, {W::UnknownAction}, u"action=%4\n", u""},
        {"percent and a non-digit", Url + u"action=%G1", 3, {W::UnknownAction}, u"action=%G1\n", u""},
        // An escaped zero would end a value early ("%00Nobody" reads as no
        // participant: any call window): the URL is refused whole.
        {"escaped zero in a value",
         Url + u"action=answercall%00junk",
         0,
         {W::BadUrl},
         u"",
         text("invalid parameters", u"-6")},
        {"escaped zero opens a name",
         Url + u"action=closecallwindow&participant=%00Nobody%20Here",
         0,
         {W::BadUrl},
         u"",
         text("invalid parameters", u"-6")},
        {"escaped zero of an unknown name is never decoded",
         Url + u"action=bogus&x=%00",
         3,
         {W::UnknownAction},
         u"action=bogus\n",
         u""},
        {"escaped percent is decoded once",
         Url + u"action=bogus&participant=%2541",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=%41\n",
         u""},
        {"escaped quote", Url + u"action=%22", 3, {W::UnknownAction}, u"action=\"\n", text("unknown action", u"\"")},
        {"escaped line break",
         Url + u"action=bogus&participant=a%0D%0Ab",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=a\u240D\u240Ab\n",
         u""},
        {"escaped terminal and bidirectional controls",
         Url + u"action=bogus&participant=%1B[2J%C2%85%E2%80%AEx%7F",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=\u241B[2J\uFFFD\uFFFDx\u2421\n",
         u""},
        {"UTF-8 escapes give their character",
         Url + u"action=bogus&participant=%C3%B6",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=\u00F6\n",
         u""},
        {"escaped surrogate, UTF-8 style",
         Url + u"action=bogus&participant=%ED%A0%80",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=\u00ED\u00A0\uFFFD\n",
         u""},
        {"escaped surrogate, %u style",
         Url + u"action=bogus&participant=%uD800",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=%uD800\n",
         u""},
        {"raw lone surrogate",
         Url + u"action=bogus&participant=" + std::u16string(1, char16_t{0xD800}) + u"x",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=\uFFFDx\n",
         u""},
        // Many, repeated and case-variant names.
        {"1,000 parameters, unquoted",
         Url + u"action=bogus" + manyParameters(1000),
         3,
         {W::UnknownAction},
         u"action=bogus\n",
         u""},
        {"1,000 parameters, quoted",
         u"\"" + Url + u"action=bogus" + manyParameters(1000) + u"\"",
         0,
         {W::BadUrl},
         u"",
         text("invalid parameters", u"-5")},
        {"duplicate action: the last stands",
         Url + u"action=bogus&action=closecallwindow",
         0,
         {W::Close},
         u"action=closecallwindow\n",
         u""},
        {"duplicate participant",
         Url + u"action=bogus&participant=x&participant=y",
         3,
         {W::UnknownAction},
         u"action=bogus\nparticipant=y\n",
         u""},
        {"names differing in case only",
         Url + u"ACTION=answercall&Action=closecallwindow&participant=x",
         0,
         {W::Close},
         u"action=closecallwindow\nparticipant=x\n",
         u""},
        {"separator smuggling an action",
         Url + u"action=bogus%26action=answercall",
         3,
         {W::UnknownAction},
         u"action=bogus&action=answercall\n",
         u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
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
    for (std::size_t slot = 0; slot < url::InvocationParameters::Count; ++slot) {
        for (std::size_t n : {254u, 255u, 256u, 257u}) {
            url::InvocationParameters table;
            const std::u16string name = table.slots[slot].name;
            const std::u16string raw = repeat(n - 1, u'v') + u"%41";
            const std::size_t later = slot == url::InvocationParameters::Action ? url::InvocationParameters::Participant
                                                                                : url::InvocationParameters::Action;
            const std::u16string url = Url + name + u"=" + raw + u"&" + table.slots[later].name + u"=late";
            const std::int32_t result = parsed(url.c_str(), u"TeamsCall", table);
            EXPECT_EQ(result, n <= 255 ? 0 : -4) << narrow(name) << " " << n;
            if (n <= 255) {
                EXPECT_EQ(std::u16string(table.slots[slot].value), repeat(n - 1, u'v') + u"A") << narrow(name);
            }
            EXPECT_EQ(std::u16string(table.slots[later].value), n <= 255 ? u"late" : u"") << "-4 stops the parse";
        }
    }
    {
        url::InvocationParameters table;
        const std::u16string url = Url + manyParameters(1000).substr(1) + u"&action=answercall";
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", table), 0);
        EXPECT_EQ(std::u16string(table.slots[url::InvocationParameters::Action].value), u"answercall");
    }

    // Titles: read into 255 characters, so a participant's name beyond them
    // is not seen, and the listing shows the first 255.
    for (std::size_t n : {254u, 255u, 256u, 257u}) {
        freshMachine();
        const win::DWORD teams = inmemory::addProcess(TeamsImage);
        inmemory::addWindowAtBottom({.title = u"Chat | Contoso | Microsoft Teams", .processId = teams});
        // A second candidate: no notification by exclusion.
        inmemory::addWindowAtBottom({.title = u"Meeting with Ann Lee", .processId = teams});
        const std::u16string title = repeat(n - 10, u't') + u" JohnSmith";
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
    for (std::size_t n : {255u, 256u, 257u, 600u}) {
        freshMachine();
        const win::DWORD teams = inmemory::addProcess(TeamsImage);
        const win::HWND call = inmemory::addWindow({.title = repeat(255, u'a'), .processId = teams});
        TestLog log;
        teams::TeamsWindowScan scan;
        scan.log = &log;
        const std::u16string participant = repeat(n, u'a') + u"   ";
        EXPECT_EQ(teams::findCallWindow(scan, participant.c_str(), false), call) << n;
        teams::closeCallWindow(scan, participant.c_str());
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
            EXPECT_EQ(app::runEntryPoint(log, nullptr, u"/help", 10), 0);
        }
        EXPECT_TRUE(contains(inmemory::consoleOutput(), u"Supported commands:\n")) << length;
        EXPECT_EQ(contains(inmemory::fileText(UserLogFile), u"Supported commands:\n"), length > 259) << length;
    }
}

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
        {u"", 0, u""},
        {u"something else", 0, u""},
        {u"/help", 0, u""},
        {u"/unknowncommand", 1, u""},
        {u"\"" + url + u"action=answercall", 0, u""},  // no closing quote
        {u"Velmorathis.Mirrowcast/TeamsCall?action=answercall", 0, u""},
        {u"Velmorathis.Mirrowcast", 0, u""},
        {u"--debug", 0, u"", true},
        {u"--DEBUG", 0, u"", true},
        {u"--debugsomething", 0, u"", true},
        {u"\"--debug\"", 0, u"", true},
        {u"-debug", 0, u""},
        {url + u"action=answercall&participant=John%20Smith", 0,
         u"action=answercall\nparticipant=John Smith\n" + text("invoked")},
        {u"\"" + url + u"action=closecallwindow\"", 0, u"action=closecallwindow\n" + text("invoked")},
        {u"\"" + url + u"action=validateconfig\" trailing", 0, u"action=validateconfig\n" + text("invoked")},
        {u"velmorathis.mirrowcast:teamscall?action=AnswerCall", 0, u"action=AnswerCall\n" + text("invoked")},
        {url + u"action=ANSWERCALL", 0, u"action=ANSWERCALL\n" + text("invoked")},
        {url + u"action=answercall%20", 3,
         u"action=answercall \n" + text("invoked") + text("unknown action", u"answercall ")},
        {url + u"participant=x", 3, u"participant=x\n" + text("invoked") + text("unknown action", u"")},
        {url + u"participant=x&action=nonsense", 3,
         u"action=nonsense\nparticipant=x\n" + text("invoked") + text("unknown action", u"nonsense")},
        {url + u"participant2number=4&participant2=c&participantnumber=2&participant=b&action=closecallwindow", 0,
         u"action=closecallwindow\nparticipant=b\nparticipantnumber=2\nparticipant2=c\nparticipant2number=4\n" +
             text("invoked")},
        {u"Velmorathis.Mirrowcast:TeamsCall", 0, text("invalid parameters", u"-3")},
        {u"Velmorathis.Mirrowcast:Other?action=answercall", 0, text("invalid parameters", u"-2")},
        {u"\"Velmorathis.Mirrowcast:TeamsCall?action=a%0D%0A[2026-01-01 00:00:00] forged\"", 3,
         u"action=a\u240D\u240A[2026-01-01 00:00:00] forged\n" + text("invoked") +
             text("unknown action", u"a\u240D\u240A[2026-01-01 00:00:00] forged")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.commandLine));
        const Outcome r = run(c.commandLine);
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
        {"no Teams", [] {}, text("invoked")},
        {"main window and a notification by title",
         [&] {
             teamsWindow(u"Microsoft Teams Notification");
             teamsWindow(u"Chat | Microsoft Teams");
         },
         u"Protocolhandler invoked (Teams main app identified) (Call notification identified)...\n"},
        {"remembered main window, notification by exclusion",
         [&] {
             teamsWindow(u"", false);
             rememberMainWindow(teamsWindow(u"Chat | Microsoft Teams", false), inmemory::now());
         },
         u"Protocolhandler invoked (Teams main app known) (Call notification found)...\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.desktop);
        const Outcome r = run(u"Velmorathis.Mirrowcast:TeamsCall?action=closecallwindow", c.setUp);
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
        SCOPED_TRACE(c.what);
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
        EXPECT_EQ(inmemory::sentInput().size(), c.enter ? 1u : 0u) << c.what;
        if (c.enter && inmemory::sentInput().size() == 1) {
            const auto& records = inmemory::sentInput()[0].records;
            EXPECT_EQ(records.size(), 1u) << "a key press and no key-up record";
            EXPECT_TRUE(!records.empty() && records[0].wVk == 0 && records[0].wScan == 0x000D &&
                        records[0].dwFlags == win::KEYEVENTF_UNICODE);
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
    Outcome r = run(u"\"" + url + u"\"");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.log.find(u"participant=\u0410\u043B\u0435\u043A\u0441\u0430\u043D\u0434\u0440\u0430 "),
              std::u16string::npos)
        << narrow(r.log);
    const std::u16string longest = url + u"&tail=" + std::u16string(2083 - url.size() - 6, u'p');
    EXPECT_EQ(run(u"\"" + longest + u"\"").exitCode, 3);
    r = run(u"\"" + longest + u"p\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.log, text("invalid parameters", u"-5"));
}

TEST(EntryPoint, UnquotedUrlIsCutTo2083Characters)
{
    const std::u16string head = u"Velmorathis.Mirrowcast:TeamsCall?action=bogus&participant=";
    const std::u16string url =
        head + std::u16string(200, u'p') + u"&x=" + std::u16string(2000, u'x') + u"&participant2=lost";
    const Outcome r = run(url);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.log.find(u"participant=" + std::u16string(200, u'p') + u"\n"), std::u16string::npos);
    EXPECT_EQ(r.log.find(u"lost"), std::u16string::npos);
}

TEST(EntryPoint, ProgramNameIsSkippedAsTheRuntimeDoes)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"\"C:\\Program Files\\V\\VelmorathisMirrowcast.exe\" \"Velmorathis.Mirrowcast:x\"",
         u"\"Velmorathis.Mirrowcast:x\""},
        {u"C:\\V\\prog.exe   /help", u"/help"},
        {u"prog.exe\t\t--debug", u"--debug"},
        {u"\"prog.exe\"/help", u"/help"},
        {u"prog.exe", u""},
        {u"\"unterminated", u""},
        {u"", u""},
    };
    for (const auto& [full, rest] : cases) {
        EXPECT_EQ(std::u16string(app::skipProgramName(full.c_str())), rest) << narrow(full);
    }
}

TEST(UrlParameters, TableHoldsTheFiveNamesInOrderWithEmptyValues)
{
    const url::InvocationParameters p;
    const char16_t* names[] = {u"action", u"participant", u"participantnumber", u"participant2", u"participant2number"};
    for (std::size_t i = 0; i < url::InvocationParameters::Count; ++i) {
        EXPECT_EQ(std::u16string(p.slots[i].name), names[i]);
        EXPECT_EQ(p.slots[i].value[0], 0);
    }
}

TEST(UrlParameters, QueriesFillTheRightSlots)
{
    struct Case {
        std::u16string url;
        std::int32_t result;
        Values values;
    };
    const std::u16string base = u"Velmorathis.Mirrowcast:TeamsCall?";
    const Case cases[] = {
        {base + u"action=answercall&participant=John%20Smith", 0, {u"answercall", u"John Smith"}},
        {base, 0, {}},
        // Empty segments are skipped, wherever they stand.
        {base + u"&action=answercall", 0, {u"answercall"}},
        {base + u"action=closecallwindow&&participant=John%20Smith", 0, {u"closecallwindow", u"John Smith"}},
        {base + u"#&action=a&#participant=b##participant2=c&", 0, {u"a", u"b", u"", u"c"}},
        {base + u"action=answercall#participant=x", 0, {u"answercall", u"x"}},
        {base + u"action=answercall&", 0, {u"answercall"}},
        {base + u"participant=&action=closecallwindow", 0, {u"closecallwindow", u""}},
        {base + u"participant&action=x", 0, {u"x"}},
        {base + u"participantnumber=5", 0, {u"", u"", u"5"}},
        {base + u"participant2=b&participant2number=7&participant=a", 0, {u"", u"a", u"", u"b", u"7"}},
        {base + u"PARTICIPANT=MixedCase", 0, {u"", u"MixedCase"}},
        {base + u"participant=a%26b%23c", 0, {u"", u"a&b#c"}},
        {base + u"participant=a+b", 0, {u"", u"a+b"}},
        {base + u"participant=%C3%B6", 0, {u"", u"\u00F6"}},
        {base + u"participant=%C8%99tefan%20%F0%90%90%80", 0, {u"", u"\u0219tefan \U00010400"}},
        {base + u"participant=M%FCller", 0, {u"", u"M\u00FCller"}},
        {base + u"p%61rticipant=x", 0, {}},
        {base + u"participant=x&participant=y", 0, {u"", u"y"}},
        {base + u"action=answercall=now", 0, {u"answercall=now"}},
        {base + u"unknown=1&action=a", 0, {u"a"}},
        {u"x:teamscall?action=answercall", 0, {u"answercall"}},
        {u"x:TeamsCallback?action=answercall", 0, {u"answercall"}},
        {u"x:TeamsCall/extra?action=a", 0, {u"a"}},
        {u"x:TeamsCall?action=a?b", 0, {u"a?b"}},
        {u"no colon here?action=a", -1, {}},
        {u"x://TeamsCall?action=a", -2, {}},
        {u"x:Teams?action=a", -2, {}},
        {u"x:TeamsCall", -3, {}},
        {u"x:TeamsCall&action=a", -3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.url));
        url::InvocationParameters p;
        EXPECT_EQ(parsed(c.url.c_str(), u"TeamsCall", p), c.result) << narrow(c.url);
        EXPECT_EQ(valuesOf(p), c.values) << narrow(c.url);
    }
    // The copy titles are compared with reads a raw '+' as a form's space;
    // %2B is the page's own '+' (URLSearchParams and encodeURIComponent
    // both write one so).
    url::InvocationParameters p;
    EXPECT_EQ(parsed(u"x:TeamsCall?participant=A%2BB+C%20D", u"TeamsCall", p), 0);
    EXPECT_EQ(std::u16string(p.slots[1].value), u"A+B+C D");
    EXPECT_EQ(std::u16string(p.slots[1].matched), u"A+B C D");
}

TEST(UrlParameters, ValuesAreBoundedAt255UnitsAsDecoded)
{
    // The limit is on the value as decoded: browsers encode every letter of
    // a Cyrillic name as six characters, and a name of 200 such letters fits.
    const std::u16string prefix = u"Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=";
    auto times = [](std::size_t n, const std::u16string& text) {
        std::u16string out;
        for (std::size_t i = 0; i < n; ++i) {
            out += text;
        }
        return out;
    };
    const std::u16string pair = u"%F0%90%90%80";  // U+10400, two units
    const std::pair<std::u16string, std::u16string> fits[] = {
        {times(255, u"x"), times(255, u"x")},
        {times(255, u"%41"), times(255, u"A")},
        {times(200, u"%D0%90"), times(200, u"\u0410")},
        {times(253, u"v") + pair, times(253, u"v") + u"\U00010400"},
    };
    for (const auto& [raw, decoded] : fits) {
        url::InvocationParameters p;
        const std::u16string url = prefix + raw + u"&participant2=z";
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", p), 0) << raw.size();
        EXPECT_EQ(std::u16string(p.slots[1].value), decoded) << raw.size();
        EXPECT_EQ(std::u16string(p.slots[3].value), u"z");
    }
    for (const std::u16string& raw :
         {times(256, u"x"), times(256, u"%41"), times(254, u"v") + pair, times(32766, u"y")}) {
        url::InvocationParameters p;
        const std::u16string url = prefix + raw + u"&participant2=z";
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", p), -4) << raw.size();
        EXPECT_EQ(std::u16string(p.slots[0].value), u"answercall") << "what was filled before stays";
        EXPECT_EQ(p.slots[2].name[0], u'p') << "next slot's name untouched";
        EXPECT_EQ(p.slots[3].value[0], 0) << "-4 stops the parse";
        EXPECT_LT(std::char_traits<char16_t>::length(p.slots[1].value), url::InvocationParameter::Capacity);
    }
}

TEST(UrlParameters, HostileQueriesKeepEverySlotTerminated)
{
    std::u16string many = u"x:TeamsCall?";
    for (int i = 0; i < 1000; ++i) {
        many += u"participant=" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"&";
    }
    many += u"action=last";
    url::InvocationParameters p;
    EXPECT_EQ(parsed(many.c_str(), u"TeamsCall", p), 0);
    EXPECT_EQ(std::u16string(p.slots[0].value), u"last");
    EXPECT_EQ(std::u16string(p.slots[1].value), std::u16string(1, static_cast<char16_t>(u'a' + 999 % 26)));

    const std::u16string odd[] = {
        u"x:TeamsCall?participant=%",
        u"x:TeamsCall?participant=%4",
        u"x:TeamsCall?participant=%G1",
        u"x:TeamsCall?participant=%D800",
        u"x:TeamsCall?participant=\t\r\n",
        u"x:TeamsCall?participant=%22%0D%0A",
        u"x:TeamsCall?=&=&==",
    };
    for (const std::u16string& url : odd) {
        url::InvocationParameters q;
        EXPECT_EQ(parsed(url.c_str(), u"TeamsCall", q), 0) << narrow(url);
        for (const url::InvocationParameter& slot : q.slots) {
            EXPECT_LT(std::char_traits<char16_t>::length(slot.value), url::InvocationParameter::Capacity);
        }
    }
    url::InvocationParameters q;
    parsed(u"x:TeamsCall?participant=%4", u"TeamsCall", q);
    EXPECT_EQ(std::u16string(q.slots[1].value), u"%4");
    EXPECT_EQ(parsed(u"x:TeamsCall?action=a&participant=Ann%00Berg", u"TeamsCall", q), -6);
    EXPECT_EQ(std::u16string(q.slots[0].value), u"a") << "what was filled before stays";
}

TEST(UrlParameters, FailuresBeforeTheQueryLeaveTheTableUnchanged)
{
    url::InvocationParameters p;
    parsed(u"x:TeamsCall?participant=kept", u"TeamsCall", p);
    for (const char16_t* bad : {u"nocolon", u"x:Other?participant=y", u"x:TeamsCall"}) {
        EXPECT_LT(parsed(bad, u"TeamsCall", p), 0);
        EXPECT_EQ(std::u16string(p.slots[1].value), u"kept");
    }
}

TEST(UrlParameters, ParsingAllocatesNothing)
{
    url::InvocationParameters p;
    const AllocationCounter counter;
    parsed(u"Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=%C8%99tefan%20Smith#x", u"TeamsCall", p);
    EXPECT_EQ(counter.count(), 0u);
}
