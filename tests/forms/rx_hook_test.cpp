// Window hooks on real windows: shared subclasses and their order, windows
// rebuilt and hooked again, controls going away, subclasses installed after
// ours, subclasses freed from the message loop.
#include "forms/rx_hook.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "tests/forms/forms_test_support.h"

using namespace omb::forms;
using omb::test::ErrorReports;
using omb::test::PumpUntil;

namespace {

constexpr UINT kProbe = WM_APP + 17;

struct HookForm : TForm {
    TEdit* edit;
    TPanel* panel;
    HookForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(50, 50, 300, 200);
        edit = new TEdit(this);
        edit->SetName("Edit");
        edit->SetParent(this);
        edit->SetBounds(8, 8, 120, 21);
        panel = new TPanel(this);
        panel->SetName("Panel");
        panel->SetParent(this);
        panel->SetBounds(8, 40, 120, 60);
        EndLoading();
    }
};

// A hook that writes what it sees into a shared journal.
TRxWindowHook* Recorder(TComponent* owner, TWinControl* control, const std::string& tag,
                        std::vector<std::string>& journal, UINT watched = kProbe) {
    auto* hook = new TRxWindowHook(owner);
    hook->BeforeMessage = [&journal, tag, watched](TComponent*, TMessage& m, bool&) {
        if (m.msg == watched) journal.push_back(tag + ":before");
    };
    hook->AfterMessage = [&journal, tag, watched](TComponent*, TMessage& m, bool&) {
        if (m.msg == watched) journal.push_back(tag + ":after");
    };
    hook->SetWinControl(control);
    return hook;
}

bool PostedFor(UINT message, TControlHook* hook) {
    if (!GlobalHookListExists()) return false;
    MSG msg;
    HWND w = GlobalHookList().UtilityWindow();
    // Look without taking anything out of the queue.
    if (!::PeekMessageW(&msg, w, message, message, PM_NOREMOVE)) return false;
    return reinterpret_cast<TControlHook*>(msg.lParam) == hook;
}

void DrainHookList() {
    PumpUntil([] { return false; }, 50);
}

}  // namespace

TEST(RxHook, HooksShareOneSubclassLaterLinkedFirstInBothPhases) {
    HookForm form;
    std::vector<std::string> journal;
    auto* first = Recorder(&form, form.edit, "first", journal);
    auto* second = Recorder(&form, form.edit, "second", journal);
    ASSERT_NE(first->ControlHook(), nullptr);
    EXPECT_EQ(first->ControlHook(), second->ControlHook());
    EXPECT_EQ(GlobalHookList().FindControlHook(form.edit), first->ControlHook());
    EXPECT_EQ(first->WinControl(), form.edit);

    ::SendMessageW(form.edit->Handle(), kProbe, 0, 0);
    EXPECT_EQ(journal,
              (std::vector<std::string>{"second:before", "first:before", "second:after", "first:after"}));

    // The later hook handles WM_SETTEXT before the control sees it: the
    // earlier hook and the edit itself never get it; its result stands.
    journal.clear();
    form.edit->SetText("kept");
    second->BeforeMessage = [&journal](TComponent*, TMessage& m, bool& handled) {
        if (m.msg != WM_SETTEXT) return;
        journal.push_back("handled");
        m.result = 7;
        handled = true;
    };
    first->BeforeMessage = [&journal](TComponent*, TMessage& m, bool&) {
        if (m.msg == WM_SETTEXT) journal.push_back("first saw it");
    };
    EXPECT_EQ(::SendMessageW(form.edit->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"lost")), 7);
    EXPECT_EQ(form.edit->Text(), "kept");
    EXPECT_EQ(journal, std::vector<std::string>{"handled"});

    // The after phase may change the answer of the control's procedure.
    first->AfterMessage = [](TComponent*, TMessage& m, bool&) {
        if (m.msg == WM_GETTEXTLENGTH) m.result = 99;
    };
    EXPECT_EQ(::SendMessageW(form.edit->Handle(), WM_GETTEXTLENGTH, 0, 0), 99);
}

