// What the status window shows and where, apart from the window mechanics:
// the detection text, the window's place on the desktop and the folder the
// log link opens.
#pragma once

#include <cstddef>
#include <cstdint>

#include "winapi/types.h"

namespace ui {

constexpr std::size_t StatusTextCapacity = 256;  // at most 255 characters
constexpr std::size_t StatusPathCapacity = 260;

constexpr char16_t TeamsDetectedText[] = u"\u2713 Teams desktop application detected";
constexpr char16_t TeamsNotFoundText[] = u"\u2717 Teams desktop application not found";
constexpr char16_t NotificationFoundText[] = u"\r\n\r\n\u2713 Teams call notification window found";
constexpr char16_t NotificationNotFoundText[] = u"\r\n\r\n\u2717 Teams call notification window not found";

// The text of the detection box. The notification line is added only when
// Teams was detected: a notification window the scan found among hidden
// windows alone says nothing the user could act on.
void composeDetectionText(char16_t (&text)[StatusTextCapacity], bool teamsDetected, bool notificationFound);

struct StatusGeometry {
    int left;
    int top;
    int width;
    int height;
};

// Centred on the desktop's client rectangle (halves rounded down, as integer
// division does); the debug mode's extra button makes the window taller.
StatusGeometry statusWindowGeometry(win::LONG desktopRight, win::LONG desktopBottom, bool debug);

// The folder of the log file, for the log link: false (and nothing to open)
// when the log is off (empty path) or the path names no folder.
bool logFolderOf(const char16_t* logPath, char16_t (&folder)[StatusPathCapacity]);

}  // namespace ui
