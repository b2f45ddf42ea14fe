// The Windows entry. Everything it does goes through the Windows layer; only
// its signature is Win32's own.
#include "app/entry_point.h"
#include "app/program.h"
#include "winapi/system.h"

#include "winapi/win32/win32_common.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // Our own cut of GetCommandLineW rather than the runtime's argument, so the
    // program name is skipped by one known rule on every toolchain.
    const char16_t* commandLine = app::skipProgramName(win::commandLine());
    return app::runProgram(reinterpret_cast<win::HINSTANCE>(instance), commandLine, showCommand);
}
