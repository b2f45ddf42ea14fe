// The machine policy the program reads, under HKEY_LOCAL_MACHINE: only an
// administrator sets it (a user cannot change what the program does or
// where its log goes). The log reads its own two values here, before its
// first entry; the lists that tell Teams' windows apart are in
// teams/teams_policy.h. The Group Policy template uses the same names.
#pragma once

namespace logging {

constexpr char16_t MachinePolicyKeyPath[] = u"SOFTWARE\\Policies\\Velmorathis\\Velmorathis Mirrowcast";
// REG_SZ "Shared" (the default) or "User": on a host that many users share,
// the log of one user's runs, callers' names included, stays in that user's
// own folder.
constexpr char16_t LogFolderValue[] = u"LogFolder";
constexpr char16_t LogFolderShared[] = u"Shared";
constexpr char16_t LogFolderUser[] = u"User";
// REG_DWORD 1: the detail texts too, and the process id in every entry.
constexpr char16_t DetailLoggingValue[] = u"DetailLogging";

}  // namespace logging
