// Stand-in until the status window is built: it closes at once with exit
// value 0, as a window the user closed would.
#include "ui/status_window.h"

std::int32_t showStatusWindow(DiagnosticLog&, win::HINSTANCE, int)
{
    return 0;
}
