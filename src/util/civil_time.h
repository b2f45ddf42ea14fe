// UTC calendar fields of a FILETIME value, computed here rather than by the
// system so that the log's time stamps and weekday follow one rule on every
// build (proleptic Gregorian, as Windows counts).
#pragma once

#include <cstdint>

namespace util {

struct CivilTime {
    int year;
    int month;  // 1-12
    int day;    // 1-31
    int hour;
    int minute;
    int second;
    int dayOfWeek;  // 0 = Sunday ... 6 = Saturday
};

CivilTime civilFromFileTime(std::uint64_t fileTime);

}  // namespace util
