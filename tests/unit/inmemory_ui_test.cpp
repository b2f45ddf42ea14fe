// The in-memory windowing keeps the Win32 rules the status window's tests
// rely on; a fake that got them wrong would let a wrong window pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "winapi/inmemory/inmemory.h"

namespace {

std::vector<std::pair<win::HWND, win::UINT>> heard;

win::LRESULT recordingProcedure(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam)
{
    heard.emplace_back(window, message);
    if (message == win::WM_CREATE) {
        win::CreateWindowExW(0, u"STATIC", u"child", win::WS_CHILD, 0, 0, 10, 10, window,
                             reinterpret_cast<win::HMENU>(std::uintptr_t{5}), nullptr, nullptr);
    }
    if (message == win::WM_DESTROY) {
        win::PostQuitMessage(3);
    }
    return win::DefWindowProcW(window, message, wParam, lParam);
}

constexpr win::UINT WM_USER = 0x0400;

win::ATOM registerRecorder()
{
    win::WNDCLASSEXW c{};
    c.cbSize = sizeof(c);
    c.lpfnWndProc = recordingProcedure;
    c.lpszClassName = u"Recorder";
    return win::RegisterClassExW(&c);
}

win::HWND makeWindow()
{
    registerRecorder();
    return win::CreateWindowExW(0, u"recorder", u"Top", win::WS_POPUP, 1, 2, 30, 40, nullptr, nullptr, nullptr,
                                nullptr);
}

}  // namespace

TEST(InMemoryUi, CreationAndDestructionFollowWin32Order)
{
    inmemory::reset();
    heard.clear();
    const win::HWND top = makeWindow();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(registerRecorder(), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_CLASS_ALREADY_EXISTS);
    EXPECT_EQ(heard, (std::vector<std::pair<win::HWND, win::UINT>>{{top, win::WM_NCCREATE}, {top, win::WM_CREATE}}));
    EXPECT_FALSE(win::IsWindowVisible(top)) << "hidden until shown";
    EXPECT_FALSE(win::ShowWindow(top, win::SW_SHOW));
    EXPECT_TRUE(win::IsWindowVisible(top)) << "the desktop sees the window";

    const win::HWND child = inmemory::childrenOf(top).at(0).handle;
    heard.clear();
    // A posted close comes before the quit the destruction posts, and the
    // quit comes only after the queue is empty.
    inmemory::queueMessage(top, win::WM_CLOSE, 0, 0);
    inmemory::queueMessage(top, WM_USER, 0, 0);
    win::MSG m{};
    std::vector<win::UINT> got;
    win::BOOL r = 0;
    while ((r = win::GetMessageW(&m, nullptr, 0, 0)) > 0) {
        got.push_back(m.message);
        win::DispatchMessageW(&m);
    }
    EXPECT_EQ(r, 0);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(got, (std::vector<win::UINT>{win::WM_CLOSE, WM_USER}));
    ASSERT_GE(heard.size(), 3u);
    EXPECT_EQ(heard[0], std::make_pair(top, win::WM_CLOSE));
    EXPECT_EQ(heard[1], std::make_pair(top, win::WM_DESTROY)) << "the parent hears WM_DESTROY first";
    EXPECT_EQ(heard.back(), std::make_pair(top, win::WM_NCDESTROY));
    EXPECT_FALSE(win::IsWindowVisible(top));
    EXPECT_EQ(win::GetMenu(child), nullptr);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_WINDOW_HANDLE) << "children go with their parent";
    EXPECT_EQ(win::GetMessageW(&m, nullptr, 0, 0), -1);
    EXPECT_TRUE(inmemory::messageLoopStarved());
}

TEST(InMemoryUi, RefusalsAndObjectLifetimes)
{
    inmemory::reset();
    EXPECT_EQ(win::CreateWindowExW(0, u"Nothing", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(win::GetLastError(), win::ERROR_CANNOT_FIND_WND_CLASS);
    EXPECT_EQ(win::CreateWindowExW(0, u"EDIT", u"", win::WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(win::GetLastError(), win::ERROR_TLW_WITH_WSCHILD);

    const win::HFONT font = win::CreateFontW(20, 0, 0, 0, 0, 0, 1, 0, 1, 8, 0, 5, 2, u"Segoe UI");
    EXPECT_EQ(inmemory::liveFontCount(), 1u);
    EXPECT_TRUE(win::DeleteObject(font));
    EXPECT_FALSE(win::DeleteObject(font)) << "a deleted font is no object";
    EXPECT_TRUE(win::DeleteObject(win::GetStockObject(win::NULL_BRUSH))) << "stock objects ignore deletion";
    EXPECT_EQ(inmemory::liveFontCount(), 0u);

    char16_t text[6];
    EXPECT_EQ(win::LoadStringW(inmemory::moduleInstance(), 103, text, 6), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_RESOURCE_NAME_NOT_FOUND);
    inmemory::setStringResource(103, u"Velmorathis");
    EXPECT_EQ(win::LoadStringW(inmemory::moduleInstance(), 103, text, 6), 5);
    EXPECT_EQ(std::u16string(text), u"Velmo");
    EXPECT_EQ(win::LoadStringW(nullptr, 103, text, 6), 0) << "another module has other resources";

    const win::HDC dc = inmemory::createDeviceContext();
    EXPECT_EQ(win::SetTextColor(dc, 0x00FF0000), 0u);
    EXPECT_EQ(win::SetBkMode(dc, win::TRANSPARENT), win::OPAQUE);
    EXPECT_EQ(win::SetTextColor(nullptr, 0), win::CLR_INVALID);
}
