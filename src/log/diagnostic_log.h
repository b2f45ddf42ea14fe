// The process-wide diagnostic log.
//
// One UTF-16LE file per weekday (VelmorathisMirrowcast0.log for Sunday up to
// ...6.log) in "Velmorathis\Velmorathis Mirrowcast\" under the machine-wide
// application data folder, each entry prefixed with its UTC time, and echoed
// to the console when the program was started from one. Support staff read
// these files, so their format never changes. An entry that cannot reach the
// day's file goes to the file of the same name in the same folder under the
// user's own application data, headed by a line that says why, and the day's
// file says how many went there once it takes entries again.
//
// Machine policy (log/machine_policy.h) can keep every run in the user's own
// folder instead, never in the shared one, and can turn on the detail texts,
// with the process id in every entry so that the runs that write one file
// at once can be told apart.
//
// The program makes one instance and opens it at the start of its run (see
// app/program.cpp); until then the log is off.
// Attaching to the console is the program's business, not the log's: the log
// is told whether a console is there to echo to.
#pragma once

#include <cstdint>

#include "log/log_files.h"
#include "util/format.h"

namespace logging {

class DiagnosticLog {
public:
    static constexpr std::size_t PathCapacity = 260;
    static constexpr std::size_t TextCapacity = EntryTextCapacity;  // at most 1023 characters per text

    DiagnosticLog() = default;
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // Writes the text where the log writes (nothing before it is opened).
    // A log failure is nobody's business but the log's: it says nothing.
    template <class... Args>
    void print(util::CheckedFormat<Args...> format, const Args&... args)
    {
        const util::FormatArg list[sizeof...(Args) + 1] = {util::makeFormatArg(args)..., util::FormatArg{}};
        printFormatted(format.text, list, sizeof...(Args));
    }

    // Detail texts are written only while detailEnabled is set: the machine
    // policy DetailLogging sets it for support; by default the log holds
    // what the tools that read it have always found there.
    template <class... Args>
    void printDetail(util::CheckedFormat<Args...> format, const Args&... args)
    {
        if (detailEnabled) {
            print<Args...>(format, args...);
        }
    }

    // Reads the log's machine policy, prepares the folder, picks today's file
    // and deletes it when it is left over from an earlier week. `console`:
    // the process is attached to its parent's console, and every text is
    // echoed there too.
    void open(bool console);

    // What follows the run's banner: with detail logging, the command line
    // and this process's id and session; then what the log could not use of
    // its policy.
    void printRunStart(const char16_t* commandLine);

    // Names the folder that took the run's last entry, for support: the
    // user's own as %LOCALAPPDATA%\..., since the text may go to the shared
    // folder, where the user's name in the expanded path would be read by
    // every other user.
    void reportFolderInUse();

    // Writes one finished text (nothing before open()).
    void writeLine(const char16_t* text);

    bool isOn() const { return opened; }

    // Says so, with the commands that mend it, when the shared folder's list
    // is weaker than the one the program gives it (unprotected, or letting
    // anyone but the system and the administrators take the folder itself).
    // Such a folder is left as it is; the console commands an administrator
    // runs to check the installation report it, the URL runs do not.
    void reportWeakerFolderAccess();

    // The file that took this run's last entry: today's file in the shared
    // folder, or the user's when the run's entries went there, as they all
    // do when the policy keeps them in the user's folder. Before any entry
    // was written, the file the first one goes to.
    const char16_t* lastEntryPath() const { return lastEntryInUserFile || userFolderOnly ? userPath : logPath; }

    bool detailEnabled = false;
    bool consoleAttached = false;
    // Today's file in the folder every user's runs share; empty when set-up
    // could not provide it (the run's entries then go to the user's file),
    // or when the policy keeps the entries in the user's folder.
    char16_t logPath[PathCapacity] = {};

private:
    enum class UserFileState : std::uint8_t { NotNeededYet, Ready, Unavailable };

    static constexpr std::size_t ProcessTagCapacity = 16;  // "[-2147483648] "

    LogFolder sharedFolder;                        // where logPath is
    LogFolder userFolder;                          // where userPath is
    char16_t userPath[PathCapacity] = {};          // the same name under the user's application data
    char16_t processTag[ProcessTagCapacity] = {};  // "[<id>] " after each time stamp, with detail logging
    bool userFolderOnly = false;                   // the policy keeps every entry in the user's folder
    bool logFolderNotUnderstood = false;           // the policy names neither folder
    win::DWORD policyError = 0;                    // why the policy could not be read (0: it could, or is not set)
    int dayOfWeek = -1;
    bool opened = false;
    UserFileState userFile = UserFileState::NotNeededYet;
    bool userFileHeaded = false;  // this run's line saying why already heads its entries there
    bool lastEntryInUserFile = false;
    std::int32_t entriesInUserFile = 0;  // written there since the day's file last took one
    win::DWORD dayFileError = 0;         // why the day's file did not take the last entry; 0: refused by the checks
    bool permissionWarningPending = false;

    void printFormatted(const char16_t* format, const util::FormatArg* args, std::size_t count);
    void readPolicy();
    void prepareFolder();
    bool appendFileName(char16_t (&path)[PathCapacity]) const;
    bool prepareUserFile();
    bool writeToDayFile(const char16_t* text);
    bool writeToUserFile(const char16_t* text);
};

}  // namespace logging
