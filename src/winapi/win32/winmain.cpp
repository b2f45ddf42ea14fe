// The real program's entry. The log is the one object with static storage: it
// is constructed before wWinMain runs and destroyed at process exit, so every
// line of the run, the first included, goes to a log that is already set up.
#include "app/entry_point.h"
#include "log/diagnostic_log.h"
#include "winapi/system.h"

#include "win32_common.h"

namespace {
DiagnosticLog processLog;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // Our own cut of GetCommandLineW rather than the runtime's argument, so the
    // program name is skipped by one known rule on every toolchain.
    const char16_t* commandLine = skipProgramName(win::GetCommandLineW());
    return runEntryPoint(processLog, reinterpret_cast<win::HINSTANCE>(instance), commandLine, showCommand);
}
