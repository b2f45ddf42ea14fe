// The in-memory machine's windowing: the module's resources, window classes,
// the program's windows and the standard controls, GDI objects, device
// contexts, one thread's message queue and the shell's "open".
//
// Top-level windows made here also join the desktop's z-order (desktop.cpp),
// owned by the program's own process, so the desktop functions see them as
// they would see any other window.
#include <algorithm>
#include <cstring>
#include <deque>
#include <list>
#include <utility>

#include "winapi/desktop.h"
#include "winapi/inmemory/machine.h"

namespace inmemory::detail {

struct UiWindow {
    WindowRecord record;
    win::WNDPROC procedure = nullptr;  // null for the standard controls
    enum class Kind { Registered, Edit, Static, Button } kind = Kind::Registered;
};

struct UiState {
    std::map<win::UINT, std::u16string> strings;
    std::map<win::WORD, win::HICON> icons;
    win::LONG desktopWidth = 1920;
    win::LONG desktopHeight = 1080;
    std::list<ClassRecord> classes;  // a list: records hand out pointers into themselves
    std::vector<UiWindow> windows;
    std::map<std::uintptr_t, FontRecord> fonts;
    std::map<std::uintptr_t, std::pair<win::COLORREF, bool>> brushes;  // colour, deleted
    std::map<std::uintptr_t, std::pair<win::COLORREF, int>> dcs;       // text colour, mode
    win::ATOM nextAtom = 0xC000;
    win::DWORD ownProcess = 0;
    std::deque<win::MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
    std::deque<std::function<void()>> idle;
    bool starved = false;
    std::vector<DefaultMessage> defaults;
    std::vector<ShellCall> shell;
};

namespace {

constexpr std::uintptr_t StockBase = 0x7F000000;
constexpr int StockCount = 20;
constexpr std::uintptr_t SystemIconBase = 0x7F100000;
constexpr std::uintptr_t SystemCursorBase = 0x7F200000;
constexpr std::uintptr_t DefaultControlBrush = 0x7F300010;  // COLOR_3DFACE's system brush
const win::HWND DesktopWindow = reinterpret_cast<win::HWND>(std::uintptr_t{0x10000});
const win::HINSTANCE ModuleInstance = reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000});

UiState& ui()
{
    Machine& m = machine();
    if (!m.ui) {
        m.ui = std::make_shared<UiState>();
    }
    return *m.ui;
}

// Not reset with the machine: a handle kept by the program from an earlier
// test must never name an object of a later one.
std::uintptr_t newObject()
{
    static std::uintptr_t next = 0x7A000000;
    const std::uintptr_t value = next;
    next += 4;
    return value;
}

UiWindow* uiWindow(win::HWND handle)
{
    for (UiWindow& w : ui().windows) {
        if (w.record.handle == handle && !w.record.destroyed) {
            return &w;
        }
    }
    return nullptr;
}

std::u16string textOf(const char16_t* text) { return text != nullptr ? std::u16string(text) : std::u16string(); }

}  // namespace

}  // namespace inmemory::detail

namespace win {

using namespace inmemory::detail;
using inmemory::ClassRecord;
using inmemory::detail::machine;

namespace {

LRESULT controlProcedure(UiWindow& w, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT callProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    UiWindow* w = uiWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->procedure != nullptr) {
        return w->procedure(window, message, wParam, lParam);
    }
    return controlProcedure(*w, message, wParam, lParam);
}

// DestroyWindow: the window hears WM_DESTROY before its children do, and each
// is gone from the desktop before WM_NCDESTROY, the last message it gets.
void destroyTree(HWND window)
{
    std::vector<HWND> children;
    for (const UiWindow& c : ui().windows) {
        if (c.record.parent == window && !c.record.destroyed && (c.record.style & WS_CHILD) != 0) {
            children.push_back(c.record.handle);
        }
    }
    callProcedure(window, WM_DESTROY, 0, 0);
    for (HWND child : children) {
        destroyTree(child);
    }
    if (UiWindow* w = uiWindow(window)) {
        const bool topLevel = (w->record.style & WS_CHILD) == 0;
        callProcedure(window, WM_NCDESTROY, 0, 0);
        if ((w = uiWindow(window)) != nullptr) {
            w->record.destroyed = true;
            w->record.visible = false;
        }
        if (topLevel) {
            inmemory::destroyWindow(window);
        }
    }
}

LRESULT textMessage(UiWindow& w, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::u16string& text = w.record.text;
    switch (message) {
    case WM_SETTEXT:
        text = textOf(reinterpret_cast<const char16_t*>(lParam));
        if ((w.record.style & WS_CHILD) == 0) {
            inmemory::setWindowTitle(w.record.handle, text);
        }
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(text.size());
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char16_t*>(lParam);
        if (wParam == 0 || buffer == nullptr) {
            return 0;
        }
        const std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
        std::memcpy(buffer, text.data(), n * sizeof(char16_t));
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    default:
        return 0;
    }
}

LRESULT controlProcedure(UiWindow& w, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFONT:
        w.record.font = reinterpret_cast<HFONT>(wParam);
        w.record.fontRedraw = lParam;
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w.record.font);
    case BM_CLICK:
        if (w.kind == UiWindow::Kind::Button) {
            inmemory::clickControl(w.record.handle);
        }
        return 0;
    default:
        return DefWindowProcW(w.record.handle, message, wParam, lParam);
    }
}

