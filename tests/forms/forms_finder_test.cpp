// The window finder, the history combo box and the quiet check box, driven
// with real input through xdotool on the virtual display: a drag from the
// finder across a window of another process, typing into the combo box,
// clicking the check box. Screenshots (ImageMagick's import) show the
// outline over the other program's window and nothing left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/check_box.h"
#include "forms/controls.h"
#include "forms/find_window.h"
#include "forms/form.h"
#include "forms/history_combo.h"
#include "foundation/winfuncs.h"
#include "tests/common/child_process.h"
#include "tests/forms/forms_test_support.h"
#include "tests/forms/host_tools.h"

using namespace omb::forms;
using omb::test::HostHas;
using omb::test::PumpUntil;
using omb::test::RunHost;
using omb::test::Xdo;

namespace {

// ------------------------------------------------------------ real input

// Moves the pointer and waits until this process sees it there.
bool MoveTo(POINT p) {
    if (!Xdo("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y))) return false;
    return PumpUntil([&] {
        POINT now;
        return ::GetCursorPos(&now) && now.x == p.x && now.y == p.y;
    });
}

// A screenshot of the whole display.
struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    COLORREF At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
    bool SameOver(const Shot& o, const RECT& r) const {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) != o.At(x, y)) return false;
        return true;
    }
};

std::string ShotPath(const char* name) {
    return "/tmp/omb_finder_" + std::to_string(::GetCurrentProcessId()) + "_" + name + ".ppm";
}

bool TakeShot(Shot& shot, const char* name = "shot") {
    const std::string unix = ShotPath(name);
    if (!RunHost("import", "-window root -depth 8 " + unix)) return false;
    std::string dos = "Z:" + unix;
    for (char& c : dos)
        if (c == '/') c = '\\';
    std::ifstream in(dos, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> shot.width >> shot.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || shot.width <= 0 || shot.height <= 0) return false;
    shot.rgb.resize(static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height) * 3);
    in.read(reinterpret_cast<char*>(shot.rgb.data()), static_cast<std::streamsize>(shot.rgb.size()));
    const bool ok = in.gcount() == static_cast<std::streamsize>(shot.rgb.size());
    in.close();
    if (!::GetEnvironmentVariableW(L"OMB_KEEP_SHOTS", nullptr, 0)) ::DeleteFileW(omb::ToWide(dos).c_str());
    return ok;
}

// Takes screenshots until one satisfies the condition (the display draws
// asynchronously), at most a few seconds.
bool ShotUntil(Shot& shot, const std::function<bool(const Shot&)>& done, const char* name = "shot") {
    const DWORD start = ::GetTickCount();
    do {
        PumpUntil([] { return false; }, 30);
        if (TakeShot(shot, name) && done(shot)) return true;
    } while (::GetTickCount() - start < 4000);
    return false;
}

// ------------------------------------------------- the other program

constexpr wchar_t kTargetClass[] = L"OmbFinderTarget";
constexpr char kTargetCaption[] = "Finder target";
const RECT kTargetRect{420, 300, 740, 500};  // screen; no frame of its own

