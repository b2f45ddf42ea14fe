// The baselines for the start-up benchmark (bench/run): GUI-subsystem
// programs built and linked like VelmorathisMirrowcast.exe that do nothing,
// so that the time they take is what Windows (here Wine) costs to start and
// end such a process.
//
// empty_program imports what the C runtime needs and nothing else.
// empty_program_imports (MIRROWCAST_SAME_IMPORTS) also imports the system
// DLLs the program imports: under Wine, loading USER32 alone starts the
// display driver and costs more than everything the program then does, so
// only this second baseline shows the cost of the program's own work.
// empty_program_desktop (MIRROWCAST_DESKTOP as well) then asks for one
// top-level window and enumerates the desktop's windows once, as any run that
// looks for Teams does: under Wine the first call that touches the desktop's
// window list sets the desktop up (20 to 170 ms), a cost of Wine's, not of
// the program's, and FindWindowExW for a class nobody has does not pay it.
#include <windows.h>

#if defined(MIRROWCAST_SAME_IMPORTS)
#include <shellapi.h>
#include <shlwapi.h>
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
#if defined(MIRROWCAST_SAME_IMPORTS)
    // One call into each DLL, each returning at once, so that the linker
    // keeps the import and the loader has to map and start the DLL.
    int failures = 0;
    failures += IsWindow(nullptr) ? 1 : 0;                       // USER32
    failures += GetStockObject(WHITE_BRUSH) == nullptr ? 1 : 0;  // GDI32
    failures += RegCloseKey(nullptr) == ERROR_SUCCESS ? 1 : 0;   // ADVAPI32
    DragAcceptFiles(nullptr, FALSE);                             // SHELL32
    failures += StrCmpIW(L"a", L"A") != 0 ? 1 : 0;               // SHLWAPI
#if defined(MIRROWCAST_DESKTOP)
    FindWindowExW(nullptr, nullptr, L"Chrome_WidgetWin_1", nullptr);
    int windows = 0;
    EnumWindows(
        [](HWND, LPARAM counted) -> BOOL {
            ++*reinterpret_cast<int*>(counted);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    failures += windows < 0 ? 1 : 0;
#endif
    return failures;
#else
    return 0;
#endif
}
