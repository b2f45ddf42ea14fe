// The in-memory machine: reset, faults, the clock and the handle table.
#include "inmemory/machine.h"

#include <algorithm>

#include "util/strings.h"

namespace inmemory {

namespace detail {

namespace {
// Days from 1601-01-01 to the civil date (proleptic Gregorian).
std::int64_t daysFrom1601(int year, int month, int day)
{
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t daysFrom1970 = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    return daysFrom1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

std::uint64_t fileTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    const std::int64_t days = daysFrom1601(year, month, day);
    return static_cast<std::uint64_t>(((days * 24 + hour) * 60 + minute) * 60 + second) * TicksPerSecond;
}
}  // namespace

Machine& machine()
{
    static Machine instance;
    return instance;
}

std::u16string fold(std::u16string_view text)
{
    std::u16string folded(text);
    // Unit by unit, as a volume's upcase table compares names: a letter
    // outside the Basic Multilingual Plane keeps its case. ASCII is folded
    // here, for speed; the rest by the program's own table.
    for (char16_t& c : folded) {
        c = c < 0x80 ? (c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c)
                     : static_cast<char16_t>(util::foldCase(c));
        if (c == u'/') {
            c = u'\\';
        }
    }
    while (folded.size() > 3 && folded.back() == u'\\') {
        folded.pop_back();
    }
    return folded;
}

std::u16string parentPath(const std::u16string& path)
{
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string utf16Text(const std::vector<std::uint8_t>& bytes, bool untilZero)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (untilZero && unit == 0) {
            break;
        }
        text += unit;
    }
    return text;
}

bool enter(const char* function, win::DWORD& error)
{
    Machine& m = machine();
    m.calls.emplace_back(function);
    const std::uint64_t position = m.calls.size();
    const std::uint64_t ofName = ++m.callsByName[function];
    // A hook stands for another process acting at that very moment, such as
    // a user swapping a name for a link between two calls of the program.
    for (std::size_t i = 0; i < m.hooks.size(); ++i) {
        if (m.hooks[i].call == ofName && m.hooks[i].function == function) {
            auto action = std::move(m.hooks[i].action);
            m.hooks.erase(m.hooks.begin() + static_cast<std::ptrdiff_t>(i));
            action();
            break;
        }
    }
    for (const FaultPlan& plan : m.faults) {
        const std::uint64_t n = plan.function.empty() ? position : ofName;
        if ((plan.function.empty() || plan.function == function) && n >= plan.firstCall && n <= plan.lastCall) {
            error = plan.error;
            return true;
        }
    }
    return false;
}

bool failsNow(const char* function)
{
    win::DWORD error = 0;
    return enter(function, error);
}

std::uintptr_t newHandle(const OpenHandle& handle)
{
    Machine& m = machine();
    const std::uintptr_t value = m.nextHandle;
    m.nextHandle += 4;
    m.handles.emplace(value, handle);
    return value;
}

OpenHandle* findHandle(std::uintptr_t value)
{
    auto it = machine().handles.find(value);
    return it == machine().handles.end() ? nullptr : &it->second;
}

}  // namespace detail

using namespace detail;

std::vector<std::uint8_t> utf16Bytes(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

void reset()
{
    Machine& m = machine();
    // The call record keeps its storage from one machine to the next: a fresh
    // reservation per reset costs milliseconds under the sanitizers, where
    // the fuzz targets reset the machine for every input.
    std::vector<std::string_view> calls = std::move(m.calls);
    calls.clear();
    m = Machine{};
    m.calls = std::move(calls);
    m.calls.reserve(1 << 16);  // keeps tests that count allocations steady
    m.now = fileTimeOf(2026, 12, 7, 10, 0, 0);
    m.programData = u"C:\\ProgramData";
    m.folders[fold(u"C:")] = Folder{.path = u"C:"};
    m.folders[fold(m.programData)] = Folder{.path = m.programData};
    m.localAppData = u"C:\\Users\\ann\\AppData\\Local";
    addFolder(m.localAppData);
    m.moduleFileName = u"C:\\Program Files\\Velmorathis\\VelmorathisMirrowcast.exe";
    for (const char16_t* path : {u"HKCU", u"HKCU\\SOFTWARE", u"HKCU\\SOFTWARE\\Classes", u"HKLM", u"HKLM\\SOFTWARE",
                                 u"HKLM\\SOFTWARE\\Classes"}) {
        m.keys[fold(path)] = Key{.path = path};
    }
}

void failCall(std::string_view function, win::DWORD error, int occurrence, int count)
{
    Machine& m = machine();
    auto it = m.callsByName.find(function);
    const std::uint64_t done = it == m.callsByName.end() ? 0 : it->second;
    FaultPlan plan;
    plan.function = std::string(function);
    plan.firstCall = done + static_cast<std::uint64_t>(occurrence);
    plan.lastCall = count < 0 ? UINT64_MAX : plan.firstCall + static_cast<std::uint64_t>(count) - 1;
    plan.error = error;
    m.faults.push_back(plan);
}

void failCallNumber(std::uint64_t k, win::DWORD error)
{
    Machine& m = machine();
    FaultPlan plan;
    plan.firstCall = m.calls.size() + k;
    plan.lastCall = plan.firstCall;
    plan.error = error;
    m.faults.push_back(plan);
}

void clearFaults() { machine().faults.clear(); }

void beforeCall(std::string_view function, std::function<void()> action, int occurrence)
{
    Machine& m = machine();
    auto it = m.callsByName.find(function);
    const std::uint64_t done = it == m.callsByName.end() ? 0 : it->second;
    m.hooks.push_back(
        Machine::CallHook{std::string(function), done + static_cast<std::uint64_t>(occurrence), std::move(action)});
}

const std::vector<std::string_view>& calls() { return machine().calls; }

std::size_t callCount(std::string_view function)
{
    auto it = machine().callsByName.find(function);
    return it == machine().callsByName.end() ? 0 : it->second;
}

std::uint64_t now() { return machine().now; }
void setNow(int year, int month, int day, int hour, int minute, int second)
{
    machine().now = fileTimeOf(year, month, day, hour, minute, second);
}
void at(std::uint64_t fileTime, std::function<void()> action)
{
    machine().scheduled.emplace(fileTime, std::move(action));
}
std::uint64_t totalSleptMs() { return machine().sleptMs; }
void stretchPauses(std::uint32_t factor) { machine().pauseStretch = factor; }

namespace {
std::size_t openCount(bool keys)
{
    const auto& handles = machine().handles;
    return static_cast<std::size_t>(std::count_if(handles.begin(), handles.end(), [keys](const auto& h) {
        return (h.second.kind == HandleKind::RegistryKey) == keys;
    }));
}
}  // namespace

std::size_t openHandleCount() { return openCount(false); }
std::size_t openKeyCount() { return openCount(true); }

}  // namespace inmemory