// A popup of a known class and caption with a button inside; it closes
// when the test sets the close event.
int TargetRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 2;
    omb::UniqueHandle ready = omb::test::NamedEvent(args[0]);
    omb::UniqueHandle close = omb::test::NamedEvent(args[1]);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kTargetClass;
    ::RegisterClassExW(&wc);
    HWND w = ::CreateWindowExW(0, kTargetClass, omb::ToWide(kTargetCaption).c_str(), WS_POPUP | WS_VISIBLE,
                               kTargetRect.left, kTargetRect.top, kTargetRect.right - kTargetRect.left,
                               kTargetRect.bottom - kTargetRect.top, nullptr, nullptr, wc.hInstance, nullptr);
    ::CreateWindowExW(0, L"BUTTON", L"Target button", WS_CHILD | WS_VISIBLE, 20, 20, 120, 30, w, nullptr,
                      wc.hInstance, nullptr);
    ::UpdateWindow(w);
    ::SetEvent(ready.get());
    for (;;) {
        HANDLE h = close.get();
        const DWORD r = ::MsgWaitForMultipleObjects(1, &h, FALSE, 30000, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::DestroyWindow(w);
    return 0;
}
OMB_CHILD_ROLE("finder-target", TargetRole);

struct Target {
    std::string readyName = omb::test::UniqueName("finder-ready");
    std::string closeName = omb::test::UniqueName("finder-close");
    omb::UniqueHandle ready = omb::test::NamedEvent(readyName);
    omb::UniqueHandle close = omb::test::NamedEvent(closeName);
    omb::test::ChildProcess process = omb::test::ChildProcess::Start("finder-target", {readyName, closeName});
    HWND window = nullptr;
    HWND button = nullptr;
    bool Started() {
        if (!process || !omb::test::WaitSignalled(ready.get(), 10000)) return false;
        window = ::FindWindowW(kTargetClass, nullptr);
        button = window ? ::FindWindowExW(window, nullptr, L"BUTTON", nullptr) : nullptr;
        return window && button && PumpUntil([&] { return ::IsWindowVisible(window) != FALSE; });
    }
    void Close() {
        ::SetEvent(close.get());
        process.Wait(10000);
    }
    ~Target() { Close(); }
};

// ------------------------------------------------------------- our form

struct FinderForm : TForm {
    TFindWindow* finder;
    std::vector<HWND> reports;
    explicit FinderForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(40, 40, 240, 140);
        SetText("Finder test");
        finder = new TFindWindow(this);
        finder->SetName("Finder");
        finder->SetParent(this);
        finder->SetBounds(16, 16, 100, 100);
        EndLoading();
        finder->AfterSelectWindow = [this](TComponent*, HWND w) { reports.push_back(w); };
    }
    POINT FinderCentre() {
        POINT p{16, 16};
        ::ClientToScreen(finder->WindowHandle(), &p);
        return p;
    }
};

bool IsRed(COLORREF c) { return c == kFinderOutlineColor; }

// The outline over a rectangle: the outer three pixels red on every side,
// the fourth pixel inward not.
bool OutlinedOver(const Shot& s, const RECT& r) {
    const int midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
    for (int d = 0; d < kFinderOutlineWidth; ++d) {
        if (!IsRed(s.At(midX, r.top + d)) || !IsRed(s.At(midX, r.bottom - 1 - d)) ||
            !IsRed(s.At(r.left + d, midY)) || !IsRed(s.At(r.right - 1 - d, midY)) ||
            !IsRed(s.At(r.left + d, r.top + d)))
            return false;
    }
    const int in = kFinderOutlineWidth;
    return !IsRed(s.At(midX, r.top + in)) && !IsRed(s.At(r.left + in, midY)) &&
           !IsRed(s.At(r.right - 1 - in, midY)) && !IsRed(s.At(midX, r.bottom - 1 - in));
}

class FinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HostHas("xdotool") || !HostHas("import")) GTEST_SKIP() << "xdotool and ImageMagick are needed";
        ASSERT_TRUE(target.Started());
        form.Show();
        ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(form.WindowHandle()) != FALSE; }));
        ::UpdateWindow(form.WindowHandle());
    }
    void TearDown() override {
        Xdo("mouseup 1");
        Xdo("mouseup 3");
        PumpUntil([&] { return !form.finder->Dragging(); }, 1000);
    }
    // Presses on the finder and waits until the drag has begun.
    bool StartDrag() {
        if (!MoveTo(form.FinderCentre())) return false;
        if (!Xdo("mousedown 1")) return false;
        const bool started = PumpUntil([&] { return form.finder->Dragging(); });
        if (!started) {
            POINT p;
            ::GetCursorPos(&p);
            HWND at = ::WindowFromPoint(p);
            ADD_FAILURE() << "no drag; pointer " << p.x << "," << p.y << " over " << omb::GetWindowClassName(at)
                          << " capture " << ::GetCapture();
        }
        return started;
    }
    // Moves in steps from where the pointer is to a point.
    bool MoveInSteps(POINT to, int steps = 6) {
        POINT from;
        ::GetCursorPos(&from);
        for (int i = 1; i <= steps; ++i) {
            POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
            if (!MoveTo(p)) return false;
        }
        return true;
    }
    size_t Count(HWND w) const { return static_cast<size_t>(std::count(form.reports.begin(), form.reports.end(), w)); }

    omb::test::ErrorReports errors;
    Target target;
    FinderForm form;
};

