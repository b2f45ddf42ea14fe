// Every Windows call the program makes, failed in turn. For each main flow the
// calls of an undisturbed run are counted first; then the flow runs again once
// per call, with exactly that call failing. Whatever fails, the program must
// not crash, must end with the exit code of its form (for the registry
// commands: the error of the registry call that failed), must close every handle
// and key it opened, and must not let a failure of its log stop or change the
// work: a log failure may move an entry to the user's file, never lose it,
// never change the action, and never tear an entry.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

const std::u16string Url = u"Velmorathis.Mirrowcast:TeamsCall?";
constexpr char16_t PermissionWarning[] = u"Warning: unable to set user permissions on log folder\n";

// Every layer function the flows call stands in exactly one of the first
// three lists, or the sweep fails: it cannot tell what a failure of a new
// function may change until someone says. Only the log calls the LogOnly
// ones: their failure must leave the work of the run exactly as it is.
const std::set<std::string_view> LogOnly = {
    "attachParentConsole",
    "knownFolderPath",
    "pathExists",
    "createFolder",
    "createFolderWithAccess",
    "setProtectedFolderAccess",
    "readFolderAccess",
    "openFile",
    "appendToFile",
    "readFileFacts",
    "readFinalPath",
    "deleteFile",
    "writeConsole",
    "releaseConsole",
    "readLogSettingValue",
    "currentProcessId",
    "processSessionId",
};
// Their failure may change what the run does; the exit code still tells.
const std::set<std::string_view> WorkChanging = {
    "moduleFileName",
    "readClock",
    "monotonicMilliseconds",
    "pause",
    "consoleWindow",
    "takeWindowSnapshot",
    "readWindowFacts",
    "readWindowImagePath",
    "isWindowVisible",
    "windowProcessId",
    "foregroundWindow",
    "bringToForeground",
    "rootOwner",
    "postSystemCommand",
    "sendKeys",
    "openRegistryKey",
    "createRegistryKey",
    "setRegistryValue",
    "readRegistryValue",
    "deleteRegistryTree",
    "readWindowTitle",
    "openSessionMutex",
    "takeMutex",
    "openSessionEvent",
    "setEvent",
    "resetEvent",
    "isEventSet",
    "addWindowsOfClass",
    "readWindowState",
};
// A failed release leaves its handle open, and nothing else.
const std::set<std::string_view> Releasing = {"closeFile", "closeRegistryKey", "releaseMutex", "closeSessionObject"};
const std::set<std::string_view> FileWriting = {"openFile", "appendToFile", "readFileFacts", "readFinalPath"};
const std::set<std::string_view> ConsoleWriting = {"attachParentConsole", "writeConsole"};

struct Machine {
    bool console = false;
    bool teams = false;
    bool registered = false;
    bool folder = true;
    bool oldFile = false;
    bool dayFileHeld = false;             // by another program, the whole run: the entries go to the user's file
    bool notificationShowsLater = false;  // hidden at first, visible a second later
    bool userFolderAndDetail = false;     // by machine policy
};

// In a flow's table of exit codes by failing call: the call's own error.
constexpr std::int32_t ItsError = -1;

struct Flow {
    const char* name;
    Machine machine;
    std::u16string commandLine;
    std::int32_t exitCode;
    std::map<std::string_view, std::int32_t> exitCodeWhenFails = {};  // by failing call, where not exitCode
};

// What a run did that is not its log.
struct Work {
    std::vector<std::pair<win::WPARAM, std::u16string>> commands;  // posted WM_SYSCOMMANDs, by target title
    std::size_t shortcuts = 0;  // the six-record answer shortcut, not the console's Enter
    bool statusWindow = false;
    std::u16string registration;
    bool operator==(const Work&) const = default;
};

struct Outcome {
    std::int32_t exitCode = 0;
    Work work;
    std::vector<std::u16string> entries;      // of the day's file, prefixes removed
    std::vector<std::u16string> userEntries;  // of the user's file
    std::u16string console;
    bool leaked = false;
};