TEST(RxHook, FailingHandlerIsReportedAndTheOthersStillRun) {
    ErrorReports reports;
    HookForm form;
    std::vector<std::string> journal;
    Recorder(&form, form.panel, "first", journal);
    auto* failing = new TRxWindowHook(&form);
    failing->BeforeMessage = [](TComponent*, TMessage& m, bool&) {
        if (m.msg == kProbe) throw std::runtime_error("hook failed");
    };
    failing->SetWinControl(form.panel);
    ::SendMessageW(form.panel->Handle(), kProbe, 0, 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"first:before", "first:after"}));
    EXPECT_EQ(reports.messages, std::vector<std::string>{"hook failed"});
}

TEST(RxHook, RebuiltWindowIsHookedAgainAfterThePostedMessage) {
    HookForm form;
    std::vector<std::string> journal;
    for (TWinControl* control : std::vector<TWinControl*>{form.edit, form.panel, &form}) {
        SCOPED_TRACE(control->Name().empty() ? "form" : control->Name());
        journal.clear();
        auto* hook = Recorder(&form, control, "hook", journal);
        TControlHook* sub = hook->ControlHook();
        HWND old = control->Handle();
        control->DestroyHandle();
        EXPECT_FALSE(::IsWindow(old));
        EXPECT_TRUE(PostedFor(RehookMessage, sub));
        ASSERT_TRUE(PumpUntil([&] { return sub->Installed(); }));
        ASSERT_NE(control->WindowHandle(), nullptr);
        EXPECT_EQ(hook->ControlHook(), sub);
        ::SendMessageW(control->WindowHandle(), kProbe, 0, 0);
        EXPECT_EQ(journal, (std::vector<std::string>{"hook:before", "hook:after"}));
        delete hook;
    }
    // A form whose border icons change keeps its window in place here; it is
    // still watched.
    journal.clear();
    Recorder(&form, &form, "form", journal);
    form.SetBorderIcons(biSystemMenu);
    ::SendMessageW(form.Handle(), kProbe, 0, 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"form:before", "form:after"}));
}

TEST(RxHook, ControlBeingDestroyedGetsNoRehookAndItsHooksLetGo) {
    DrainHookList();
    auto form = std::make_unique<HookForm>();
    std::vector<std::string> journal;
    TRxWindowHook owner(nullptr);  // hooks that outlive the control
    auto* a = Recorder(&owner, form->edit, "a", journal);
    auto* b = Recorder(&owner, form->edit, "b", journal);
    TControlHook* sub = a->ControlHook();
    delete form->edit;
    form->edit = nullptr;
    EXPECT_FALSE(PostedFor(RehookMessage, sub));
    EXPECT_EQ(a->WinControl(), nullptr);
    EXPECT_EQ(b->WinControl(), nullptr);
    EXPECT_EQ(a->ControlHook(), nullptr);
    EXPECT_TRUE(a->Active());
    // The emptied subclass goes with the next pass of the loop.
    EXPECT_TRUE(GlobalHookList().Contains(sub));
    EXPECT_TRUE(PumpUntil([&] { return !GlobalHookList().Contains(sub); }));
    // Destroying the whole form leaves nothing posted for its hooked form.
    Recorder(&owner, form.get(), "form", journal);
    TControlHook* formSub = GlobalHookList().FindControlHook(form.get());
    form.reset();
    EXPECT_FALSE(PostedFor(RehookMessage, formSub));
    EXPECT_TRUE(PumpUntil([&] { return !GlobalHookList().Contains(formSub); }));
}

namespace {

WNDPROC g_previous = nullptr;
int g_replacedCalls = 0;
LRESULT CALLBACK ReplacedProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == kProbe) ++g_replacedCalls;
    return ::CallWindowProcW(g_previous, h, m, w, l);
}
int g_layerCalls = 0;
LRESULT CALLBACK LaterLayer(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
    if (m == kProbe) ++g_layerCalls;
    return ::DefSubclassProc(h, m, w, l);
}

}  // namespace

