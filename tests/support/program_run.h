// One run of the whole program on the test double, as Windows would start it:
// the console, the log, the entry point and the console's release
// (runProgram), and what the run left behind. The host suites and the
// dispatch fuzz target prepare the machine (inmemory::) and call this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "status_window_stub.h"

struct ProgramRun {
    std::int32_t exitCode = -1;
    std::u16string logText;  // today's log file, as written
    std::u16string log;      // the same without the run's start lines and the time stamps
    std::u16string console;  // what the parent's console showed
    std::vector<StatusWindowRequest> statusWindows;
};

// Today's log file on a fresh machine (its clock stands on a Monday), and the
// file of the same name in the user's own folder that takes what it cannot.
extern const std::u16string DayLogFile;
extern const std::u16string UserLogFile;

// A fresh machine (inmemory::reset), no status window asked for yet, and a
// new run that has not read the machine's policy yet.
void freshMachine();

// Runs the program with `commandLine` (the part after its own name) on the
// machine as it stands.
ProgramRun runProgramOnDouble(const char16_t* commandLine, int showCommand = 10);
inline ProgramRun runProgramOnDouble(const std::u16string& commandLine, int showCommand = 10)
{
    return runProgramOnDouble(commandLine.c_str(), showCommand);
}

// A log text without its time stamps. A stamp counts only at the start of a
// line: one inside an insert is forged text and stays.
std::u16string withoutTimeStamps(const std::u16string& text);
