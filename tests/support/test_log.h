// The log as the program opens it, for tests that exercise the log or write
// through it: attached to the parent's console when the test machine gives
// the process one, and detached again when the log goes (the program's own
// release, with its Enter, is app/program.cpp's and tested there).
#pragma once

#include "log/diagnostic_log.h"
#include "winapi/system.h"

class TestLog : public logging::DiagnosticLog {
public:
    TestLog() { open(win::attachParentConsole()); }
    ~TestLog()
    {
        if (consoleAttached) {
            win::releaseConsole();
        }
    }
};
