// Where administrators add to the lists that tell Teams' windows apart,
// without a new release of the program: machine policy only (a user cannot
// widen what the program drives), REG_MULTI_SZ values, each list's entries
// after the built-in ones, under MachinePolicyKeyPath. The Group Policy
// template uses the same names.
#pragma once

#include <cstddef>

#include "log/machine_policy.h"

namespace teams {

constexpr char16_t TeamsImageNamesValue[] = u"TeamsImageNames";
constexpr char16_t TeamsWindowClassesValue[] = u"TeamsWindowClasses";
constexpr char16_t NotificationTitlesValue[] = u"NotificationTitles";
constexpr char16_t CallInProgressTitlesValue[] = u"CallInProgressTitles";

// 16 entries of 255 characters, each with its terminator, and the list's end.
constexpr std::size_t PolicyValueByteLimit = (16 * 256 + 1) * 2;  // 8194

}  // namespace teams
