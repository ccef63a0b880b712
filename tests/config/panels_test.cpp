// The editor's detail panels with real windows over a real configuration:
// panels are asked for by name through the model, hosted in a test form and
// driven through their controls' windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/about_form.h"
#include "config/options_form.h"
#include "config/panels/action_panels.h"
#include "config/panels/criterion_panels.h"
#include "config/panels/rule_panels.h"
#include "forms/application.h"
#include "forms/form.h"
#include "foundation/resources.h"
#include "foundation/winfuncs.h"
#include "tests/forms/forms_test_support.h"
#include "tests/foundation/xml_test_support.h"
#include "tests/model/model_test_support.h"

using namespace omb;
using namespace omb::config;
using namespace omb::forms;
using omb::test::PumpUntil;

namespace {

struct HostForm : TForm {
    HostForm() : TForm(nullptr) {
        BeginLoading();
        SetBounds(20, 20, 460, 520);
        SetText("Panel host");
        EndLoading();
    }
};

// Every rectangle of `box`'s children lies inside the box's client area.
::testing::AssertionResult ChildrenInside(TGroupBox* box) {
    const RECT area = box->ClientRectForChildren();
    for (size_t i = 0; i < box->ControlCount(); ++i) {
        TControl* c = box->Control(i);
        const TBounds b = c->Bounds();
        if (b.left < area.left || b.top < area.top || b.Right() > area.right || b.Bottom() > area.bottom)
            return ::testing::AssertionFailure()
                   << c->Name() << " " << b.left << "," << b.top << " " << b.width << "x" << b.height
                   << " outside " << area.left << "," << area.top << "-" << area.right << "," << area.bottom;
    }
    return ::testing::AssertionSuccess();
}

// Every visible child of `parent`, at any depth, lies inside its parent's
// client area; with `rows`, no two visible siblings overlap either.
::testing::AssertionResult TreeInside(TControl* parent, bool rows) {
    const RECT area = parent->ClientRectForChildren();
    // Nothing of an empty container shows (an action row without options).
    if (area.right <= area.left || area.bottom <= area.top) return ::testing::AssertionSuccess();
    for (size_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Control(i);
        if (!c->Visible()) continue;
        const TBounds b = c->Bounds();
        if (b.left < area.left || b.top < area.top || b.Right() > area.right || b.Bottom() > area.bottom)
            return ::testing::AssertionFailure()
                   << c->ClassName() << " " << c->Name() << " " << b.left << "," << b.top << " " << b.width << "x"
                   << b.height << " outside " << parent->ClassName() << " " << parent->Name() << " " << area.left
                   << "," << area.top << "-" << area.right << "," << area.bottom;
        for (size_t j = i + 1; rows && j < parent->ControlCount(); ++j) {
            TControl* d = parent->Control(j);
            const TBounds o = d->Bounds();
            if (d->Visible() && b.width > 0 && b.height > 0 && o.width > 0 && o.height > 0 && b.left < o.Right() &&
                o.left < b.Right() && b.top < o.Bottom() && o.top < b.Bottom())
                return ::testing::AssertionFailure() << c->Name() << " overlaps " << d->Name() << " in "
                                                     << parent->Name();
        }
        if (auto r = TreeInside(c, rows); !r) return r;
    }
    return ::testing::AssertionSuccess();
}

// Lays out what is made in the scope as on a screen of that many pixels
// per inch.
struct ScreenAt {
    explicit ScreenAt(int ppi) { Screen().SetPixelsPerInch(ppi); }
    ~ScreenAt() { Screen().SetPixelsPerInch(0); }
    ScreenAt(const ScreenAt&) = delete;
    ScreenAt& operator=(const ScreenAt&) = delete;
};

// How far right a label's own painting inks, the label made wider for the
// look (its painting clips at its edge); 0 when it paints no text.
int PaintedInkRight(TLabel* label) {
    const int width = label->Width();
    label->SetWidth(width + 40);
    HWND h = label->WindowHandle();
    RECT rc;
    GetClientRect(h, &rc);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    const DWORD background = pixels[rc.right - 1];
    int right = 0;
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = right; x < rc.right; ++x)
            if (pixels[y * rc.right + x] != background) right = x + 1;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    label->SetWidth(width);
    return right;
}

// Clicks a window and answers the text of the message box the click
// shows (closed with OK at once); empty when none shows within 5 s.
std::string MessageBoxTextOfClick(HWND window) {
    static std::string text;
    text.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND w, LPARAM) -> BOOL {
                wchar_t cls[16] = {};
                GetClassNameW(w, cls, 16);
                if (std::wstring(cls) != L"#32770" || !IsWindowVisible(w)) return TRUE;
                wchar_t buffer[512] = {};
                GetDlgItemTextW(w, 0xFFFF, buffer, 512);
                text = FromWide(buffer);
                PostMessageW(w, WM_COMMAND, IDOK, 0);
                return FALSE;
            },
            0);
    });
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageW(window, WM_LBUTTONUP, 0, 0);
    KillTimer(nullptr, timer);
    return text;
}