TEST(RxHook, SubclassInstalledAfterOursStaysInPlace) {
    HookForm form;
    std::vector<std::string> journal;
    // A later layer of the common subclass chain.
    {
        auto* hook = Recorder(&form, form.edit, "hook", journal);
        HWND h = form.edit->Handle();
        ASSERT_TRUE(::SetWindowSubclass(h, &LaterLayer, 1, 0));
        hook->SetActive(false);
        g_layerCalls = 0;
        journal.clear();
        ::SendMessageW(h, kProbe, 0, 0);
        EXPECT_EQ(g_layerCalls, 1);
        EXPECT_TRUE(journal.empty());
        form.edit->SetText("still an edit");
        EXPECT_EQ(form.edit->Text(), "still an edit");
        ::RemoveWindowSubclass(h, &LaterLayer, 1);
        delete hook;
    }
    // A procedure put in place the old way, calling ours in turn.
    {
        auto* hook = Recorder(&form, form.panel, "hook", journal);
        HWND h = form.panel->Handle();
        g_previous = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReplacedProc)));
        delete hook;
        EXPECT_EQ(::GetWindowLongPtrW(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&ReplacedProc));
        g_replacedCalls = 0;
        journal.clear();
        ::SendMessageW(h, kProbe, 0, 0);
        EXPECT_EQ(g_replacedCalls, 1);
        EXPECT_TRUE(journal.empty());
        // Hooking it again works through the layer left in place.
        Recorder(&form, form.panel, "again", journal);
        ::SendMessageW(h, kProbe, 0, 0);
        EXPECT_EQ(journal, (std::vector<std::string>{"again:before", "again:after"}));
        EXPECT_EQ(g_replacedCalls, 2);
    }
}

TEST(RxHook, DeactivatingKeepsASharedSubclassAndFreesALonelyOne) {
    DrainHookList();
    HookForm form;
    std::vector<std::string> journal;
    auto* a = Recorder(&form, form.edit, "a", journal);
    auto* b = Recorder(&form, form.edit, "b", journal);
    TControlHook* sub = a->ControlHook();
    b->SetActive(false);
    EXPECT_FALSE(b->Active());
    EXPECT_EQ(b->WinControl(), form.edit);  // kept while unlinked
    DrainHookList();
    b->SetActive(true);
    EXPECT_EQ(b->ControlHook(), sub);
    EXPECT_EQ(sub->Hooks(), (std::vector<TRxWindowHook*>{a, b}));

    a->SetActive(false);
    b->SetActive(false);
    EXPECT_TRUE(PostedFor(FreeHookMessage, sub));
    EXPECT_FALSE(sub->Installed());
    journal.clear();
    ::SendMessageW(form.edit->Handle(), kProbe, 0, 0);
    EXPECT_TRUE(journal.empty());
    ASSERT_TRUE(PumpUntil([&] { return !GlobalHookList().Contains(sub); }));
    a->SetActive(true);
    ASSERT_NE(a->ControlHook(), nullptr);
    EXPECT_TRUE(GlobalHookList().Contains(a->ControlHook()));
    EXPECT_TRUE(a->ControlHook()->Installed());

    // Moving a hook to another control frees the subclass it left; a link
    // made before the message is handled keeps it.
    TControlHook* editSub = a->ControlHook();
    a->SetWinControl(form.panel);
    EXPECT_EQ(a->WinControl(), form.panel);
    a->SetWinControl(form.edit);
    EXPECT_EQ(a->ControlHook(), editSub);
    DrainHookList();
    EXPECT_TRUE(GlobalHookList().Contains(editSub));
    ::SendMessageW(form.edit->Handle(), kProbe, 0, 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:before", "a:after"}));
}

// The process-wide list goes at shutdown with subclasses still on live
// controls: each is freed once, its hooks are unlinked and the control's
// window works on without them.
TEST(RxHook, FreeingTheListWithLiveSubclassesFreesEachOnce) {
    HookForm form;
    std::vector<std::string> journal;
    auto* a = Recorder(&form, form.edit, "a", journal);
    auto* b = Recorder(&form, form.panel, "b", journal);
    ASSERT_NE(a->ControlHook(), nullptr);
    ASSERT_NE(b->ControlHook(), nullptr);
    FreeGlobalHookList();
    EXPECT_FALSE(GlobalHookListExists());
    EXPECT_EQ(a->ControlHook(), nullptr);
    EXPECT_EQ(b->ControlHook(), nullptr);
    ::SendMessageW(form.edit->Handle(), kProbe, 0, 0);
    ::SendMessageW(form.panel->Handle(), kProbe, 0, 0);
    EXPECT_TRUE(journal.empty());
    form.edit->SetText("still an edit");
    EXPECT_EQ(form.edit->Text(), "still an edit");
}
