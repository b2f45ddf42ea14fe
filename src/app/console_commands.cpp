#include "app/console_commands.h"

#include "log/diagnostic_log.h"
#include "registration/protocol_handler.h"
#include "teams/teams_window_scan.h"
#include "util/strings.h"

namespace app {

namespace {

enum class Command { Register, Unregister, DebugInfo, ValidateConfig, Help, None };

struct CommandWord {
    const char16_t* word;
    Command command;
};

// Tried in this order, the first recognised one runs.
constexpr CommandWord CommandWords[] = {
    {u"/registerhandler", Command::Register},
    {u"/unregisterhandler", Command::Unregister},
    {u"/debuginfo", Command::DebugInfo},
    {u"/validateconfig", Command::ValidateConfig},
    {u"/help", Command::Help},
    {u"/?", Command::Help},
};

// Users have always seen this text laid out like this; the descriptions start
// in column 30.
constexpr char16_t HelpText[] =
    u"Supported commands:\n"
    u"  /registerhandler           Register protocol handler\n"
    u"  /unregisterhandler         Unregister protocol handler\n"
    u"  /validateconfig            Validate configuration, displays status window.\n"
    u"  /debuginfo                 Display info for support.\n"
    u"  /? or /help                This help text\n"
    u"\n"
    u"The registerhandler and unregisterhandler commands change the registry. This might require admin rights.\n"
    u"If the command fails with access denied, try running the command as an administrator.\n";

// A word counts when the line goes on with a blank or ends right after it. A
// tab does not count: "/help\tx" is as unknown as "/helpx".
Command recognise(const char16_t* commandLine)
{
    for (const CommandWord& entry : CommandWords) {
        const std::size_t n = util::length(entry.word);
        if (util::compareNoCaseN(commandLine, entry.word, n) == 0 && (commandLine[n] == u' ' || commandLine[n] == 0)) {
            return entry.command;
        }
    }
    return Command::None;
}

}  // namespace

ConsoleCommandResult runConsoleCommand(logging::DiagnosticLog& log, const char16_t* commandLine)
{
    if (commandLine == nullptr) {
        commandLine = u"";
    }
    const registration::ProtocolHandler handler{&log};
    switch (recognise(commandLine)) {
    case Command::Register:
        log.print(u"Registering protocol handler...\n");
        return {static_cast<std::int32_t>(handler.registerHandler())};
    case Command::Unregister:
        log.print(u"Unregistering protocol handler...\n");
        return {static_cast<std::int32_t>(handler.unregisterHandler())};
    case Command::DebugInfo: {
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        teams::listTeamsWindows(scan);
        // Support sees every window of a Teams process, whatever its class.
        teams::listTeamsProcessWindows(scan);
        // Where support finds the day's entries: the user's own folder when
        // the policy keeps them there or the shared one could not take them.
        log.reportFolderInUse();
        log.reportWeakerFolderAccess();
        return {};
    }
    case Command::ValidateConfig: {
        log.print(u"Validating configuration...\n");
        const registration::ValidateResult result = handler.validate();
        if (result == registration::ValidateResult::Valid) {
            log.print(u"Protocol handler is registered and appears to be valid.\n");
        } else {
            log.print(u"Protocol handler registration is missing or invalid (error %d).\n",
                      static_cast<std::int32_t>(result));
        }
        log.reportWeakerFolderAccess();
        // The status window follows whatever the registration looks like: it
        // shows the Teams side of the configuration.
        return {0, true};
    }
    case Command::Help:
        log.print(HelpText);
        return {};
    case Command::None:
        break;
    }
    log.print(u"Invalid command line syntax \"%s\"\n", commandLine);
    return {ExitInvalidSyntax};
}

}  // namespace app
