#include "teams/main_window_cache.h"

#include "util/handles.h"
#include "util/strings.h"
#include "winapi/registry.h"
#include "winapi/system.h"

namespace teams {

namespace {

constexpr char16_t ParentKeyPath[] = u"SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast";
constexpr char16_t CacheKeyName[] = u"Volatile";
constexpr char16_t HandleValueName[] = u"MainTeamsApp";
constexpr char16_t TimeStampSuffix[] = u"/TimeStamp";
constexpr std::size_t ValueNameCapacity = 256;
constexpr std::int64_t TicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
constexpr std::uint32_t AgeUnknown = 0xFFFFFFFFu;

void timeStampValueName(char16_t (&name)[ValueNameCapacity])
{
    util::copyString(name, HandleValueName);
    util::appendString(name, TimeStampSuffix);
}

// A conversion that fails gives 0. As a stamp, 0 is older than any limit; as
// "now", load gives the unknown age itself, since 0 minus a stamp of 0 (both
// clocks failing) would otherwise make the entry look brand new.
std::uint64_t currentFileTime()
{
    std::uint64_t now = 0;
    return win::readClock(now) ? now : 0;
}

// Window handles carry 32 significant bits in every process, so 32-bit and
// 64-bit builds can share the entry: narrow by truncation, widen by sign
// extension, the way Windows itself passes handles between the two.
std::uint32_t narrowHandle(win::HWND window)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
}

win::HWND widenHandle(std::uint32_t value)
{
    return reinterpret_cast<win::HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

std::uint32_t ageInSeconds(std::uint64_t now, std::uint64_t stamp)
{
    // Two's-complement difference and a division that truncates toward zero:
    // a stamp less than a second ahead of the clock still has age 0, one a
    // second or more ahead gives a negative quotient and so the unknown age.
    const auto seconds = static_cast<std::int64_t>(now - stamp) / TicksPerSecond;
    const auto bits = static_cast<std::uint64_t>(seconds);
    return (bits >> 32) == 0 ? static_cast<std::uint32_t>(bits) : AgeUnknown;
}

}  // namespace

util::UniqueKey openVolatileKey()
{
    util::UniqueKey key;
    if (win::openRegistryKey(win::HKEY_CURRENT_USER, VolatileKeyPath, win::KEY_SET_VALUE, key.receive()) ==
        win::ERROR_SUCCESS) {
        return key;
    }
    // The parent is an ordinary key so that it survives the logoff that
    // discards its volatile subkey; an existing "Volatile" key is used as
    // it is, whichever way it was made.
    util::UniqueKey parent;
    if (win::createRegistryKey(win::HKEY_CURRENT_USER, ParentKeyPath, false,
                               win::KEY_CREATE_SUB_KEY | win::KEY_SET_VALUE, parent.receive()) != win::ERROR_SUCCESS ||
        win::createRegistryKey(parent.get(), CacheKeyName, true, win::KEY_SET_VALUE, key.receive()) !=
            win::ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

void MainWindowCache::store(win::HWND window)
{
    const util::UniqueKey key = openVolatileKey();
    if (!key) {
        return;
    }

    const std::uint32_t handle = narrowHandle(window);
    const win::BYTE handleBytes[4] = {static_cast<win::BYTE>(handle), static_cast<win::BYTE>(handle >> 8),
                                      static_cast<win::BYTE>(handle >> 16), static_cast<win::BYTE>(handle >> 24)};
    if (win::setRegistryValue(key.get(), HandleValueName, win::REG_DWORD, handleBytes, sizeof(handleBytes)) !=
        win::ERROR_SUCCESS) {
        return;
    }

    char16_t stampName[ValueNameCapacity];
    timeStampValueName(stampName);
    const std::uint64_t stamp = currentFileTime();
    win::BYTE stampBytes[8];
    for (int i = 0; i < 8; ++i) {
        stampBytes[i] = static_cast<win::BYTE>(stamp >> (8 * i));  // low 32 bits first, as a FILETIME
    }
    [[maybe_unused]] const win::DWORD written =
        win::setRegistryValue(key.get(), stampName, win::REG_QWORD, stampBytes, sizeof(stampBytes));
}

std::optional<CachedMainWindow> MainWindowCache::load()
{
    win::BYTE handleBytes[4] = {};
    win::DWORD size = sizeof(handleBytes);
    if (win::readRegistryValue(win::HKEY_CURRENT_USER, VolatileKeyPath, HandleValueName, win::RRF_RT_REG_DWORD, nullptr,
                               handleBytes, &size) != win::ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::uint32_t handle = 0;
    for (int i = 3; i >= 0; --i) {
        handle = (handle << 8) | handleBytes[i];
    }

    char16_t stampName[ValueNameCapacity];
    timeStampValueName(stampName);
    win::BYTE stampBytes[8] = {};
    size = sizeof(stampBytes);
    if (win::readRegistryValue(win::HKEY_CURRENT_USER, VolatileKeyPath, stampName, win::RRF_RT_REG_QWORD, nullptr,
                               stampBytes, &size) != win::ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::uint64_t stamp = 0;
    for (int i = 7; i >= 0; --i) {
        stamp = (stamp << 8) | stampBytes[i];
    }
    const std::uint64_t now = currentFileTime();
    return CachedMainWindow{widenHandle(handle), now != 0 ? ageInSeconds(now, stamp) : AgeUnknown};
}

}  // namespace teams