UiWindow::Kind systemClass(const std::u16string& name, bool& found)
{
    found = true;
    const std::u16string folded = fold(name);
    if (folded == u"edit") {
        return UiWindow::Kind::Edit;
    }
    if (folded == u"static") {
        return UiWindow::Kind::Static;
    }
    if (folded == u"button") {
        return UiWindow::Kind::Button;
    }
    found = false;
    return UiWindow::Kind::Registered;
}

}  // namespace

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int maxCount)
{
    if (buffer != nullptr && maxCount > 0) {
        buffer[0] = 0;
    }
    if (enterFailing("LoadStringW")) {
        return 0;
    }
    if (instance != ModuleInstance) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    auto it = ui().strings.find(id);
    if (it == ui().strings.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr || maxCount <= 0) {
        // The read-only pointer form (maxCount 0) is not used by the program.
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(it->second.size(), static_cast<std::size_t>(maxCount - 1));
    std::memcpy(buffer, it->second.data(), n * sizeof(char16_t));
    buffer[n] = 0;
    return static_cast<int>(n);
}

HICON LoadIconW(HINSTANCE instance, const char16_t* name)
{
    if (enterFailing("LoadIconW")) {
        return nullptr;
    }
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const auto id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
    if (instance == nullptr) {
        // IDI_APPLICATION (32512) up to IDI_SHIELD (32518).
        if (id >= 32512 && id <= 32518) {
            return reinterpret_cast<HICON>(SystemIconBase + id);
        }
    } else if (instance == ModuleInstance) {
        auto it = ui().icons.find(id);
        if (it != ui().icons.end()) {
            return it->second;
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR LoadCursorW(HINSTANCE instance, const char16_t* name)
{
    if (enterFailing("LoadCursorW")) {
        return nullptr;
    }
    // IDC_ARROW (32512) up to IDC_HELP (32651); the module has no cursors.
    const auto value = reinterpret_cast<std::uintptr_t>(name);
    if (instance == nullptr && IS_INTRESOURCE(name) && value >= 32512 && value <= 32651) {
        return reinterpret_cast<HCURSOR>(SystemCursorBase + value);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass)
{
    if (enterFailing("RegisterClassExW")) {
        return 0;
    }
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXW) ||
        windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UiState& s = ui();
    const std::u16string folded = fold(windowClass->lpszClassName);
    for (const ClassRecord& c : s.classes) {
        if (fold(c.name) == folded && c.record.hInstance == windowClass->hInstance) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    ClassRecord& added = s.classes.emplace_back(ClassRecord{*windowClass, windowClass->lpszClassName, s.nextAtom++});
    added.record.lpszClassName = added.name.c_str();
    added.record.lpszMenuName = nullptr;  // menus by name are not kept
    return added.atom;
}

HWND CreateWindowExW(DWORD exStyle, const char16_t* className, const char16_t* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void*)
{
    if (enterFailing("CreateWindowExW")) {
        return nullptr;
    }
    UiState& s = ui();
    const std::u16string name = textOf(className);
    UiWindow w;
    bool isSystem = false;
    w.kind = systemClass(name, isSystem);
    if (!isSystem) {
        const ClassRecord* c = inmemory::registeredClass(name);
        if (c == nullptr) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        w.procedure = c->record.lpfnWndProc;
    }
    const bool child = (style & WS_CHILD) != 0;
    if (child && parent == nullptr) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (parent != nullptr && uiWindow(parent) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!child) {
        if (s.ownProcess == 0) {
            s.ownProcess = inmemory::addProcess(machine().moduleFileName);
        }
        inmemory::WindowTraits traits;
        traits.className = name;
        traits.title = textOf(title);
        traits.visible = false;
        traits.processId = s.ownProcess;
        w.record.handle = inmemory::addWindow(traits);
    } else {
        w.record.handle = inmemory::unusedWindowHandle();
    }
    w.record.className = name;
    w.record.text = textOf(title);
    w.record.exStyle = exStyle;
    w.record.style = style;
    w.record.x = x;
    w.record.y = y;
    w.record.width = width;
    w.record.height = height;
    w.record.parent = parent;
    w.record.menu = menu;
    w.record.instance = instance;
    w.record.visible = child && (style & static_cast<DWORD>(WS_VISIBLE)) != 0;
    const HWND handle = w.record.handle;
    s.windows.push_back(std::move(w));

    if (callProcedure(handle, WM_NCCREATE, 0, 0) == FALSE || callProcedure(handle, WM_CREATE, 0, 0) == -1) {
        if (uiWindow(handle) != nullptr) {
            destroyTree(handle);
        }
        SetLastError(ERROR_SUCCESS);
        return nullptr;
    }
    if (!child && (style & static_cast<DWORD>(WS_VISIBLE)) != 0) {
        ShowWindow(handle, SW_SHOW);
    }
    return handle;
}

BOOL ShowWindow(HWND window, int command)
{
    if (enterFailing("ShowWindow")) {
        return FALSE;
    }
    UiWindow* w = uiWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const BOOL wasVisible = w->record.visible ? TRUE : FALSE;
    w->record.visible = command != SW_HIDE;
    w->record.lastShowCommand = command;
    if ((w->record.style & WS_CHILD) == 0) {
        inmemory::setWindowVisible(window, w->record.visible);
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND window)
{
    if (enterFailing("UpdateWindow")) {
        return FALSE;
    }
    UiWindow* w = uiWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->record.updated = true;
    if (w->record.visible) {
        callProcedure(window, WM_PAINT, 0, 0);
    }
    return TRUE;
}

HWND GetDesktopWindow()
{
    enterFailing("GetDesktopWindow");  // cannot fail
    return DesktopWindow;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    if (enterFailing("GetClientRect")) {
        return FALSE;
    }
    if (window == DesktopWindow) {
        *rect = RECT{0, 0, ui().desktopWidth, ui().desktopHeight};
        return TRUE;
    }
    // Our windows' client area is taken as their whole size: this machine
    // keeps no frame metrics.
    const UiWindow* w = uiWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, w->record.width, w->record.height};
    return TRUE;
}

HMENU GetMenu(HWND window)
{
    if (enterFailing("GetMenu")) {
        return nullptr;
    }
    const UiWindow* w = uiWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->record.menu;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (enterFailing("SendMessageW")) {
        return 0;
    }
    return callProcedure(window, message, wParam, lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    enterFailing("DefWindowProcW");
    UiWindow* w = uiWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    ui().defaults.push_back(inmemory::DefaultMessage{window, message, wParam, lParam});
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            return SendMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        destroyTree(window);
        return 0;
    case WM_CTLCOLORSTATIC:
        return static_cast<LRESULT>(DefaultControlBrush);
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return textMessage(*w, message, wParam, lParam);
    default:
        return 0;
    }
}

BOOL GetMessageW(MSG* message, HWND window, UINT, UINT)
{
    if (enterFailing("GetMessageW")) {
        return -1;
    }
    if (message == nullptr || (window != nullptr && uiWindow(window) == nullptr)) {
        SetLastError(message == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    UiState& s = ui();
    for (;;) {
        if (!s.queue.empty()) {
            *message = s.queue.front();
            s.queue.pop_front();
            return TRUE;
        }
        // The quit message comes only once the posted messages are handled.
        if (s.quitPosted) {
            s.quitPosted = false;
            *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<std::intptr_t>(s.quitCode)), 0, 0, {}};
            return FALSE;
        }
        if (s.idle.empty()) {
            s.starved = true;
            SetLastError(ERROR_INVALID_HANDLE);
            return -1;
        }
        auto action = std::move(s.idle.front());
        s.idle.pop_front();
        action();
    }
}

BOOL TranslateMessage(const MSG* message)
{
    enterFailing("TranslateMessage");
    // Key messages would produce characters; nothing here types.
    return message != nullptr && message->message == WM_KEYDOWN ? TRUE : FALSE;
}

LRESULT DispatchMessageW(const MSG* message)
{
    if (enterFailing("DispatchMessageW")) {
        return 0;
    }
    if (message == nullptr || message->hwnd == nullptr) {
        return 0;
    }
    return callProcedure(message->hwnd, message->message, message->wParam, message->lParam);
}

void PostQuitMessage(int exitCode)
{
    enterFailing("PostQuitMessage");
    ui().quitPosted = true;
    ui().quitCode = exitCode;
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    if (enterFailing("CreateSolidBrush")) {
        return nullptr;
    }
    const std::uintptr_t handle = newObject();
    ui().brushes[handle] = {color, false};
    return reinterpret_cast<HBRUSH>(handle);
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outputPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char16_t* faceName)
{
    if (enterFailing("CreateFontW")) {
        return nullptr;
    }
    const std::uintptr_t handle = newObject();
    ui().fonts[handle] = inmemory::FontRecord{height,  width,          escapement,      orientation,
                                              weight,  italic,         underline,       strikeOut,
                                              charSet, outputPrecision, clipPrecision,  quality,
                                              pitchAndFamily, textOf(faceName), false};
    return reinterpret_cast<HFONT>(handle);
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (enterFailing("DeleteObject")) {
        return FALSE;
    }
    const auto value = reinterpret_cast<std::uintptr_t>(object);
    if (value >= StockBase && value < StockBase + StockCount * 4) {
        return TRUE;
    }
    UiState& s = ui();
    if (auto font = s.fonts.find(value); font != s.fonts.end() && !font->second.deleted) {
        font->second.deleted = true;
        return TRUE;
    }
    if (auto brush = s.brushes.find(value); brush != s.brushes.end() && !brush->second.second) {
        brush->second.second = true;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

HGDIOBJ GetStockObject(int index)
{
    enterFailing("GetStockObject");
    if (index < 0 || index >= StockCount) {
        return nullptr;
    }
    return reinterpret_cast<HGDIOBJ>(StockBase + static_cast<std::uintptr_t>(index) * 4);
}

COLORREF SetTextColor(HDC dc, COLORREF color)
{
    if (enterFailing("SetTextColor")) {
        return CLR_INVALID;
    }
    auto it = ui().dcs.find(reinterpret_cast<std::uintptr_t>(dc));
    if (it == ui().dcs.end()) {
        return CLR_INVALID;
    }
    return std::exchange(it->second.first, color);
}

int SetBkMode(HDC dc, int mode)
{
    if (enterFailing("SetBkMode")) {
        return 0;
    }
    auto it = ui().dcs.find(reinterpret_cast<std::uintptr_t>(dc));
    if (it == ui().dcs.end() || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(it->second.second, mode);
}

HINSTANCE ShellExecuteW(HWND owner, const char16_t* verb, const char16_t* file, const char16_t* parameters,
                        const char16_t* directory, int showCommand)
{
    ui().shell.push_back(inmemory::ShellCall{owner, textOf(verb), textOf(file), textOf(parameters),
                                             textOf(directory), verb == nullptr, parameters == nullptr,
                                             directory == nullptr, showCommand});
    std::uintptr_t result = 42;
    if (enterFailing("ShellExecuteW")) {
        result = GetLastError();
    } else if (file == nullptr || (!inmemory::folderExists(file) && !inmemory::fileExists(file))) {
        result = inmemory::folderExists(parentPath(textOf(file))) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    return reinterpret_cast<HINSTANCE>(result);
}

}  // namespace win

namespace inmemory {

using namespace detail;

win::HINSTANCE moduleInstance() { return ModuleInstance; }

void setStringResource(win::UINT id, const std::u16string& text) { ui().strings[id] = text; }

void setIconResource(win::WORD id)
{
    UiState& s = ui();
    if (s.icons.find(id) == s.icons.end()) {
        s.icons[id] = reinterpret_cast<win::HICON>(newObject());
    }
}

void setDesktopSize(int width, int height)
{
    ui().desktopWidth = width;
    ui().desktopHeight = height;
}

const ClassRecord* registeredClass(const std::u16string& name)
{
    const std::u16string folded = fold(name);
    for (const ClassRecord& c : ui().classes) {
        if (fold(c.name) == folded) {
            return &c;
        }
    }
    return nullptr;
}

std::vector<WindowRecord> createdWindows()
{
    std::vector<WindowRecord> out;
    for (const UiWindow& w : ui().windows) {
        out.push_back(w.record);
    }
    return out;
}

std::vector<WindowRecord> childrenOf(win::HWND parent)
{
    std::vector<WindowRecord> out;
    for (const UiWindow& w : ui().windows) {
        if (w.record.parent == parent && (w.record.style & win::WS_CHILD) != 0) {
            out.push_back(w.record);
        }
    }
    return out;
}

FontRecord fontRecord(win::HFONT font) { return ui().fonts.at(reinterpret_cast<std::uintptr_t>(font)); }

std::size_t liveFontCount()
{
    return static_cast<std::size_t>(std::count_if(ui().fonts.begin(), ui().fonts.end(),
                                                  [](const auto& f) { return !f.second.deleted; }));
}

std::size_t liveBrushCount()
{
    const auto& brushes = ui().brushes;
    return static_cast<std::size_t>(
        std::count_if(brushes.begin(), brushes.end(), [](const auto& b) { return !b.second.second; }));
}

win::COLORREF brushColor(win::HBRUSH brush) { return ui().brushes.at(reinterpret_cast<std::uintptr_t>(brush)).first; }

win::HDC createDeviceContext()
{
    const std::uintptr_t handle = newObject();
    ui().dcs[handle] = {0x00000000, win::OPAQUE};  // a fresh context: black text, opaque background
    return reinterpret_cast<win::HDC>(handle);
}

win::COLORREF textColor(win::HDC dc) { return ui().dcs.at(reinterpret_cast<std::uintptr_t>(dc)).first; }
int backgroundMode(win::HDC dc) { return ui().dcs.at(reinterpret_cast<std::uintptr_t>(dc)).second; }

ControlColors paintColorsOf(win::HWND control)
{
    const UiWindow* w = uiWindow(control);
    if (w == nullptr || w->kind == UiWindow::Kind::Registered || w->kind == UiWindow::Kind::Button) {
        return ControlColors{nullptr, win::CLR_INVALID, 0};
    }
    // A static control, and an edit control that is read-only, ask with
    // WM_CTLCOLORSTATIC; an editable edit control would ask with
    // WM_CTLCOLOREDIT, which the program does not answer.
    const win::HWND parent = w->record.parent;
    const win::HDC dc = createDeviceContext();
    const win::LRESULT brush = win::SendMessageW(parent, win::WM_CTLCOLORSTATIC, reinterpret_cast<win::WPARAM>(dc),
                                                 reinterpret_cast<win::LPARAM>(control));
    return ControlColors{reinterpret_cast<win::HGDIOBJ>(brush), textColor(dc), backgroundMode(dc)};
}

win::HGDIOBJ defaultControlBrush() { return reinterpret_cast<win::HGDIOBJ>(DefaultControlBrush); }

void clickControl(win::HWND control, bool doubleClick)
{
    const UiWindow* w = uiWindow(control);
    if (w == nullptr) {
        return;
    }
    const auto id = static_cast<win::WORD>(reinterpret_cast<std::uintptr_t>(w->record.menu));
    const win::HWND parent = w->record.parent;
    const auto notify = [&](win::WORD code) {
        win::SendMessageW(parent, win::WM_COMMAND, win::MAKEWPARAM(id, code), reinterpret_cast<win::LPARAM>(control));
    };
    if (w->kind == UiWindow::Kind::Button) {
        // A push button without BS_NOTIFY reports each click alike.
        notify(win::BN_CLICKED);
        if (doubleClick) {
            notify(win::BN_CLICKED);
        }
    } else if (w->kind == UiWindow::Kind::Static && (w->record.style & win::SS_NOTIFY) != 0) {
        notify(win::STN_CLICKED);
        if (doubleClick) {
            notify(win::STN_DBLCLK);
        }
    }
}

const std::vector<DefaultMessage>& defaultProcessed() { return ui().defaults; }
const std::vector<ShellCall>& shellCalls() { return ui().shell; }

void queueMessage(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam)
{
    ui().queue.push_back(win::MSG{window, message, wParam, lParam, 0, {}});
}

void onIdle(std::function<void()> action) { ui().idle.push_back(std::move(action)); }

bool messageLoopStarved() { return ui().starved; }

}  // namespace inmemory
