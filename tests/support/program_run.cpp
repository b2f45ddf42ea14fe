#include "program_run.h"

#include "app/program.h"
#include "inmemory/inmemory.h"
#include "teams/teams_window_scan.h"

namespace {
std::vector<std::uint8_t> littleEndian(std::uint64_t value, int bytes)
{
    std::vector<std::uint8_t> out;
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}
}  // namespace

void freshMachine()
{
    inmemory::reset();
    clearStatusWindowRequests();
    teams::forgetTeamsRecognition();
}

std::vector<std::u16string> logEntries(const std::u16string& text)
{
    std::vector<std::u16string> entries;
    for (std::size_t i = 0; i < text.size();) {
        const bool lineStart = i == 0 || text[i - 1] == u'\n';
        if (lineStart && text[i] == u'[' && i + 22 <= text.size() && text[i + 20] == u']' && text[i + 21] == u' ') {
            entries.emplace_back();
            i += 22;
        } else if (i == 0 && text[i] == u'\n') {
            entries.emplace_back(u"\n");
            entries.emplace_back();
            ++i;
        } else {
            if (entries.empty()) {
                entries.emplace_back();
            }
            entries.back() += text[i++];
        }
    }
    std::erase(entries, u"");
    return entries;
}

std::u16string withoutTimeStamps(const std::u16string& text)
{
    std::u16string plain;
    for (const std::u16string& entry : logEntries(text)) {
        plain += entry;
    }
    return plain;
}

void rememberMainWindow(win::HWND window, std::uint64_t stamp)
{
    const auto handle = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
    inmemory::setValue(CacheKey, u"MainTeamsApp", win::REG_DWORD, littleEndian(handle, 4));
    inmemory::setValue(CacheKey, u"MainTeamsApp/TimeStamp", win::REG_QWORD, littleEndian(stamp, 8));
}

void registerHandlerByHand(const std::u16string& command)
{
    inmemory::setStringValue(SchemeKey, u"", u"URL:Velmorathis.Mirrowcast Protocol");
    inmemory::setStringValue(CommandKey, u"", command);
}

ProgramRun runProgramOnDouble(const char16_t* commandLine, int showCommand)
{
    ProgramRun run;
    const std::u16string before = inmemory::fileText(DayLogFile);
    const std::u16string consoleBefore = inmemory::consoleOutput();
    const std::size_t requestsBefore = statusWindowRequests().size();
    run.exitCode = app::runProgram(nullptr, commandLine, showCommand);
    const std::u16string after = inmemory::fileText(DayLogFile);
    run.logText = after.starts_with(before) ? after.substr(before.size()) : after;
    run.log = withoutTimeStamps(run.logText);
    if (run.log.starts_with(StartLines)) {
        run.log.erase(0, StartLines.size());
    }
    run.console = inmemory::consoleOutput().substr(consoleBefore.size());
    run.statusWindows.assign(statusWindowRequests().begin() + static_cast<std::ptrdiff_t>(requestsBefore),
                             statusWindowRequests().end());
    return run;
}
