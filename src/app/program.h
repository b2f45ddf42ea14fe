// One run of the program, from the console to the exit code: what wWinMain
// does, kept apart from it so that the host tests run the same sequence on
// the test double.
#pragma once

#include <cstdint>

#include "winapi/types.h"

namespace app {

// Attaches to the parent's console when there is one, opens the log, runs the
// entry point on the command line (the part after the program's name) and,
// when a console was attached, releases it. Returns the exit code.
std::int32_t runProgram(win::HINSTANCE instance, const char16_t* commandLine, int showCommand);

}  // namespace app
