// What the program knows of the Teams desktop client: its main window and its
// call notification window, told apart among the desktop's top-level windows,
// and the actions on its call windows.
#pragma once

#include <cstdint>

#include "winapi/types.h"

class DiagnosticLog;

enum class NotificationMatch : std::int32_t { None = -1, ByTitle = 1, ByExclusion = 3 };

// The result of one scan of the Teams top-level windows, made once when the
// record is made; a user that needs fresh results makes a new record.
struct TeamsWindowScan {
    explicit TeamsWindowScan(DiagnosticLog* log);

    // The participant's call window, or null (see teams/call_window_lookup.cpp).
    win::HWND findCallWindow(const char16_t* participant, bool skipMinimized) const;
    void answerCall(const char16_t* participant) const;
    void closeCallWindow(const char16_t* participant) const;
    std::int32_t listTeamsWindows() const;

    win::HWND mainWindow = nullptr;
    std::int32_t mainFromCache = 0;
    win::HWND notificationWindow = nullptr;
    NotificationMatch notificationMatch = NotificationMatch::None;
    DiagnosticLog* log = nullptr;
};

// True when the process that owns the window has the image file name Teams.exe.
bool isTeamsWindow(win::HWND window);
