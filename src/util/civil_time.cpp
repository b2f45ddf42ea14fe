#include "util/civil_time.h"

namespace util {

CivilTime civilFromFileTime(std::uint64_t fileTime)
{
    constexpr std::uint64_t TicksPerSecond = 10'000'000;
    constexpr std::int64_t SecondsPerDay = 86'400;
    const auto seconds = static_cast<std::int64_t>(fileTime / TicksPerSecond);
    const std::int64_t days = seconds / SecondsPerDay;  // since 1601-01-01, a Monday
    const std::int64_t secondOfDay = seconds % SecondsPerDay;

    CivilTime civil{};
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay / 60 % 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    civil.dayOfWeek = static_cast<int>((days + 1) % 7);

    // Days to year, month and day in 400-year eras starting on 1 March, so
    // the leap day falls at the end of each year of the count.
    const std::int64_t z = days - 134'774 + 719'468;  // from 0000-03-01
    const std::int64_t era = z / 146'097;
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    civil.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    civil.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    civil.year = static_cast<int>(yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0));
    return civil;
}

}  // namespace util
