#include "program_run.h"

#include "app/program.h"
#include "inmemory/inmemory.h"
#include "mirrowcast_version.h"
#include "teams/teams_window_scan.h"

const std::u16string DayLogFile =
    u"C:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast\\VelmorathisMirrowcast1.log";
const std::u16string UserLogFile =
    u"C:\\Users\\ann\\AppData\\Local\\Velmorathis\\Velmorathis Mirrowcast\\VelmorathisMirrowcast1.log";

namespace {
// The empty line and the banner every run begins with.
constexpr char16_t StartLines[] = u"\nVelmorathis Desktop Mirrowcast " MIRROWCAST_VERSION_TEXT "\n";
}  // namespace

void freshMachine()
{
    inmemory::reset();
    clearStatusWindowRequests();
    forgetTeamsRecognition();
}

std::u16string withoutTimeStamps(const std::u16string& text)
{
    std::u16string plain;
    for (std::size_t i = 0; i < text.size();) {
        const bool lineStart = i == 0 || text[i - 1] == u'\n';
        if (lineStart && text[i] == u'[' && i + 22 <= text.size() && text[i + 20] == u']' && text[i + 21] == u' ') {
            i += 22;
            continue;
        }
        plain += text[i++];
    }
    return plain;
}

ProgramRun runProgramOnDouble(const char16_t* commandLine, int showCommand)
{
    ProgramRun run;
    const std::u16string before = inmemory::fileText(DayLogFile);
    const std::u16string consoleBefore = inmemory::consoleOutput();
    const std::size_t requestsBefore = statusWindowRequests().size();
    run.exitCode = runProgram(nullptr, commandLine, showCommand);
    const std::u16string after = inmemory::fileText(DayLogFile);
    run.logText = after.starts_with(before) ? after.substr(before.size()) : after;
    run.log = withoutTimeStamps(run.logText);
    if (run.log.starts_with(StartLines)) {
        run.log.erase(0, std::char_traits<char16_t>::length(StartLines));
    }
    run.console = inmemory::consoleOutput().substr(consoleBefore.size());
    run.statusWindows.assign(statusWindowRequests().begin() + static_cast<std::ptrdiff_t>(requestsBefore),
                             statusWindowRequests().end());
    return run;
}