void prepare(const Machine& m, std::map<win::HWND, std::u16string>& titles)
{
    freshMachine();
    inmemory::setParentConsole(m.console);
    if (m.folder) {
        inmemory::setFolderAccess(LogFolder, LogFolderList);
    }
    if (m.oldFile) {
        inmemory::addFile(DayLogFile, u"last week\n", 0);
    }
    if (m.dayFileHeld) {
        inmemory::holdFile(DayLogFile);
    }
    if (m.registered) {
        registerHandlerByHand();
    }
    if (m.userFolderAndDetail) {
        inmemory::setStringValue(PolicyKey, u"LogFolder", u"User");
        inmemory::setValue(PolicyKey, u"DetailLogging", win::REG_DWORD, {1, 0, 0, 0});
    }
    if (m.teams) {
        inmemory::WindowTraits traits;
        traits.processId = inmemory::addProcess(TeamsImage);
        for (const char16_t* title :
             {u"Microsoft Teams Notification", u"Chat | Contoso | Microsoft Teams", u"Meeting with John Smith"}) {
            traits.title = title;
            const win::HWND window = inmemory::addWindowAtBottom(traits);
            titles[window] = title;
            if (m.notificationShowsLater && titles.size() == 1) {
                inmemory::setWindowVisible(window, false);
                inmemory::at(inmemory::now() + inmemory::TicksPerSecond,
                             [window] { inmemory::setWindowVisible(window, true); });
            }
        }
    }
}

// Runs the flow; with k > 0 the k-th Windows call from the log's set-up on
// fails with `error`. `names` receives the calls made.
Outcome runFlow(const Flow& flow, std::uint64_t k, win::DWORD error, std::vector<std::string_view>* names = nullptr)
{
    std::map<win::HWND, std::u16string> titles;
    prepare(flow.machine, titles);
    const std::size_t before = inmemory::calls().size();
    if (k > 0) {
        inmemory::failCallNumber(k, error);
    }
    Outcome r;
    const ProgramRun run = runProgramOnDouble(flow.commandLine);
    r.exitCode = run.exitCode;
    for (const inmemory::PostedMessage& m : inmemory::postedMessages()) {
        if (m.message == win::WM_SYSCOMMAND) {
            r.work.commands.emplace_back(m.wParam, titles[m.window]);
        }
    }
    for (const inmemory::SentInput& input : inmemory::sentInput()) {
        r.work.shortcuts += input.records.size() == 6 ? 1 : 0;
    }
    r.work.statusWindow = !run.statusWindows.empty();
    r.work.registration = inmemory::keyExists(CommandKey) ? inmemory::valueString(CommandKey, u"") : u"(none)";
    for (const std::u16string& folder : {LogFolder, UserLogFolder}) {
        for (const char16_t* name : {u"\\VelmorathisMirrowcast1.log", u"\\VelmorathisMirrowcast-1.log"}) {
            std::u16string text = inmemory::fileText(folder + name);
            if (text.starts_with(u"last week\n")) {
                text.erase(0, 10);  // kept when its expiry failed
            }
            // The warning a failure can add, and the lines that tie the two
            // files together, are not the run's own entries.
            if (const std::size_t at = text.find(PermissionWarning); at != std::u16string::npos && at >= 22) {
                text.erase(at - 22, 22 + std::size(PermissionWarning) - 1);
            }
            for (std::u16string& e : logEntries(text)) {
                if (e.starts_with(u"[2468] ")) {
                    e.erase(0, 7);  // the process id that detail logging puts after each stamp
                }
                // Nor are the lines whose words a failure changes by design:
                // where the entries went, the session that could not be read,
                // the policy that could not be.
                if (!e.starts_with(u"Log file could not be written (error ") &&
                    !e.ends_with(u" entries of this run were written to the user's log folder.\n") &&
                    !e.starts_with(u"Log folder in use: ") && !e.starts_with(u"Process 2468, session ") &&
                    !e.starts_with(u"Policy key could not be read (error ")) {
                    (folder == LogFolder ? r.entries : r.userEntries).push_back(e);
                }
            }
        }
    }
    r.console = inmemory::consoleOutput();
    r.leaked = inmemory::openHandleCount() != 0 || inmemory::openKeyCount() != 0;
    if (names != nullptr) {
        names->assign(inmemory::calls().begin() + static_cast<std::ptrdiff_t>(before), inmemory::calls().end());
    }
    return r;
}

