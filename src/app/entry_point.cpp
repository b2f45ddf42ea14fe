#include "app/entry_point.h"

#include "app/console_commands.h"
#include "log/diagnostic_log.h"
#include "mirrowcast_version.h"
#include "teams/answer_turn.h"
#include "teams/teams_window_scan.h"
#include "ui/status_window.h"
#include "url/invocation_parameters.h"
#include "util/strings.h"

namespace app {

namespace {

constexpr char16_t SchemeName[] = u"Velmorathis.Mirrowcast";
constexpr char16_t CommandName[] = u"TeamsCall";
constexpr char16_t DebugSwitch[] = u"--debug";

std::int32_t runProtocolUrl(logging::DiagnosticLog& log, win::HINSTANCE instance, const char16_t* protocolUrl,
                            int showCommand)
{
    url::InvocationParameters parameters;
    const url::UrlParseResult parsed = url::parseUrlParameters(protocolUrl, CommandName, parameters);
    if (parsed != url::UrlParseResult::Parsed) {
        log.print(u"Invalid parameter(s) %d\n", static_cast<std::int32_t>(parsed));
        return ExitOk;
    }
    for (const url::InvocationParameter& slot : parameters.slots) {
        if (slot.value[0] != 0) {
            log.print(u"%s=%s\n", slot.name, slot.value);
        }
    }

    const url::InvocationParameter& who = parameters.slots[url::InvocationParameters::Participant];
    const teams::Participant participant{who.value, who.matched};
    const char16_t* action = parameters.slots[url::InvocationParameters::Action].value;
    const bool answer = util::compareNoCase(action, u"answercall") == 0;
    // An answer takes its turn before it looks at the desktop: a duplicate
    // of a run that answers, or just answered, this caller looks at nothing
    // and presses nothing.
    teams::AnswerTurn turn;
    if (answer && !turn.take(log, participant)) {
        return ExitOk;
    }

    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    const char16_t* mainInsert = u"";
    if (scan.mainWindow != nullptr) {
        mainInsert = scan.mainFromCache ? u" (Teams main app known)" : u" (Teams main app identified)";
    }
    const char16_t* notificationInsert = u"";
    if (scan.notificationWindow != nullptr) {
        if (scan.notificationMatch == teams::NotificationMatch::ByTitle) {
            notificationInsert = u" (Call notification identified)";
        } else if (scan.notificationMatch == teams::NotificationMatch::ByExclusion) {
            notificationInsert = u" (Call notification found)";
        }
    }
    log.print(u"Protocolhandler invoked%s%s...\n", mainInsert, notificationInsert);

    if (answer) {
        teams::answerCall(scan, participant, turn);
        return ExitOk;
    }
    if (util::compareNoCase(action, u"closecallwindow") == 0) {
        teams::closeCallWindow(scan, participant);
        return ExitOk;
    }
    if (util::compareNoCase(action, u"validateconfig") == 0) {
        teams::listTeamsWindows(scan);
        return ui::showStatusWindow(log, instance, showCommand, false);
    }
    // A browser never sees this exit code; support and whoever starts the
    // program from a script do. The message has no line break, as support
    // tools have always seen it.
    log.print(u"Missing or unknown action \"%s\"", action);
    return ExitUnknownAction;
}

}  // namespace

std::int32_t runEntryPoint(logging::DiagnosticLog& log, win::HINSTANCE instance, const char16_t* commandLine,
                           int showCommand)
{
    if (commandLine == nullptr) {
        commandLine = u"";
    }
    log.print(u"\n");
    log.print(u"Velmorathis Desktop Mirrowcast " MIRROWCAST_VERSION_TEXT "\n");
    log.printRunStart(commandLine);

    if (commandLine[0] == u'/') {
        // The whole line, not the working copy: console commands have no
        // length limit.
        const ConsoleCommandResult result = runConsoleCommand(log, commandLine);
        if (result.wantsStatusWindow) {
            return ui::showStatusWindow(log, instance, showCommand, false);
        }
        return result.exitCode;
    }

    // The registered command quotes the URL, so a quoted text is the URL up
    // to its closing quote; what follows the quote is dropped.
    char16_t workingCopy[WorkingCopyCapacity];
    bool quotedTooLong = false;
    if (commandLine[0] == u'"') {
        const char16_t* const text = commandLine + 1;
        const char16_t* const closingQuote = util::findChar(text, u'"');
        if (closingQuote == nullptr) {
            return ExitOk;
        }
        const auto length = static_cast<std::size_t>(closingQuote - text);
        quotedTooLong = length >= WorkingCopyCapacity;
        util::copyStringN(workingCopy, WorkingCopyCapacity, text, length);
    } else {
        util::copyString(workingCopy, commandLine);  // a longer line, typed by hand, is cut silently
    }

    constexpr std::size_t schemeLength = sizeof(SchemeName) / sizeof(SchemeName[0]) - 1;
    if (util::compareNoCaseN(workingCopy, SchemeName, schemeLength) == 0) {
        if (workingCopy[schemeLength] != u':') {
            return ExitOk;
        }
        if (quotedTooLong) {
            // Cut, its last parameters would be lost or changed without a
            // word; no browser hands over such a URL anyway.
            log.print(u"Invalid parameter(s) %d\n", static_cast<std::int32_t>(url::UrlParseResult::UrlTooLong));
            return ExitOk;
        }
        return runProtocolUrl(log, instance, workingCopy, showCommand);
    }
    if (quotedTooLong) {
        return ExitOk;
    }
    if (util::compareNoCaseN(workingCopy, DebugSwitch, 7) == 0) {
        // Whatever follows the switch is ignored.
        return ui::showStatusWindow(log, instance, showCommand, true);
    }
    return ExitOk;
}

const char16_t* skipProgramName(const char16_t* fullCommandLine)
{
    const char16_t* p = fullCommandLine != nullptr ? fullCommandLine : u"";
    // The same rule the C runtime applies for wWinMain: a quoted program name
    // ends at the next quote, an unquoted one at the first blank or control
    // character.
    if (*p == u'"') {
        ++p;
        while (*p != 0 && *p != u'"') {
            ++p;
        }
        if (*p == u'"') {
            ++p;
        }
    } else {
        while (*p > u' ') {
            ++p;
        }
    }
    while (*p != 0 && *p <= u' ') {
        ++p;
    }
    return p;
}

}  // namespace app