struct Panels : omb::test::ModelTest {
    void SetUp() override {
        ModelTest::SetUp();
        RegisterEditorPanels();
        root = New<TTarvelWindows>("TARVILWINDOWS", "");
        root->SetOwner(nullptr);
        root->Attach(root.get());
        rules = root->GetObject("window_rules").As<IBOMCollection>();
        rule = AddRule("Rule 1");
        // The editor translates the whole tree once its language is chosen.
        root->Broadcast(1, 0, 0);
        host.Show();
        root->SetModified(false);
        SetUserWarner([this](const std::string& text) { warnings.push_back(text); });
    }
    void TearDown() override {
        root->Detach();
        rule = nullptr;
        rules = nullptr;
        root->Disconnect();
        root = nullptr;
        host.Hide();
        SetAddressOpener(nullptr);
        SetUserWarner(nullptr);
        ModelTest::TearDown();
    }
    Ref<IBOMObject> AddRule(const std::string& name) {
        Ref<IBOMObjectSlave> r = CreateBOMObject("WINDOWRULE", name);
        rules->AddItem(r.get());
        return r.As<IBOMObject>();
    }
    // The panel the editor would show for the object, parented in the form.
    template <typename T> T* Show(IBOMObject* object, TAlign align = TAlign::alClient) {
        Ref<IUIElement> element = object->QueryRole("UIElement").As<IUIElement>();
        TAbstractDetailPanel* panel = element->GetDetailPanel("DefaultDetailPanel");
        T* typed = dynamic_cast<T*>(panel);
        if (!typed) return nullptr;
        typed->SetAlign(align);
        typed->SetParent(&host);
        typed->SetVisible(true);
        PumpUntil([&] { return IsWindowVisible(typed->WindowHandle()) != FALSE; });
        return typed;
    }
    // Loads a language file holding these strings over the built-in ones.
    void Translate(const std::vector<std::pair<std::string, std::string>>& strings) {
        std::string xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><language id=\"xx\" name=\"Test\" "
            "original_name=\"Test\"><strings>";
        for (auto& s : strings) xml += "<string name=\"" + s.first + "\">" + s.second + "</string>";
        xml += "</strings></language>";
        omb::test::WriteBytes(folder.Path("test.lng"), xml);
        ASSERT_TRUE(MultiLanguages()->LoadLanguageFile(folder.Path("test.lng")));
        root->Broadcast(1, 0, 0);
    }
    static void Click(TControl* c) { SendMessageW(c->WindowHandle(), BM_CLICK, 0, 0); }

    Ref<TTarvelWindows> root;
    Ref<IBOMCollection> rules;
    Ref<IBOMObject> rule;
    HostForm host;
    omb::test::TempFolder folder;
    omb::test::ErrorReports errors;
    // What the panels told the user.
    std::vector<std::string> warnings;
};

TEST_F(Panels, RulePanelRenamesOnEnterKeepingTheCaretOnCommitAndRefusesReservedNames) {
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->GroupBox->Text(), " Window rule ");
    EXPECT_EQ(panel->NameEdit->Text(), "Rule 1");
    EXPECT_EQ(panel->NameEdit->Hint(), "Name of the window rule");
    // Name row, condition, actions from the top.
    ASSERT_EQ(panel->ScrollBox->ControlCount(), 3u);
    EXPECT_EQ(panel->ScrollBox->Control(0), panel->MainPanel);
    EXPECT_TRUE(dynamic_cast<TConditionDetailPanel*>(panel->ScrollBox->Control(1)));
    EXPECT_TRUE(dynamic_cast<TActionsDetailPanel*>(panel->ScrollBox->Control(2)));

    panel->NameEdit->SetFocus();
    panel->NameEdit->SetText("Notepad rule");
    panel->NameEdit->SetSel(3, 0);
    SendMessageW(panel->NameEdit->WindowHandle(), WM_CHAR, 13, 0);
    EXPECT_EQ(rule->GetName(), "Notepad rule");
    EXPECT_TRUE(rules->GetItem(Variant("Notepad rule")));
    EXPECT_EQ(panel->NameEdit->SelStart(), 3);
    EXPECT_TRUE(root->Modified());

    // An edit in progress is stored when the form commits before a command
    // (a tool button takes no focus) or closes.
    panel->NameEdit->SetText("Typed, not left");
    host.CommitActiveControl();
    EXPECT_EQ(rule->GetName(), "Typed, not left");

    // Refused like a taken name: the field shows the stored name again,
    // and the user is told why.
    AddRule("Other");
    EXPECT_TRUE(warnings.empty());
    const std::string characters = "The name of a window rule cannot hold \\ { or }.";
    const std::string empty = "A window rule needs a name.";
    const std::vector<std::pair<const char*, std::string>> refused{
        {"a\\b", characters},
        {"a{b", characters},
        {"b}", characters},
        {"Other", "Another window rule already has the name \"Other\"."},
        {"oTHER", "Another window rule already has the name \"oTHER\"."},
        {"", empty},
        {"   ", empty},
        {" \t ", empty}};
    for (const auto& [bad, message] : refused) {
        warnings.clear();
        panel->NameEdit->SetText(bad);
        SendMessageW(panel->NameEdit->WindowHandle(), WM_CHAR, 13, 0);
        EXPECT_EQ(rule->GetName(), "Typed, not left") << bad;
        EXPECT_EQ(panel->NameEdit->Text(), "Typed, not left") << bad;
        EXPECT_EQ(warnings, std::vector<std::string>{message}) << bad;
    }
    // The model refuses a name of blanks on its own too.
    rules.As<IBOMObjectOwner>()->RenameChild(rule.As<IBOMObjectSlave>().get(), "  ");
    EXPECT_EQ(rule->GetName(), "Typed, not left");

    // Left with a refused name, the field says it once the focus change
    // is done, not inside it.
    warnings.clear();
    panel->NameEdit->SetText("Other");
    panel->EnabledCheckBox->SetFocus();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(panel->NameEdit->Text(), "Typed, not left");
    PumpUntil([&] { return !warnings.empty(); });
    EXPECT_EQ(warnings, std::vector<std::string>{"Another window rule already has the name \"Other\"."});
    // The German texts.
    warnings.clear();
    ASSERT_TRUE(SaveResourceToFile(GetModuleHandleA(nullptr), "TESTLNG_DE", MAKEINTRESOURCEA(10), folder.Path("de.lng")));
    ASSERT_TRUE(MultiLanguages()->LoadLanguageFile(folder.Path("de.lng")));
    panel->NameEdit->SetFocus();
    for (const char* bad : {" ", "Other", "{"}) {
        panel->NameEdit->SetText(bad);
        SendMessageW(panel->NameEdit->WindowHandle(), WM_CHAR, 13, 0);
    }
    EXPECT_EQ(warnings, (std::vector<std::string>{"Eine Fensterregel braucht einen Namen.",
                                                  "Eine andere Fensterregel hat schon den Namen \"Other\".",
                                                  "Der Name einer Fensterregel darf weder \\ noch { oder } enthalten."}));
    EXPECT_TRUE(errors.messages.empty());
}