bool isSubsequence(const std::vector<std::u16string>& part, const std::vector<std::u16string>& whole)
{
    std::size_t j = 0;
    for (const std::u16string& e : part) {
        while (j < whole.size() && whole[j] != e) {
            ++j;
        }
        if (j == whole.size()) {
            return false;
        }
        ++j;
    }
    return true;
}

}  // namespace

TEST(FaultInjection, EveryFailingCallLeavesExitCodeWorkAndLogWhole)
{
    const Machine desktop{.teams = true};
    const Machine registered{.teams = true, .registered = true};
    const Machine newFolder{.console = true, .folder = false};
    const Machine oldFile{.console = true, .oldFile = true};
    const Machine held{.console = true, .dayFileHeld = true};
    const Machine waiting{.teams = true, .notificationShowsLater = true};
    const Machine perUser{.console = true, .teams = true, .userFolderAndDetail = true};
    const Flow flows[] = {
        {"protocol answer", desktop, u"\"" + Url + u"action=answercall&participant=John%20Smith\"", 0},
        {"protocol answer, waiting", waiting, u"\"" + Url + u"action=answercall&participant=John%20Smith\"", 0},
        {"protocol close", desktop, u"\"" + Url + u"action=closecallwindow&participant=John%20Smith\"", 0},
        {"protocol validate", desktop, u"\"" + Url + u"action=validateconfig\"", 0},
        {"protocol unknown action", desktop, u"\"" + Url + u"action=bogus&participant=x\"", 3},
        {"protocol bad URL", desktop, u"\"Velmorathis.Mirrowcast:TeamsCall\"", 0},
        {"/registerhandler",
         desktop,
         u"/registerhandler",
         0,
         {{"readRegistryValue", ItsError},
          {"openRegistryKey", ItsError},
          {"createRegistryKey", ItsError},
          {"setRegistryValue", ItsError},
          {"moduleFileName", 13}}},
        // Its own path unreadable, the registration found cannot be compared.
        {"/registerhandler, already there",
         registered,
         u"/registerhandler",
         0,
         {{"readRegistryValue", ItsError}, {"moduleFileName", 183}}},
        {"/unregisterhandler",
         registered,
         u"/unregisterhandler",
         0,
         {{"openRegistryKey", ItsError}, {"deleteRegistryTree", ItsError}}},
        // Only a key that is surely not there is "not found".
        {"/unregisterhandler, not there", desktop, u"/unregisterhandler", 0, {{"openRegistryKey", ItsError}}},
        {"/validateconfig", registered, u"/validateconfig", 0},
        {"/debuginfo", desktop, u"/debuginfo", 0},
        {"/help", desktop, u"/help", 0},
        {"/?", desktop, u"/?", 0},
        {"invalid command", desktop, u"/bogus", 1},
        {"--debug", desktop, u"--debug", 0},
        {"log set-up: new folder, console", newFolder, u"/help", 0},
        {"log set-up: last week's file, console", oldFile, u"\"" + Url + u"action=bogus\"", 3},
        {"log: the day's file held, console", held, u"/help", 0},
        {"log: the user's folder and detail by policy, console", perUser, u"/debuginfo", 0},
    };

    std::set<std::string_view> sites;
    std::size_t runs = 0;
    for (const Flow& flow : flows) {
        std::vector<std::string_view> names;
        const Outcome clean = runFlow(flow, 0, 0, &names);
        SCOPED_TRACE(flow.name);
        const bool inUserFile = flow.machine.dayFileHeld || flow.machine.userFolderAndDetail;
        // An undisturbed run that is not what the flow says makes every run
        // with a failure beside it meaningless: the flow is left there.
        EXPECT_EQ(clean.exitCode, flow.exitCode);
        EXPECT_FALSE(clean.leaked);
        EXPECT_EQ(clean.userEntries.empty(), !inUserFile);
        EXPECT_FALSE(names.empty());
        if (clean.exitCode != flow.exitCode || clean.leaked || clean.userEntries.empty() == inUserFile ||
            names.empty()) {
            continue;
        }
        sites.insert(names.begin(), names.end());

        for (std::uint64_t k = 1; k <= names.size(); ++k) {
            const std::string_view failing = names[k - 1];
            // Refused, and (for the log's file) held by another run: the two
            // failures met most.
            std::vector<win::DWORD> errors = {win::ERROR_ACCESS_DENIED};
            if (failing == "openFile") {
                errors.push_back(win::ERROR_SHARING_VIOLATION);
            }
            for (const win::DWORD error : errors) {
                const Outcome r = runFlow(flow, k, error);
                ++runs;
                const std::string where = std::string(flow.name) + ", call " + std::to_string(k) + " " +
                                          std::string(failing) + " fails with " + std::to_string(error);
                const auto special = flow.exitCodeWhenFails.find(failing);
                const std::int32_t expected = special == flow.exitCodeWhenFails.end() ? flow.exitCode
                                              : special->second == ItsError           ? static_cast<std::int32_t>(error)
                                                                                      : special->second;
                EXPECT_EQ(r.exitCode, expected) << where;
                if (Releasing.count(failing) == 0) {
                    EXPECT_FALSE(r.leaked) << where;
                }
                if (LogOnly.count(failing) == 0) {
                    continue;
                }
                EXPECT_EQ(r.work, clean.work) << where << ": a log failure must not change the work";
                // Every entry of the run, in whichever file the undisturbed run put them.
                const std::vector<std::u16string>& told = inUserFile ? clean.userEntries : clean.entries;
                const bool sameFiles = r.entries == clean.entries && r.userEntries == clean.userEntries;
                EXPECT_TRUE(isSubsequence(r.entries, told) && isSubsequence(r.userEntries, told))
                    << where << ": entries are whole, in order";
                if (!inUserFile) {  // else the one failure may hit the user's file: lost whole
                    EXPECT_EQ(r.entries.size() + r.userEntries.size(), told.size())
                        << where << ": what the day's file loses, the user's file keeps";
                }
                if (error == win::ERROR_SHARING_VIOLATION) {
                    EXPECT_TRUE(sameFiles) << where << ": a busy file is waited for";
                }
                if (FileWriting.count(failing) != 0 && flow.machine.console) {
                    EXPECT_TRUE(r.console == clean.console || r.console == PermissionWarning + clean.console)
                        << where << ": what the file loses, the console still shows";
                }
                if (ConsoleWriting.count(failing) != 0) {
                    EXPECT_TRUE(sameFiles) << where << ": the console's failure costs the files nothing";
                }
            }
        }
    }
    // The reach of the sweep, for the record.
    std::string list;
    for (const std::string_view site : sites) {
        list += std::string(site) + " ";
        EXPECT_EQ(LogOnly.count(site) + WorkChanging.count(site) + Releasing.count(site), 1u)
            << site << ": say in exactly one list what its failure may change";
    }
    std::printf("fault injection: %zu flows, %zu call sites, %zu runs\n  %s\n", std::size(flows), sites.size(), runs,
                list.c_str());
    EXPECT_GE(sites.size(), 25u) << "every flow's calls are swept";
}
