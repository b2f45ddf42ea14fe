// A test tool run under Wine next to the program:
//
//   wine_helper launch <file>            starts the command line held in <file>
//                                        (UTF-8, exactly as written, no quoting
//                                        added), waits for it and exits with its
//                                        exit code
//   wine_helper hold <file> <ms> <times> <gap-ms>
//                                        opens <file> exclusively (share mode 0)
//                                        <times> times, holding it <ms> each time
//                                        and pausing <gap-ms> in between, as
//                                        another process writing an entry would
//   wine_helper follow <file> <ms>       opens <file> for reading, sharing
//                                        everything, and holds it <ms>, as a log
//                                        viewer that follows the file does
//
// `wine X.exe ARG` re-quotes ARG, so a test that needs a command line with an
// unbalanced quote, a tab or a line break in it goes through `launch`.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../common/utf8_files.h"

namespace {

std::wstring readUtf8File(const wchar_t* path)
{
    FILE* f = _wfopen(path, L"rb");
    if (f == nullptr) {
        return {};
    }
    std::string bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes.append(buffer, n);
    }
    fclose(f);
    return tools::fromUtf8(bytes);
}

int launch(const wchar_t* file)
{
    std::wstring commandLine = readUtf8File(file);
    if (commandLine.empty()) {
        return 250;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 251;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 252;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int hold(const wchar_t* path, int holdMs, int times, int gapMs)
{
    int held = 0;
    for (int i = 0; i < times; ++i) {
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ++held;
            Sleep(static_cast<DWORD>(holdMs));
            CloseHandle(file);
        }
        Sleep(static_cast<DWORD>(gapMs));
    }
    std::printf("held %d of %d\n", held, times);
    return held > 0 ? 0 : 1;
}

int follow(const wchar_t* path, int holdMs)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::printf("following\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(holdMs));
    CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wstring(argv[1]) == L"launch") {
        return launch(argv[2]);
    }
    if (argc == 6 && std::wstring(argv[1]) == L"hold") {
        return hold(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    }
    if (argc == 4 && std::wstring(argv[1]) == L"follow") {
        return follow(argv[2], _wtoi(argv[3]));
    }
    std::fputs("usage: wine_helper launch <file> | hold <file> <ms> <times> <gap-ms> | follow <file> <ms>\n", stderr);
    return 2;
}