TEST_F(FinderTest, DragOverAnotherProgramReportsEachChangeOnceOutlinesItAndLeavesNothing) {
    const RECT area = kTargetRect;
    Shot before, during, after;
    ASSERT_TRUE(TakeShot(before, "before"));
    // A right press starts no drag.
    ASSERT_TRUE(MoveTo(form.FinderCentre()));
    ASSERT_TRUE(Xdo("mousedown 3"));
    PumpUntil([] { return false; }, 150);
    EXPECT_FALSE(form.finder->Dragging());
    EXPECT_NE(::GetCapture(), form.finder->WindowHandle());
    ASSERT_TRUE(Xdo("mouseup 3"));

    ASSERT_TRUE(StartDrag());
    EXPECT_EQ(::GetCapture(), form.finder->WindowHandle());
    // Over the form, then across to the other program's window and around
    // inside it (clear of its button).
    ASSERT_TRUE(MoveInSteps(POINT{100, 120}, 2));
    ASSERT_TRUE(MoveInSteps(POINT{600, 450}, 8));
    ASSERT_TRUE(MoveInSteps(POINT{700, 480}, 4));
    ASSERT_TRUE(PumpUntil([&] { return !form.reports.empty() && form.reports.back() == target.window; }));
    EXPECT_EQ(Count(target.window), 1u);
    for (size_t i = 1; i < form.reports.size(); ++i) EXPECT_NE(form.reports[i], form.reports[i - 1]) << i;
    EXPECT_GE(Count(form.finder->WindowHandle()) + Count(form.WindowHandle()), 1u);
    // The finder reports handles; names come from the rule matching's routines.
    EXPECT_EQ(omb::GetWindowClassName(form.reports.back()), "OmbFinderTarget");
    EXPECT_EQ(omb::GetWindowCaption(form.reports.back()), kTargetCaption);
    EXPECT_EQ(form.finder->CurrentWindow(), target.window);
    EXPECT_TRUE(ShotUntil(during, [&](const Shot& s) { return OutlinedOver(s, area); }, "during"))
        << "no outline over the other program's window";
    // The window under the outline's edge is still the target (the outline
    // is click-through).
    EXPECT_EQ(::WindowFromPoint(POINT{area.left + 1, area.top + 100}), target.window);

    const size_t reported = form.reports.size();
    ASSERT_TRUE(Xdo("mouseup 1"));
    ASSERT_TRUE(PumpUntil([&] { return !form.finder->Dragging(); }));
    EXPECT_EQ(form.reports.size(), reported) << "the release reports nothing";
    EXPECT_EQ(form.finder->CurrentWindow(), nullptr);
    EXPECT_NE(::GetCapture(), form.finder->WindowHandle());
    EXPECT_TRUE(ShotUntil(after, [&](const Shot& s) { return s.SameOver(before, area); }, "after"))
        << "pixels left behind over the other program's window";
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(FinderTest, RefusedWindowIsNeitherOutlinedNorReportedAndChildrenMayGiveTheirTopLevel) {
    // Refuse the other program's window by its class name.
    form.finder->BeforeSelectWindow = [](TComponent*, HWND& w, bool& cancel) {
        cancel = omb::GetWindowClassName(w) == "OmbFinderTarget";
    };
    ASSERT_TRUE(StartDrag());
    // Just left of the other program's window, then into it.
    ASSERT_TRUE(MoveInSteps(POINT{kTargetRect.left - 10, 460}, 4));
    ASSERT_TRUE(PumpUntil([&] { return !form.reports.empty(); }));
    const HWND before = form.finder->CurrentWindow();
    const size_t reported = form.reports.size();
    ASSERT_TRUE(MoveInSteps(POINT{650, 460}, 6));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(Count(target.window), 0u);
    EXPECT_EQ(form.reports.size(), reported);
    EXPECT_EQ(form.finder->CurrentWindow(), before) << "the previous outline stays";
    RECT outline, previous;
    ASSERT_TRUE(::GetWindowRect(form.finder->OutlineWindow(), &outline) && ::GetWindowRect(before, &previous));
    EXPECT_TRUE(::EqualRect(&outline, &previous));
    Shot s;
    ASSERT_TRUE(TakeShot(s));
    EXPECT_FALSE(IsRed(s.At(kTargetRect.left + 1, (kTargetRect.top + kTargetRect.bottom) / 2)));

    // Over the button: the button itself, or its top-level window when
    // children are off (the refusal above still applies, so allow all now).
    form.finder->BeforeSelectWindow = nullptr;
    POINT onButton{kTargetRect.left + 60, kTargetRect.top + 35};
    ASSERT_TRUE(MoveInSteps(onButton, 3));
    ASSERT_TRUE(PumpUntil([&] { return form.finder->CurrentWindow() == target.button; }));
    EXPECT_EQ(omb::GetWindowClassName(form.reports.back()), "Button");
    EXPECT_EQ(TopLevelWindowOf(target.button), target.window);
    const size_t targetReports = Count(target.window);
    form.finder->SetSelectedChildWindow(false);
    ASSERT_TRUE(PumpUntil([&] { return form.finder->CurrentWindow() == target.window; }));
    EXPECT_EQ(form.reports.back(), target.window);
    EXPECT_EQ(Count(target.window), targetReports + 1);
    // Moving over the button now gives its top-level window: no new report.
    ASSERT_TRUE(MoveInSteps(POINT{onButton.x + 10, onButton.y}, 2));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(Count(target.window), targetReports + 1);
    EXPECT_EQ(form.finder->CurrentWindow(), target.window);
    ASSERT_TRUE(Xdo("mouseup 1"));
    ASSERT_TRUE(PumpUntil([&] { return !form.finder->Dragging(); }));
}

TEST_F(FinderTest, LostCaptureCancelledModeAndAClosingWindowEndOrResumeTheDragCleanly) {
    // Another window takes the capture in the middle of a drag.
    ASSERT_TRUE(StartDrag());
    ASSERT_TRUE(MoveInSteps(POINT{600, 450}, 6));
    ASSERT_TRUE(PumpUntil([&] { return form.finder->CurrentWindow() == target.window; }));
    ASSERT_TRUE(form.finder->OutlineWindow() && ::IsWindowVisible(form.finder->OutlineWindow()));
    {
        TPanel other(nullptr);
        other.SetParent(&form);
        other.SetBounds(150, 10, 20, 20);
        ::SetCapture(other.Handle());
        EXPECT_FALSE(form.finder->Dragging());
        EXPECT_FALSE(::IsWindowVisible(form.finder->OutlineWindow()));
        EXPECT_EQ(form.finder->CurrentWindow(), nullptr);
        ::ReleaseCapture();
    }
    const size_t reported = form.reports.size();
    ASSERT_TRUE(MoveInSteps(POINT{500, 420}, 2));
    ASSERT_TRUE(Xdo("mouseup 1"));
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(form.reports.size(), reported);

    // A cancelled mode (a dialog appearing) ends it the same way.
    ASSERT_TRUE(StartDrag());
    ASSERT_TRUE(MoveInSteps(POINT{600, 450}, 6));
    ASSERT_TRUE(PumpUntil([&] { return form.finder->CurrentWindow() == target.window; }));
    ::SendMessageW(form.finder->WindowHandle(), WM_CANCELMODE, 0, 0);
    EXPECT_FALSE(form.finder->Dragging());
    EXPECT_NE(::GetCapture(), form.finder->WindowHandle());
    EXPECT_FALSE(::IsWindowVisible(form.finder->OutlineWindow()));
    ASSERT_TRUE(Xdo("mouseup 1"));

    // Pressed again at once (the system sees a double click): a new drag.
    // The outlined window closes mid-drag: nothing breaks, the next move
    // starts afresh and the release leaves no outline.
    ASSERT_TRUE(StartDrag());
    ASSERT_TRUE(MoveInSteps(POINT{600, 450}, 6));
    ASSERT_TRUE(PumpUntil([&] { return form.finder->CurrentWindow() == target.window; }));
    const HWND gone = target.window;
    target.Close();
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(gone); }));
    const size_t beforeMove = form.reports.size();
    ASSERT_TRUE(MoveInSteps(POINT{610, 455}, 1));
    ASSERT_TRUE(PumpUntil([&] { return form.reports.size() > beforeMove; }));
    EXPECT_NE(form.reports.back(), gone);
    EXPECT_EQ(form.finder->CurrentWindow(), form.reports.back());
    ASSERT_TRUE(Xdo("mouseup 1"));
    ASSERT_TRUE(PumpUntil([&] { return !form.finder->Dragging(); }));
    EXPECT_FALSE(::IsWindowVisible(form.finder->OutlineWindow()));
    EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
