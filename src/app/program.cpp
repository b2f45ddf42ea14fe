#include "app/program.h"

#include "app/entry_point.h"
#include "log/diagnostic_log.h"
#include "winapi/desktop.h"
#include "winapi/system.h"

namespace app {

namespace {

// A GUI program started from a command prompt does not hold the prompt: cmd
// shows it again at once and then waits for a key. Detached, the program
// types one Enter (U+000D) so the prompt is drawn again below its output. The
// key goes to whatever window is active, so it is typed only while that is
// the console (or the terminal that owns a pseudo-console's window): after an
// answer it would otherwise restore the call window just minimised, or send a
// half-typed chat message in Teams.
void releaseConsoleAndRedrawPrompt()
{
    const win::HWND console = win::consoleWindow();
    win::releaseConsole();
    const win::HWND foreground = win::foregroundWindow();
    if (console == nullptr || foreground == nullptr ||
        (foreground != console && foreground != win::rootOwner(console))) {
        return;
    }
    constexpr win::KEYBDINPUT Enter = {0, 0x000D, win::KEYEVENTF_UNICODE, 0, 0};
    // Nothing to tell anyone when it fails: the console is gone.
    [[maybe_unused]] const win::KeysSent sent = win::sendKeys(&Enter, 1);
}

}  // namespace

std::int32_t runProgram(win::HINSTANCE instance, const char16_t* commandLine, int showCommand)
{
    // Started by the shell for a URL there is no parent console, and the
    // attach fails: the log then writes to its file only.
    const bool console = win::attachParentConsole();
    std::int32_t exitCode = 0;
    {
        logging::DiagnosticLog log;
        log.open(console);
        exitCode = runEntryPoint(log, instance, commandLine, showCommand);
    }
    if (console) {
        releaseConsoleAndRedrawPrompt();
    }
    return exitCode;
}

}  // namespace app
