// Stand-in until the console commands are built: every command counts as run.
#include "app/console_commands.h"

std::int32_t runConsoleCommand(DiagnosticLog&, const char16_t*)
{
    return ConsoleCommandDone;
}
