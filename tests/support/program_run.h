// One run of the whole program on the test double, as Windows would start it:
// the console, the log, the entry point and the console's release
// (runProgramOnDouble), what the run left behind, and where a fresh machine
// keeps what the program reads and writes. The host suites and the dispatch
// fuzz target prepare the machine (inmemory::) and call this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inmemory/inmemory.h"
#include "mirrowcast_version.h"
#include "status_window_stub.h"
#include "winapi/types.h"

struct ProgramRun {
    std::int32_t exitCode = -1;
    std::u16string logText;  // today's log file, as written
    std::u16string log;      // the same without the run's start lines and the time stamps
    std::u16string console;  // what the parent's console showed
    std::vector<StatusWindowRequest> statusWindows;
};

// The empty line and the banner every run begins with.
inline const std::u16string StartLines = u"\nVelmorathis Desktop Mirrowcast " MIRROWCAST_VERSION_TEXT "\n";
// The log's folders and today's files in them (the machine's clock stands on
// a Monday); the user's own folder takes what the day's file cannot.
inline const std::u16string VendorFolder = u"C:\\ProgramData\\Velmorathis";
inline const std::u16string LogFolder = VendorFolder + u"\\Velmorathis Mirrowcast";
inline const std::u16string DayLogFile = LogFolder + u"\\VelmorathisMirrowcast1.log";
inline const std::u16string UserLogFolder = u"C:\\Users\\ann\\AppData\\Local\\Velmorathis\\Velmorathis Mirrowcast";
inline const std::u16string UserLogFile = UserLogFolder + u"\\VelmorathisMirrowcast1.log";
// The lists a new log folder and the maker's folder above it get, in the
// numbers icacls shows: D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)
// (A;;0x1200ab;;;OW)(A;OIIO;0x1301bf;;;BU)(A;OIIO;0x1301bf;;;OW), and
// D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;;0x1200a9;;;OW).
inline const inmemory::FolderList LogFolderList{true,
                                                {{win::Trustee::LocalSystem, 0x1F01FF, 3},
                                                 {win::Trustee::Administrators, 0x1F01FF, 3},
                                                 {win::Trustee::Users, 0x1200AB, 0},
                                                 {win::Trustee::OwnerRights, 0x1200AB, 0},
                                                 {win::Trustee::Users, 0x1301BF, 9},
                                                 {win::Trustee::OwnerRights, 0x1301BF, 9}}};
inline const inmemory::FolderList VendorFolderList{true,
                                                   {{win::Trustee::LocalSystem, 0x1F01FF, 3},
                                                    {win::Trustee::Administrators, 0x1F01FF, 3},
                                                    {win::Trustee::Users, 0x1200A9, 0},
                                                    {win::Trustee::OwnerRights, 0x1200A9, 0}}};
// The protocol handler's keys and the command it registers for this program.
inline const std::u16string SchemeKey = u"HKCR\\Velmorathis.Mirrowcast";
inline const std::u16string CommandKey = SchemeKey + u"\\shell\\open\\command";
inline const std::u16string ModulePath = u"C:\\Program Files\\Velmorathis\\VelmorathisMirrowcast.exe";
inline const std::u16string OpenCommand = u"\"" + ModulePath + u"\" \"%1\"";
// The machine policy's key, which the log and the Teams lists read.
inline const std::u16string PolicyKey = u"HKLM\\SOFTWARE\\Policies\\Velmorathis\\Velmorathis Mirrowcast";
// The main window cache, and the processes that own desktop windows.
inline const std::u16string CacheKey = u"HKCU\\SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast\\Volatile";
inline const std::u16string TeamsImage =
    u"\\Device\\HarddiskVolume3\\Users\\ann\\AppData\\Local\\Microsoft\\Teams\\current\\Teams.exe";
inline const std::u16string BrowserImage = u"\\Device\\HarddiskVolume3\\Program Files\\Browser\\browser.exe";

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

// A log text's entries without their time stamps, in order. An entry starts
// at a stamp at the start of a line (one inside an insert is forged text and
// stays); the bare line break a run starts with is an entry of its own.
std::vector<std::u16string> logEntries(const std::u16string& text);
// The same entries as one text.
std::u16string withoutTimeStamps(const std::u16string& text);

// The main window cache's entry as an earlier run would have left it.
void rememberMainWindow(win::HWND window, std::uint64_t stamp);
// The scheme's key and its command, as a registration by hand or by an
// installer leaves them.
void registerHandlerByHand(const std::u16string& command = OpenCommand);
