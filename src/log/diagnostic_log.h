// The process-wide diagnostic log.
//
// One UTF-16LE file per weekday (VelmorathisMirrowcast0.log for Sunday up to
// ...6.log) in "Velmorathis\Velmorathis Mirrowcast\" under the machine-wide
// application data folder, each entry prefixed with its UTC time, and echoed
// to the console when the program was started from one. Support staff read
// these files, so their format never changes.
//
// The program makes one instance and opens it at the start of its run (see
// app/program.cpp); until then, and when opening fails, the log is off.
// Attaching to the console is the program's business, not the log's: the log
// is told whether a console is there to echo to.
#pragma once

#include <cstdint>

#include "util/format.h"
#include "util/handles.h"

class DiagnosticLog {
public:
    static constexpr std::size_t PathCapacity = 260;
    static constexpr std::size_t TextCapacity = 1024;  // at most 1023 characters per text

    DiagnosticLog() = default;
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // 1 when the text was written (or tried), 0 when the log is off.
    template <class... Args>
    int print(util::CheckedFormat<Args...> format, const Args&... args)
    {
        const util::FormatArg list[sizeof...(Args) + 1] = {util::makeFormatArg(args)..., util::FormatArg{}};
        return printFormatted(format.text, list, sizeof...(Args));
    }

    // Detail texts are written only while detailEnabled is set; nothing in the
    // program sets it, so they stay in the code for support builds.
    template <class... Args>
    int printDetail(util::CheckedFormat<Args...> format, const Args&... args)
    {
        if (detailEnabled == 0) {
            return 0;
        }
        return print<Args...>(format, args...);
    }

    // Prepares the folder, picks today's file and deletes it when it is left
    // over from an earlier week. `console`: the process is attached to its
    // parent's console, and every text is echoed there too.
    void open(bool console);

    // Writes one finished text: 1, or 0 when the log is off.
    int writeLine(const char16_t* text);

    bool isOn() const { return logPath[0] != 0; }

    std::int32_t detailEnabled = 0;
    std::int32_t consoleAttached = 0;
    char16_t logPath[PathCapacity] = {};

private:
    char16_t resolvedRoot[PathCapacity] = {};  // the application data folder, links resolved
    bool fileStaysBusy = false;                // an entry already waited for the file in vain
    std::size_t rootLength = 0;                // its length as logPath spells it

    int printFormatted(const char16_t* format, const util::FormatArg* args, std::size_t count);
    void prepareFolder();
    void grantUsersAccess();
    void chooseFile();
    void expireOldFile();
    void resolveRoot();
    util::UniqueFile openOwnFolder(win::DWORD& error) const;
    bool isOwn(win::HANDLE object, const char16_t* path, bool folder) const;
    void writeToConsole(const char16_t* text, std::size_t length);
};

// How long a text waits for another process of the program to let go of the
// day's file before it is given up (sharing or lock violation only). After one
// text waited in vain, the run's later texts try the file once each: a stuck
// file costs a run about a second, not a second per entry.
constexpr std::uint32_t LogBusyRetryPauseMs = 10;
constexpr std::uint32_t LogBusyRetryLimitMs = 1000;
