// The whole dispatch of an arbitrary command line, the program's whole run on
// a fresh test machine per input: the console commands, the protocol URL with
// its actions, the status window (its host stand-in) and --debug are all
// reachable.
//
// Input: one byte that sets up the machine (console, Teams windows, an existing
// registration, an old log file or a day's file that cannot be written), one
// byte that picks a Windows call to fail (0: none), then the command line.
//
// Besides the sanitizers' checks, each run must keep these properties:
//   - a protocol URL or --debug exits with 0 or 3, and 3 only when the action
//     is unknown (the log says so, in the day's file or, when another process
//     holds that, in the user's); a slash command with 0, 1 for invalid
//     syntax, 183 for another registration left in place, or, with a failing
//     call, that call's error or 13 (the program's own path unreadable);
//   - nothing but a slash command touches the registration under
//     HKEY_CLASSES_ROOT: a quote or a separator inside a URL cannot smuggle a
//     console command in;
//   - every file, process, key and session object handle is closed and every
//     security allocation released, unless the injected fault was the close
//     (or the mutex's release) itself.
#include <cstring>
#include <vector>

#include "fuzz_text.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

enum Setup : std::uint8_t {
    ParentConsole = 1,
    TeamsMain = 2,
    Notification = 4,
    NotificationHidden = 8,
    CallWindow = 16,
    Registered = 32,
    OldLogFile = 64,
    ForeignWindow = 128,
};

void prepareMachine(std::uint8_t setup, const std::u16string& commandLine)
{
    freshMachine();
    // The answer's waits look every 10 ms for up to 30 s, and the foreground
    // wait for half a second: some 3,000 looks an input, which were most of
    // the target's time. Each pause standing for ten seconds, a wait ends
    // after a few looks, still through every branch (a quick look, a full
    // look, the five seconds in which only a new window counts, the limit).
    // Nothing here checks timing.
    inmemory::stretchPauses(1000);
    inmemory::setParentConsole((setup & ParentConsole) != 0);

    const win::DWORD teams = inmemory::addProcess(TeamsImage);
    inmemory::WindowTraits traits;
    traits.processId = teams;
    if (setup & TeamsMain) {
        traits.title = u"Chat | Contoso | Microsoft Teams";
        inmemory::addWindowAtBottom(traits);
    }
    if (setup & Notification) {
        traits.title = u"Microsoft Teams Notification";
        traits.visible = (setup & NotificationHidden) == 0;
        inmemory::addWindowAtBottom(traits);
        traits.visible = true;
    }
    if (setup & CallWindow) {
        // The command line itself as a title: long, odd and line-broken
        // titles meet the lookup and the listing.
        traits.title = commandLine.substr(0, 300);
        inmemory::addWindowAtBottom(traits);
        traits.title = u"Meeting with John Smith";
        traits.minimized = (setup & NotificationHidden) != 0;
        inmemory::addWindowAtBottom(traits);
        traits.minimized = false;
    }
    if (setup & ForeignWindow) {
        const win::DWORD browser = inmemory::addProcess(BrowserImage);
        inmemory::addWindow({.title = u"Microsoft Teams Notification", .processId = browser});
    }
    if (setup & Registered) {
        registerHandlerByHand();
    }
    if (setup & OldLogFile) {
        // Last week's file, or (with a console) a folder in its place, so
        // that every entry of the run goes to the user's file. A file another
        // run holds for the whole run would send them there too, but only
        // after the log's second of waiting for it: 100 simulated retries,
        // which were three quarters of the target's time. That wait is the
        // same for every command line; the unit tests and the fault sweep
        // hold the file, and here an injected sharing violation (an even
        // fault byte) makes the log wait for a moment.
        if (setup & ParentConsole) {
            inmemory::addFolder(DayLogFile);
        } else {
            inmemory::addFile(DayLogFile, u"old entry\n", 0);
        }
    }
}

struct Registration {
    bool scheme;
    std::u16string command;
    bool operator==(const Registration&) const = default;
};

Registration registration()
{
    return {inmemory::keyExists(SchemeKey),
            inmemory::keyExists(CommandKey) ? inmemory::valueString(CommandKey, u"") : u"<none>"};
}

bool isCloseFunction(std::string_view name)
{
    return name == "closeFile" || name == "closeRegistryKey" || name == "releaseMutex" ||
           name == "closeSessionObject" || name == "LocalFree" || name == "FreeSid";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input{data, size};
    const std::uint8_t setup = input.byte();
    const std::uint8_t fault = input.byte();
    std::u16string line = input.rest();
    line = line.substr(0, line.find(u'\0'));
    // As long as the text and no longer, so a read past the end is caught.
    std::vector<char16_t> commandLine(line.begin(), line.end());
    commandLine.push_back(0);

    prepareMachine(setup, line);
    const Registration before = registration();
    const std::size_t callsBefore = inmemory::calls().size();
    // Odd: refused; even: held by another process, the two failures the
    // program meets most.
    const win::DWORD error = (fault & 1) != 0 ? win::ERROR_ACCESS_DENIED : win::ERROR_SHARING_VIOLATION;
    if (fault != 0) {
        inmemory::failCallNumber(fault, error);
    }

    const ProgramRun run = runProgramOnDouble(commandLine.data());
    const std::int32_t code = run.exitCode;
    const bool wroteUnknownAction =
        (run.log + inmemory::fileText(UserLogFile)).find(u"Missing or unknown action \"") != std::u16string::npos;

    const bool slashCommand = !line.empty() && line[0] == u'/';
    const bool failedCallsCode = fault != 0 && (code == static_cast<std::int32_t>(error) || code == 13);
    const bool slashCodes = code == 0 || code == 1 || code == 183 || failedCallsCode;
    if (slashCommand ? !slashCodes : code != 0 && code != 3) {
        fuzz::fail("an exit code the form does not give", line);
    }
    if (code == 3 && (slashCommand || (fault == 0 && !wroteUnknownAction))) {
        fuzz::fail("exit code 3 without an unknown protocol action", line);
    }
    if (!slashCommand && registration() != before) {
        fuzz::fail("the registration changed without a slash command", line);
    }
    const auto& calls = inmemory::calls();
    const bool closeFailed =
        fault != 0 && callsBefore + fault <= calls.size() && isCloseFunction(calls[callsBefore + fault - 1]);
    if (!closeFailed) {
        if (inmemory::openHandleCount() != 0) {
            fuzz::fail("a file or process handle was left open", line);
        }
        if (inmemory::openKeyCount() != 0) {
            fuzz::fail("a registry key was left open", line);
        }
    }
    // libFuzzer runs an input again under its leak check whenever the input
    // allocated more than it freed, as one that left the machine bigger than
    // the last one did: freed here, every input pays only for itself.
    freshMachine();
    return 0;
}