// A field only looked at stores nothing: the configuration stays unchanged.
TEST_F(Panels, FieldsLeftAsTheyWereStoreNothing) {
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    auto* condition = dynamic_cast<TConditionDetailPanel*>(panel->ScrollBox->Control(1));
    ASSERT_TRUE(condition);
    auto* classPanel = dynamic_cast<TWindowClassCriterionDetailPanel*>(condition->CriterionsGroupBox->Control(1));
    auto* captionPanel = dynamic_cast<TWindowCaptionCriterionDetailPanel*>(condition->CriterionsGroupBox->Control(2));
    ASSERT_TRUE(classPanel && captionPanel);
    Ref<IBOMObject> criterions = rule->GetObject("conditions/DefaultCondition/criterions");
    Set(criterions.get(), "WINDOWCLASSNAMECRITERION/params/window_class_name", "Notepad");
    root->SetModified(false);
    // In and out of every field, and Enter in each.
    for (TControl* field : std::vector<TControl*>{panel->NameEdit, classPanel->WindowClassComboBox,
                                                  captionPanel->WindowCaptionComboBox}) {
        field->SetFocus();
        host.CommitActiveControl();
        panel->EnabledCheckBox->SetFocus();
    }
    SendMessageW(classPanel->WindowClassComboBox->EditHandle(), WM_CHAR, 13, 0);
    EXPECT_FALSE(root->Modified());
    // The match kind chosen again.
    Click(captionPanel->ExactSearchFalseRadioButton);
    Click(captionPanel->ExactSearchFalseRadioButton);
    EXPECT_EQ(Get(criterions.get(), "WINDOWCaptionCriterion/params/exact_search"), "no");
    root->SetModified(false);
    Click(captionPanel->ExactSearchFalseRadioButton);
    EXPECT_FALSE(root->Modified());
    EXPECT_EQ(Get(criterions.get(), "WINDOWCLASSNAMECRITERION/params/window_class_name"), "Notepad");
    // A real change still counts.
    classPanel->WindowClassComboBox->SetFocus();
    classPanel->WindowClassComboBox->SetText("Notepad2");
    panel->EnabledCheckBox->SetFocus();
    EXPECT_TRUE(root->Modified());
    EXPECT_EQ(Get(criterions.get(), "WINDOWCLASSNAMECRITERION/params/window_class_name"), "Notepad2");
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(Panels, CheckBoxesWriteAtOnceAndLoadingWritesNothing) {
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->EnabledCheckBox->Checked());
    Click(panel->EnabledCheckBox);
    EXPECT_EQ(Get(rule.get(), "params/enabled"), "no");
    EXPECT_FALSE(panel->EnabledCheckBox->Checked());
    EXPECT_EQ(SendMessageW(panel->EnabledCheckBox->WindowHandle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // A stored change reaches the panel; showing it writes nothing back.
    Set(rule.get(), "params/enabled", "yes");
    EXPECT_TRUE(panel->EnabledCheckBox->Checked());
    root->SetModified(false);
    panel->UpdateView();
    Ref<IBOMObject> criterion = rule->GetObject("conditions/DefaultCondition/criterions/WINDOWCaptionCriterion");
    Set(criterion.get(), "params/exact_search", "no");
    root->SetModified(false);
    auto* cp = dynamic_cast<TWindowCaptionCriterionDetailPanel*>(
        criterion.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel"));
    ASSERT_TRUE(cp);
    cp->UpdateView();
    EXPECT_TRUE(cp->ExactSearchFalseRadioButton->Checked());
    EXPECT_FALSE(cp->ExactSearchTrueRadioButton->Checked());
    EXPECT_FALSE(root->Modified());
    EXPECT_EQ(Get(criterion.get(), "params/exact_search"), "no");
    // Only "no" searches for a substring, as the matcher does: any other
    // value shows the whole-text match and stays as it was written.
    for (const char* other : {"No", "false", ""}) {
        Set(criterion.get(), "params/exact_search", other);
        root->SetModified(false);
        cp->UpdateView();
        EXPECT_TRUE(cp->ExactSearchTrueRadioButton->Checked()) << other;
        EXPECT_FALSE(cp->ExactSearchFalseRadioButton->Checked()) << other;
        EXPECT_FALSE(root->Modified());
        EXPECT_EQ(Get(criterion.get(), "params/exact_search"), other);
    }
    Set(criterion.get(), "params/exact_search", "no");
    cp->UpdateView();
    // The user's choice writes at once.
    Click(cp->ExactSearchTrueRadioButton);
    EXPECT_EQ(Get(criterion.get(), "params/exact_search"), "yes");
    Click(cp->EnabledCheckBox);
    EXPECT_EQ(Get(criterion.get(), "params/enabled"), "yes");  // created switched off

    // An action row's check box.
    Ref<IBOMObject> onTop = rule->GetObject("actions/StayOnTop");
    auto* row = dynamic_cast<TActionDetailPanel*>(onTop.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->EnabledCheckBox->Text(), "Stay on Top");
    EXPECT_FALSE(row->EnabledCheckBox->Checked());
    Click(row->EnabledCheckBox);
    EXPECT_EQ(Get(onTop.get(), "params/enabled"), "yes");
    EXPECT_TRUE(row->EnabledCheckBox->Checked());
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(Panels, ConditionPanelTakesAPickedWindowButNeverTheEditorsOwn) {
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    auto* condition = dynamic_cast<TConditionDetailPanel*>(panel->ScrollBox->Control(1));
    ASSERT_TRUE(condition);
    EXPECT_EQ(condition->CriterionsGroupBox->Text(), " Target window ");
    // The editor's own window is refused: nothing is reported or written.
    HWND own = host.WindowHandle();
    bool cancel = false;
    condition->BeforeSelectWindow(own, cancel);
    EXPECT_TRUE(cancel);
    omb::test::TestWindow other("PanelsTestTarget", "Target caption");
    HWND picked = other.get();
    cancel = false;
    condition->BeforeSelectWindow(picked, cancel);
    EXPECT_FALSE(cancel);

    Ref<IBOMObject> criterions = rule->GetObject("conditions/DefaultCondition/criterions");
    Set(criterions.get(), "WINDOWCaptionCriterion/params/exact_search", "no");
    condition->AfterSelectWindow(picked);
    // Both values stored at once; the match kind stays.
    EXPECT_EQ(Get(criterions.get(), "WINDOWCLASSNAMECRITERION/params/window_class_name"), "PanelsTestTarget");
    EXPECT_EQ(Get(criterions.get(), "WINDOWCaptionCriterion/params/window_caption"), "Target caption");
    EXPECT_EQ(Get(criterions.get(), "WINDOWCaptionCriterion/params/exact_search"), "no");
    // The criterion panels show them.
    auto* classPanel = dynamic_cast<TWindowClassCriterionDetailPanel*>(condition->CriterionsGroupBox->Control(1));
    ASSERT_TRUE(classPanel);
    EXPECT_EQ(classPanel->WindowClassComboBox->Text(), "PanelsTestTarget");

    // Every row fits inside the group boxes: their heights come from the
    // real frame and caption of their font.
    PumpUntil([] { return false; }, 50);
    EXPECT_TRUE(ChildrenInside(condition->CriterionsGroupBox));
    auto* actions = dynamic_cast<TActionsDetailPanel*>(panel->ScrollBox->Control(2));
    ASSERT_TRUE(actions);
    EXPECT_TRUE(ChildrenInside(actions->GroupBox));
    const int rows = condition->FindWindowPanel->Height() + condition->CriterionsGroupBox->Control(1)->Height() +
                     condition->CriterionsGroupBox->Control(2)->Height();
    EXPECT_EQ(condition->Height(), rows + GroupBoxChromeHeight(condition->CriterionsGroupBox));
    EXPECT_GE(GroupBoxChromeHeight(condition->CriterionsGroupBox), 10);
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(Panels, ConditionWithoutCriteriaShowsOnlyTheFinderRow) {
    Ref<IBOMObject> condition = rule->GetObject("conditions/DefaultCondition");
    Ref<IBOMCollection> criterions = condition->GetObject("criterions").As<IBOMCollection>();
    // As the editor deletes items: detached from the user interface first.
    while (criterions->Count() > 0) {
        criterions->GetItem(Variant(0)).As<IUIElement>()->Detach();
        criterions->GetItem(Variant(0)).As<IBOMObjectSlave>()->Disconnect();
        criterions->DeleteItem(Variant(0));
    }
    auto* panel = Show<TConditionDetailPanel>(condition.get(), TAlign::alTop);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->CriterionsGroupBox->ControlCount(), 1u);
    EXPECT_EQ(panel->Height(), panel->FindWindowPanel->Height() + GroupBoxChromeHeight(panel->CriterionsGroupBox));
    EXPECT_EQ(panel->DescriptionLabel->Text(),
              "Drag the finder onto the target window, or type its class name and caption below.");
    PumpUntil([] { return false; }, 30);
    EXPECT_TRUE(ChildrenInside(panel->CriterionsGroupBox));
}

TEST_F(Panels, CriterionComboBoxesStoreOnEnterOnCommitAndFollowALongerLabel) {
    Ref<IBOMObject> criterion = rule->GetObject("conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION");
    auto* panel = Show<TWindowClassCriterionDetailPanel>(criterion.get());
    ASSERT_TRUE(panel);
    TPanelComboBox* combo = panel->WindowClassComboBox;
    combo->SetFocus();
    combo->SetText("Notepad");
    combo->SetSel(2, 0);
    SendMessageW(combo->EditHandle(), WM_CHAR, 13, 0);
    EXPECT_EQ(Get(criterion.get(), "params/window_class_name"), "Notepad");
    EXPECT_EQ(combo->SelStart(), 2);
    // Typed, then a command: the form commits the focused control.
    combo->SetText("Edit");
    host.CommitActiveControl();
    EXPECT_EQ(Get(criterion.get(), "params/window_class_name"), "Edit");

    const int right = combo->Left() + combo->Width();
    const int left = combo->Left();
    const int labelRight = panel->WindowClassLabel->Left() + panel->WindowClassLabel->Width();
    EXPECT_LE(labelRight, left);
    Translate({{"WClCDP_Caption", "name of the window class:"}, {"WClCDP_Hint", "Translated hint"}});
    EXPECT_EQ(panel->WindowClassLabel->Text(), "name of the window class:");
    EXPECT_GT(combo->Left(), left);
    EXPECT_EQ(combo->Left() + combo->Width(), right);
    EXPECT_EQ(combo->Left(), panel->WindowClassLabel->Left() + panel->WindowClassLabel->TextExtent().cx + 5);
    EXPECT_EQ(combo->Hint(), "Translated hint");
}

// Each label is as wide as what it paints in its own font, and the combo
// box starts right of it: the label's last character stays visible.
TEST_F(Panels, CriterionLabelsShowTheirWholeTextLeftOfTheComboBox) {
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    auto* condition = dynamic_cast<TConditionDetailPanel*>(panel->ScrollBox->Control(1));
    ASSERT_TRUE(condition);
    auto* classPanel =
        dynamic_cast<TWindowClassCriterionDetailPanel*>(condition->CriterionsGroupBox->Control(1));
    auto* captionPanel =
        dynamic_cast<TWindowCaptionCriterionDetailPanel*>(condition->CriterionsGroupBox->Control(2));
    ASSERT_TRUE(classPanel && captionPanel);
    auto check = [](TLabel* label, TControl* combo) {
        SCOPED_TRACE(label->Text());
        HWND h = label->WindowHandle();
        auto font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        ASSERT_TRUE(font);
        const std::wstring text = omb::ToWide(label->Text());
        HDC dc = GetDC(h);
        HGDIOBJ old = SelectObject(dc, font);
        RECT measured{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(h, dc);
        RECT client;
        GetClientRect(h, &client);
        EXPECT_LE(measured.right - measured.left, client.right);
        const int ink = PaintedInkRight(label);
        EXPECT_GT(ink, 0);
        EXPECT_LE(ink, client.right);
        RECT labelRect, comboRect;
        GetWindowRect(h, &labelRect);
        GetWindowRect(combo->WindowHandle(), &comboRect);
        EXPECT_GT(comboRect.left, labelRect.right);
    };
    check(classPanel->WindowClassLabel, classPanel->WindowClassComboBox);
    check(captionPanel->WindowCaptionLabel, captionPanel->WindowCaptionComboBox);
    // So too after a translation.
    Translate({{"WClCDP_Caption", "Klasse:"}, {"WCCDP_Caption", "Fenstertitel (genau):"}});
    check(classPanel->WindowClassLabel, classPanel->WindowClassComboBox);
    check(captionPanel->WindowCaptionLabel, captionPanel->WindowCaptionComboBox);
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(Panels, ActionRowsFollowTheFilterAndTheRunModeList) {
    Ref<IBOMCollection> actions = rule->GetObject("actions").As<IBOMCollection>();
    Ref<IBOMObjectSlave> extra = CreateBOMObject("STAYONTOPACTION", "MinToTray");
    actions->AddItem(extra.get());
    auto* panel = Show<TActionsDetailPanel>(actions.As<IBOMObject>().get(), TAlign::alTop);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->GroupBox->Text(), " Windows actions ");
    TActionsContentDetailPanel* content = panel->Content();
    ASSERT_TRUE(content);
    // Five rows; "MinToTray" gets none.
    ASSERT_EQ(content->ControlCount(), 5u);
    int rows = 0;
    for (size_t i = 0; i < content->ControlCount(); ++i) {
        auto* row = dynamic_cast<TActionDetailPanel*>(content->Control(i));
        ASSERT_TRUE(row);
        EXPECT_NE(row->EnabledCheckBox->Text(), "MinToTray");
        rows += row->Height();
    }
    EXPECT_EQ(rows, 4 * 24 + 48);
    EXPECT_EQ(panel->Height(), rows + GroupBoxChromeHeight(panel->GroupBox));
    PumpUntil([] { return false; }, 30);
    EXPECT_TRUE(ChildrenInside(panel->GroupBox));

    Ref<IBOMObject> runMode = rule->GetObject("actions/RunMode");
    auto* rm = dynamic_cast<TRunModeActionDetailPanel*>(runMode.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel"));
    ASSERT_TRUE(rm);
    ASSERT_EQ(rm->RunAsComboBox->ItemCount(), 3);
    EXPECT_EQ(rm->RunAsLabel->Text(), "Run as:");
    // Another case is no key: the first item shows and nothing is written.
    Set(runMode.get(), "params/run_mode", "Minimize");
    root->SetModified(false);
    rm->UpdateView();
    EXPECT_EQ(rm->RunAsComboBox->ItemIndex(), 0);
    EXPECT_EQ(Get(runMode.get(), "params/run_mode"), "Minimize");
    EXPECT_FALSE(root->Modified());
    // The user's choice writes the key, with one run of the panel's
    // handler (whichever of the list's events it hangs on).
    int runs = 0;
    for (TNotifyEvent* event : {&rm->RunAsComboBox->OnChange, &rm->RunAsComboBox->OnSelect})
        if (*event) {
            TNotifyEvent inner = *event;
            *event = [&runs, inner](TComponent* sender) {
                ++runs;
                inner(sender);
            };
        }
    HWND list = rm->RunAsComboBox->WindowHandle();
    SendMessageW(list, CB_SETCURSEL, 2, 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(Get(runMode.get(), "params/run_mode"), "maximize");
    EXPECT_EQ(rm->RunAsComboBox->ItemIndex(), 2);
    EXPECT_EQ(rm->RunAsComboBox->Item(2), "Maximized Window");

    // A translated list in another order keeps the keys; a longer label
    // moves the list and keeps its right edge.
    const int right = rm->RunAsComboBox->Left() + rm->RunAsComboBox->Width();
    const int left = rm->RunAsComboBox->Left();
    Translate({{"RMADP_RunModes", "maximize=Gross;normal=Normal;minimize=Klein"},
               {"RMADP_RunAs", "Start the window as:"}});
    ASSERT_EQ(rm->RunAsComboBox->ItemCount(), 3);
    EXPECT_EQ(rm->RunAsComboBox->Item(0), "Gross");
    EXPECT_EQ(rm->RunAsComboBox->ItemIndex(), 0);  // "maximize" is first now
    EXPECT_GT(rm->RunAsComboBox->Left(), left);
    EXPECT_EQ(rm->RunAsComboBox->Left() + rm->RunAsComboBox->Width(), right);
    SendMessageW(list, CB_SETCURSEL, 2, 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(Get(runMode.get(), "params/run_mode"), "minimize");
    // The group caption follows the content's translated title (the
    // language notice reaches the inner panel first).
    Translate({{"ASDP_Caption", "Aktionen"}});
    panel->Notify(1, 0, 0);
    EXPECT_EQ(panel->GroupBox->Text(), " Aktionen ");
    EXPECT_EQ(panel->GetTitle(), "Aktionen");

    // Caption or name on the check box; a hint replaces the hint.
    Ref<IBOMObject> close = rule->GetObject("actions/CloseWindow");
    auto* row = dynamic_cast<TActionDetailPanel*>(close.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel"));
    ASSERT_TRUE(row);
    Set(close.get(), "params/hint", "Closes it at once");
    EXPECT_EQ(row->EnabledCheckBox->Hint(), "Closes it at once");
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(Panels, RootAndAboutPanels) {
    auto* rootPanel = Show<TTarvelWindowsDetailPanel>(root.get());
    ASSERT_TRUE(rootPanel);
    const std::string memo = rootPanel->Memo->Text();
    EXPECT_NE(memo.find("finder"), std::string::npos);
    EXPECT_NE(memo.find("\r\n"), std::string::npos);
    EXPECT_TRUE(rootPanel->Memo->ReadOnly());
    rootPanel->SetVisible(false);

    std::unique_ptr<TAbstractDetailPanel> about = CreateDetailPanel("aboutpanel");
    auto* panel = dynamic_cast<TAboutPanel*>(about.get());
    ASSERT_TRUE(panel);
    panel->UpdateView();
    panel->SetParent(&host);
    PumpUntil([&] { return IsWindowVisible(panel->WindowHandle()) != FALSE; });
    EXPECT_EQ(panel->ProgramNameLabel->Text(), "Ombrel");
    EXPECT_EQ(panel->VersionLabel->Text(), "Version 1.5");
    EXPECT_FALSE(panel->CopyrightLabel->Text().empty());
    EXPECT_FALSE(panel->AllRightsLabel->Text().empty());
    EXPECT_TRUE(panel->LogoImage->HasPicture());
    std::vector<std::string> opened;
    SetAddressOpener([&](const std::string& a) {
        opened.push_back(a);
        return true;
    });
    SendMessageW(panel->SiteURLLabel->WindowHandle(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageW(panel->SiteURLLabel->WindowHandle(), WM_LBUTTONUP, 0, 0);
    SendMessageW(panel->EmailLabel->WindowHandle(), WM_LBUTTONUP, 0, 0);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], "https://ombrel.example.org");
    EXPECT_EQ(opened[1], "mailto:support@ombrel.example.org");
    // An address that does not open is said, with the address.
    SetAddressOpener([](const std::string&) { return false; });
    std::string said = MessageBoxTextOfClick(panel->EmailLabel->WindowHandle());
    EXPECT_EQ(said, "Could not open \"mailto:support@ombrel.example.org\".");
    // Held open for a look when asked (screenshots of the panels).
    if (const char* hold = std::getenv("OMB_PANELS_HOLD_MS")) PumpUntil([] { return false; }, atoi(hold));
    about.reset();
}

TEST_F(Panels, RulePanelPicture) {
    Ref<IBOMObject> criterions = rule->GetObject("conditions/DefaultCondition/criterions");
    Set(criterions.get(), "WINDOWCLASSNAMECRITERION/params/window_class_name", "Notepad");
    Set(criterions.get(), "WINDOWCaptionCriterion/params/window_caption", "Untitled - Notepad");
    Set(criterions.get(), "WINDOWCaptionCriterion/params/enabled", "yes");
    Set(rule.get(), "actions/StayOnTop/params/enabled", "yes");
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    if (const char* hold = std::getenv("OMB_PANELS_HOLD_MS")) PumpUntil([] { return false; }, atoi(hold));
    EXPECT_TRUE(errors.messages.empty());
}

// The editor's way: the root panel taken out, a new rule's panel put in.
TEST_F(Panels, ANewRulesPanelReplacesTheRootPanel) {
    auto* rp = Show<TTarvelWindowsDetailPanel>(root.get());
    ASSERT_TRUE(rp);
    rp->Hide();
    rp->SetParent(nullptr);
    Ref<IBOMObject> r2 = AddRule("Window Rule 9");
    Ref<IUIElement> element = r2->QueryRole("UIElement").As<IUIElement>();
    TAbstractDetailPanel* panel = element->GetDetailPanel("DefaultDetailPanel");
    auto* frame = TDetailPanelFrame::FromPanel(panel);
    frame->SetAlign(TAlign::alClient);
    frame->Show();
    frame->SetParent(&host);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(errors.messages.empty());
}
// On screens above 96 dots per inch every panel grows with its fonts:
// rows, their stacking and the anchored controls in them, and the dialogs.
TEST_F(Panels, PanelsAndDialogsGrowWithThePixelsPerInch) {
    // The rows' heights at the design's 96 dots per inch.
    auto* designed = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(designed);
    auto* designedCondition = dynamic_cast<TConditionDetailPanel*>(designed->ScrollBox->Control(1));
    ASSERT_TRUE(designedCondition);
    const int classRow = designedCondition->CriterionsGroupBox->Control(1)->Height();
    const int captionRow = designedCondition->CriterionsGroupBox->Control(2)->Height();
    EXPECT_TRUE(TreeInside(designed, true));
    designed->Hide();
    designed->SetParent(nullptr);

    int n = 2;
    for (const int ppi : {120, 144}) {
        SCOPED_TRACE(ppi);
        ScreenAt screen(ppi);
        host.SetBounds(20, 20, Scaled(460), Scaled(520));
        Ref<IBOMObject> r = AddRule("Rule " + std::to_string(n++));
        Set(r.get(), "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/window_caption",
            "Untitled - Notepad");
        auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(r.get());
        ASSERT_TRUE(panel);
        EXPECT_TRUE(TreeInside(&host, true));
        auto* condition = dynamic_cast<TConditionDetailPanel*>(panel->ScrollBox->Control(1));
        ASSERT_TRUE(condition);
        ASSERT_EQ(condition->CriterionsGroupBox->ControlCount(), 3u);
        EXPECT_GE(condition->CriterionsGroupBox->Control(1)->Height(), Scaled(classRow));
        EXPECT_GE(condition->CriterionsGroupBox->Control(2)->Height(), Scaled(captionRow));
        auto* actions = dynamic_cast<TActionsDetailPanel*>(panel->ScrollBox->Control(2));
        ASSERT_TRUE(actions && actions->Content());
        for (size_t i = 0; i < actions->Content()->ControlCount(); ++i)
            EXPECT_GE(actions->Content()->Control(i)->Height(), Scaled(24));
        if (const char* hold = std::getenv("OMB_PANELS_HOLD_MS")) PumpUntil([] { return false; }, atoi(hold));
        panel->Hide();
        panel->SetParent(nullptr);

        auto* rootPanel = Show<TTarvelWindowsDetailPanel>(root.get());
        ASSERT_TRUE(rootPanel);
        EXPECT_TRUE(TreeInside(&host, true));
        rootPanel->Hide();
        rootPanel->SetParent(nullptr);

        std::unique_ptr<TAbstractDetailPanel> about = CreateDetailPanel("AboutPanel");
        auto* aboutPanel = dynamic_cast<TAboutPanel*>(about.get());
        ASSERT_TRUE(aboutPanel);
        EXPECT_EQ(aboutPanel->DesignWidth(), Scaled(429));
        EXPECT_EQ(aboutPanel->DesignHeight(), Scaled(190));
        aboutPanel->UpdateView();
        about.reset();

        // The about dialog: its panel and a command panel of 41 design pixels.
        bool seen = false;
        Application().idleHandlers.push_back([&] {
            for (TForm* f : Screen().Forms())
                if (auto* dialog = dynamic_cast<TAboutForm*>(f); dialog && !seen && IsWindowVisible(f->WindowHandle())) {
                    seen = true;
                    EXPECT_EQ(dialog->CommandPanel->Height(), Scaled(41));
                    EXPECT_TRUE(TreeInside(dialog, false));
                    dialog->CloseButton->Click();
                }
        });
        const SIZE size = ShowAboutDialog(&host);
        Application().idleHandlers.pop_back();
        EXPECT_TRUE(seen);
        EXPECT_EQ(size.cx, Scaled(429));
        EXPECT_EQ(size.cy, Scaled(190) + Scaled(41));

        TOptionsForm options(nullptr);
        options.Show();
        PumpUntil([&] { return IsWindowVisible(options.WindowHandle()) != FALSE; });
        EXPECT_EQ(options.ClientHeight(), Scaled(257));
        EXPECT_TRUE(TreeInside(&options, true));
    }
    EXPECT_TRUE(errors.messages.empty());
}
}  // namespace

namespace {
// The editor puts the shown panels aside when another rule is selected:
// the next rule takes the same windows, bound to it and showing its own
// values, laid out as before, and its controls write to it alone.
TEST_F(Panels, APanelPutAsideServesTheNextRuleWithItsOwnValues) {
    Ref<IBOMObject> second = AddRule("Rule 2");
    root->Broadcast(1, 0, 0);
    const char* kClassName = "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name";
    Set(second.get(), kClassName, "SecondClass");
    root->SetModified(false);
    auto* first = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(first);
    const HWND window = first->WindowHandle();
    const size_t rows = first->ScrollBox->ControlCount();
    auto* condition = dynamic_cast<TConditionDetailPanel*>(first->ScrollBox->Control(1));
    ASSERT_TRUE(condition);
    const TBounds conditionBounds = condition->Bounds();

    first->Hide();
    first->SetParent(nullptr);
    rule.As<IUIElement>()->ReleasePanels();
    EXPECT_GE(SpareDetailPanelCount(), 5u);  // rule, condition, criteria, actions, rows
    auto* next = Show<TSinglePurposeWindowRuleDetailPanel>(second.get());
    ASSERT_EQ(next, first);
    EXPECT_EQ(next->WindowHandle(), window);
    EXPECT_EQ(next->NameEdit->Text(), "Rule 2");
    EXPECT_EQ(next->ScrollBox->ControlCount(), rows);
    EXPECT_EQ(next->ScrollBox->Control(1), condition);
    EXPECT_EQ(condition->Bounds(), conditionBounds);
    TWindowClassCriterionDetailPanel* criterion = nullptr;
    for (size_t i = 0; i < condition->CriterionsGroupBox->ControlCount(); ++i)
        if (auto* c = dynamic_cast<TWindowClassCriterionDetailPanel*>(condition->CriterionsGroupBox->Control(i)))
            criterion = c;
    ASSERT_TRUE(criterion);
    EXPECT_EQ(criterion->WindowClassComboBox->Text(), "SecondClass");
    EXPECT_FALSE(root->Modified());
    Click(next->EnabledCheckBox);
    EXPECT_EQ(Get(second.get(), "params/enabled"), "no");
    EXPECT_EQ(Get(rule.get(), "params/enabled"), "yes");

    // And back: the first rule's values again.
    next->Hide();
    next->SetParent(nullptr);
    second.As<IUIElement>()->ReleasePanels();
    auto* again = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_EQ(again, first);
    EXPECT_EQ(again->NameEdit->Text(), "Rule 1");
    EXPECT_TRUE(again->EnabledCheckBox->Checked());
    EXPECT_EQ(criterion->WindowClassComboBox->Text(), Get(rule.get(), kClassName));
    EXPECT_EQ(again->ScrollBox->ControlCount(), rows);
    EXPECT_TRUE(errors.messages.empty());
    FreeSpareDetailPanels();
}
}  // namespace

namespace {
// Tearing the panels down goes through every focused combo box's edit
// field and every tool tip while the controls are whole: nothing raises an
// exception (which Wine would swallow inside a window procedure).
TEST_F(Panels, TearingDownThePanelsRaisesNoException) {
    omb::test::ExceptionCounter exceptions;
    for (int round = 0; round < 2; ++round) {
        auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
        ASSERT_TRUE(panel);
        for (const char* path : {"conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION",
                                 "conditions/DefaultCondition/criterions/WINDOWCAPTIONCRITERION"}) {
            Ref<IBOMObject> criterion = rule->GetObject(path);
            TPanelComboBox* combo = nullptr;
            if (auto* c = dynamic_cast<TWindowClassCriterionDetailPanel*>(
                    criterion.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel")))
                combo = c->WindowClassComboBox;
            if (auto* c = dynamic_cast<TWindowCaptionCriterionDetailPanel*>(
                    criterion.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel")))
                combo = c->WindowCaptionComboBox;
            ASSERT_TRUE(combo) << path;
            combo->SetFocus();
            ASSERT_TRUE(PumpUntil([&] { return GetFocus() == combo->EditHandle(); }));
        }
        // Round 0 frees the panels with their objects' detach, round 1 with
        // the spare panels the editor keeps.
        if (round == 0) {
            rule.As<IUIElement>()->Detach();
            root->Attach(root.get());
        } else {
            panel->Hide();
            panel->SetParent(nullptr);
            rule.As<IUIElement>()->ReleasePanels();
            FreeSpareDetailPanels();
        }
        PumpUntil([] { return false; }, 100);
    }
    EXPECT_EQ(exceptions.Raised(), 0);
    EXPECT_TRUE(errors.messages.empty());
}
}  // namespace

namespace {
// The windows below a window with the parent each has.
std::vector<std::pair<HWND, HWND>> WindowsWithParents(HWND top) {
    std::vector<std::pair<HWND, HWND>> all;
    EnumChildWindows(
        top,
        [](HWND w, LPARAM p) noexcept -> BOOL {
            reinterpret_cast<std::vector<std::pair<HWND, HWND>>*>(p)->push_back({w, GetParent(w)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// Messages of one kind sent to this thread's windows while a hook is set.
std::atomic<int> g_shown{0};
LRESULT CALLBACK CountShowWindow(int code, WPARAM wParam, LPARAM lParam) noexcept {
    if (code == HC_ACTION && reinterpret_cast<const CWPSTRUCT*>(lParam)->message == WM_SHOWWINDOW) ++g_shown;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Selecting another rule hands it the shown panel in place: every window
// stays where it is (none is hidden, none changes its parent), the panels
// embedded in it go over to the new rule's parts, and the controls show
// and write the new rule's values. A rule whose parts differ cannot take it.
TEST_F(Panels, ARuleTakesTheShownPanelInPlace) {
    Ref<IBOMObject> second = AddRule("Rule 2");
    root->Broadcast(1, 0, 0);
    const char* kClass = "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION";
    Set(rule.get(), std::string(kClass) + "/params/window_class_name", "FirstClass");
    Set(second.get(), std::string(kClass) + "/params/window_class_name", "SecondClass");
    Set(second.get(), "params/enabled", "no");
    Set(second.get(), "actions/StayOnTop/params/enabled", "yes");
    root->SetModified(false);
    auto* panel = Show<TSinglePurposeWindowRuleDetailPanel>(rule.get());
    ASSERT_TRUE(panel);
    Ref<IUIElement> from = rule.As<IUIElement>(), to = second.As<IUIElement>();
    const auto before = WindowsWithParents(panel->WindowHandle());
    ASSERT_GT(before.size(), 20u);

    ASSERT_TRUE(from->CanPassDetailPanel("DefaultDetailPanel", to.get()));
    g_shown = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountShowWindow, nullptr, GetCurrentThreadId());
    from->PassDetailPanel("DefaultDetailPanel", to.get());
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(g_shown, 0);
    EXPECT_EQ(WindowsWithParents(panel->WindowHandle()), before);
    EXPECT_EQ(to->GetDetailPanel("DefaultDetailPanel"), panel);
    EXPECT_FALSE(root->Modified());

    // The new rule's values, its parts' panels among them.
    EXPECT_EQ(panel->NameEdit->Text(), "Rule 2");
    EXPECT_FALSE(panel->EnabledCheckBox->Checked());
    Ref<IBOMObject> criterion = second->GetObject(kClass);
    auto* classPanel = dynamic_cast<TWindowClassCriterionDetailPanel*>(
        criterion.As<IUIElement>()->GetDetailPanel("DefaultDetailPanel"));
    ASSERT_TRUE(classPanel);
    EXPECT_EQ(classPanel->WindowClassComboBox->Text(), "SecondClass");
    EXPECT_EQ(classPanel->EditedObject(), criterion.get());
    auto* onTop = dynamic_cast<TActionDetailPanel*>(
        second->GetObject("actions/StayOnTop").As<IUIElement>()->GetDetailPanel("DefaultDetailPanel"));
    ASSERT_TRUE(onTop);
    EXPECT_TRUE(onTop->EnabledCheckBox->Checked());
    // The controls write to the new rule alone.
    Click(panel->EnabledCheckBox);
    EXPECT_EQ(Get(second.get(), "params/enabled"), "yes");
    EXPECT_EQ(Get(rule.get(), "params/enabled"), "yes");
    Click(onTop->EnabledCheckBox);
    EXPECT_EQ(Get(second.get(), "actions/StayOnTop/params/enabled"), "no");
    EXPECT_EQ(Get(rule.get(), "actions/StayOnTop/params/enabled"), "no");

    // And back: the first rule's values, each class name once in the history.
    ASSERT_TRUE(to->CanPassDetailPanel("DefaultDetailPanel", from.get()));
    to->PassDetailPanel("DefaultDetailPanel", from.get());
    EXPECT_EQ(panel->NameEdit->Text(), "Rule 1");
    EXPECT_EQ(classPanel->WindowClassComboBox->Text(), "FirstClass");
    EXPECT_EQ(classPanel->WindowClassComboBox->ItemCount(), 2);
    EXPECT_EQ(classPanel->WindowClassComboBox->Item(0), "FirstClass");
    EXPECT_EQ(classPanel->WindowClassComboBox->Item(1), "SecondClass");

    // A rule whose condition has another set of criteria builds its own.
    Ref<IBOMObject> third = AddRule("Rule 3");
    root->Broadcast(1, 0, 0);
    Ref<IBOMCollection> criterions = third->GetObject("conditions/DefaultCondition/criterions").As<IBOMCollection>();
    criterions->GetItem(Variant(0)).As<IUIElement>()->Detach();
    criterions->GetItem(Variant(0)).As<IBOMObjectSlave>()->Disconnect();
    criterions->DeleteItem(Variant(0));
    EXPECT_FALSE(from->CanPassDetailPanel("DefaultDetailPanel", third.As<IUIElement>().get()));
    // Nor does a panel go to an object of another class.
    EXPECT_FALSE(from->CanPassDetailPanel("DefaultDetailPanel", root.As<IUIElement>().get()));
    EXPECT_TRUE(errors.messages.empty());
}
}  // namespace
