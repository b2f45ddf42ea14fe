#include "ui/status_content.h"

#include "util/strings.h"

namespace ui {

namespace {
constexpr int StatusWidth = 400;
constexpr int StatusHeight = 200;
constexpr int StatusDebugHeight = 250;
}  // namespace

void composeDetectionText(char16_t (&text)[StatusTextCapacity], bool teamsDetected, bool notificationFound)
{
    util::copyString(text, teamsDetected ? TeamsDetectedText : TeamsNotFoundText);
    if (teamsDetected) {
        util::appendString(text, notificationFound ? NotificationFoundText : NotificationNotFoundText);
    }
}

StatusGeometry statusWindowGeometry(win::LONG desktopRight, win::LONG desktopBottom, bool debug)
{
    const int height = debug ? StatusDebugHeight : StatusHeight;
    return StatusGeometry{desktopRight / 2 - StatusWidth / 2, desktopBottom / 2 - height / 2, StatusWidth, height};
}

bool logFolderOf(const char16_t* logPath, char16_t (&folder)[StatusPathCapacity])
{
    util::copyString(folder, logPath != nullptr ? logPath : u"");
    return util::pathRemoveFileSpec(folder);
}

}  // namespace ui
