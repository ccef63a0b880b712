#include "config/panels/rule_panels.h"

#include <shellapi.h>

#include "config/panels/action_panels.h"
#include "config/panels/criterion_panels.h"
#include "forms/application.h"
#include "forms/form.h"
#include "foundation/errors.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/winfuncs.h"
#include "model/window_rules.h"

namespace omb::config {

using namespace forms;

const char* const kSiteAddress = "https://ombrel.example.org";
const char* const kSupportAddress = "mailto:support@ombrel.example.org";
const char* const kProgramVersion = "1.5";

namespace {

std::function<bool(const std::string&)>& AddressOpener() {
    static std::function<bool(const std::string&)> opener;
    return opener;
}

std::function<void(const std::string&)>& UserWarner() {
    static std::function<void(const std::string&)> warner;
    return warner;
}

// Posted to a rule panel whose name field was left with a refused name.
UINT NameRefusedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"OmbRuleNameRefused");
    return message;
}

TFontSpec FontOf(const char* name, int height, bool bold = false) {
    TFontSpec f;
    f.name = name;
    f.height = height;
    f.bold = bold;
    return f;
}

}  // namespace

void OpenAddress(const std::string& address) {
    const bool opened =
        AddressOpener() ? AddressOpener()(address)
                        : reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", ToWide(address).c_str(), nullptr,
                                                                    nullptr, SW_SHOWNORMAL)) > 32;
    if (!opened)
        Application().MessageBox(GetMLString("CBAppForm_OpenFailed", "Could not open") + " \"" + address + "\".",
                                 Application().Title(), MB_OK | MB_ICONWARNING);
}

void SetAddressOpener(std::function<bool(const std::string&)> opener) { AddressOpener() = std::move(opener); }

void SayToUser(const std::string& text) {
    if (UserWarner()) {
        auto warner = UserWarner();
        warner(text);
        return;
    }
    Application().MessageBox(text, Application().Title(), MB_OK | MB_ICONWARNING);
}

void SetUserWarner(std::function<void(const std::string&)> warner) { UserWarner() = std::move(warner); }

// ------------------------------------------------------------- rule panel

TWindowRuleDetailPanel::TWindowRuleDetailPanel() {
    BeginLoading();
    SetName("WindowRuleDetailPanel");
    SetBounds(0, 0, 208, 47);
    GroupBox = new TGroupBox(this);
    GroupBox->SetName("GroupBox");
    GroupBox->SetParent(this);
    GroupBox->SetAlign(TAlign::alClient);
    GroupBox->SetText(" Window rule ");
    ScrollBox = new TScrollBox(this);
    ScrollBox->SetName("ScrollBox");
    ScrollBox->SetParent(GroupBox);
    ScrollBox->SetAlign(TAlign::alClient);
    const TEnabledRow row =
        BuildEnabledRow(this, ScrollBox, "MainPanel", {0, 0, 204, 29}, {8, 6, 17, 17}, loading_);
    MainPanel = row.panel;
    EnabledCheckBox = row.checkBox;
    NameEdit = new TEdit(this);
    NameEdit->SetName("NameEdit");
    NameEdit->SetParent(MainPanel);
    NameEdit->SetBounds(27, 4, 174, 21);
    NameEdit->SetAnchors(akLeft | akTop | akRight);
    // Leaving the field, a command that commits the edit in progress, and
    // Enter all rename; Enter keeps the caret where it was.
    NameEdit->OnExit = [this](TComponent*) {
        if (!loading_) Rename();
    };
    NameEdit->OnKeyPress = [this](TComponent*, wchar_t& key) {
        if (key != 13 || loading_) return;
        const int start = NameEdit->SelStart(), length = NameEdit->SelLength();
        Rename();
        NameEdit->SetSel(start, length);
        key = 0;
    };
    EndLoading();
}

void TWindowRuleDetailPanel::Rename() {
    if (!editedObject_) return;
    // A refused name (taken, empty or blanks, or with a character that
    // structures the rule text) leaves the stored one, which the refresh
    // shows again, and the user is told why.
    const std::string typed = NameEdit->Text();
    if (typed != editedObject_->GetName()) {
        switch (CheckRuleName(editedObject_.get(), typed)) {
        case TRuleNameFault::Empty:
            UpdateView();
            SayRefused(GetMLString("WRDP_NameEmpty", "A window rule needs a name."));
            return;
        case TRuleNameFault::Taken:
            UpdateView();
            SayRefused(GetMLString("WRDP_NameTaken", "Another window rule already has the name") + " \"" + typed +
                       "\".");
            return;
        case TRuleNameFault::Characters:
            UpdateView();
            SayRefused(GetMLString("WRDP_NameCharacters", "The name of a window rule cannot hold \\ { or }."));
            return;
        case TRuleNameFault::None:
            break;
        }
    }
    RenameObject(typed);
    if (editedObject_ && NameEdit->Text() != editedObject_->GetName()) UpdateView();
}

void TWindowRuleDetailPanel::SayRefused(const std::string& text) {
    // A message box inside the field's focus change would disturb it (the
    // click that moved the focus is still being handled): the box follows
    // once the change is done.
    HWND field = NameEdit->WindowHandle();
    if (field && ::GetFocus() != field && WindowHandle()) {
        refusal_ = text;
        ::PostMessageW(WindowHandle(), NameRefusedMessage(), 0, 0);
        return;
    }
    SayToUser(text);
}

LRESULT TWindowRuleDetailPanel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == NameRefusedMessage()) {
        std::string text;
        text.swap(refusal_);
        if (!text.empty()) SayToUser(text);
        return 0;
    }
    return TDetailPanelFrame::WndProc(message, wParam, lParam);
}

namespace {
const char* const kRuleCondition = "conditions/DefaultCondition";
const char* const kRuleActions = "actions";

// The objects at these paths of the object that exist.
std::vector<Ref<IBOMObject>> ObjectsAt(IBOMObject* object, std::initializer_list<const char*> paths) {
    std::vector<Ref<IBOMObject>> found;
    if (!object) return found;
    for (const char* path : paths)
        if (Ref<IBOMObject> child = object->GetObject(path)) found.push_back(child);
    return found;
}
}  // namespace

void TWindowRuleDetailPanel::SetObject(IBOMObject* object) {
    TDetailPanelFrame::SetObject(object);
    EmbedChildPanel(object, kRuleCondition, ScrollBox);
}

std::vector<Ref<IBOMObject>> TWindowRuleDetailPanel::EmbeddedObjects(IBOMObject* object) {
    return ObjectsAt(object, {kRuleCondition});
}

void TWindowRuleDetailPanel::UpdateView() {
    TDetailPanelFrame::UpdateView();
    TLoadingGuard guard(loading_);
    std::string value;
    if (ReadParam(editedObject_.get(), "enabled", value)) EnabledCheckBox->SetChecked(value == "yes");
    if (!ReadParam(editedObject_.get(), "name", value)) value.clear();
    SetTextIfNew(NameEdit, value);
}

void TWindowRuleDetailPanel::UpdateLanguage() {
    TDetailPanelFrame::UpdateLanguage();
    GroupBox->SetText(GroupCaption(GetMLString("WRDP_Caption", TrimCaption(GroupBox->Text()))));
    NameEdit->SetHint(GetMLString("WRDP_NameHint", NameEdit->Hint()));
    EnabledCheckBox->SetHint(GetMLString("WRDP_EnabledHint", EnabledCheckBox->Hint()));
}

void TSinglePurposeWindowRuleDetailPanel::SetObject(IBOMObject* object) {
    TWindowRuleDetailPanel::SetObject(object);
    EmbedChildPanel(object, kRuleActions, ScrollBox);
    ScrollBox->SetChildIndex(MainPanel, 0);
}

std::vector<Ref<IBOMObject>> TSinglePurposeWindowRuleDetailPanel::EmbeddedObjects(IBOMObject* object) {
    return ObjectsAt(object, {kRuleCondition, kRuleActions});
}

// -------------------------------------------------------- condition panel

TConditionDetailPanel::TConditionDetailPanel() {
    BeginLoading();
    SetName("ConditionDetailPanel");
    SetBounds(0, 0, 201, 130);
    CriterionsGroupBox = new TGroupBox(this);
    CriterionsGroupBox->SetName("CriterionsGroupBox");
    CriterionsGroupBox->SetParent(this);
    CriterionsGroupBox->SetAlign(TAlign::alClient);
    CriterionsGroupBox->SetText(" Target window ");
    FindWindowPanel = new TPanel(this);
    FindWindowPanel->SetName("FindWindowPanel");
    FindWindowPanel->SetParent(CriterionsGroupBox);
    FindWindowPanel->SetAlign(TAlign::alTop);
    FindWindowPanel->SetBounds(0, 0, 197, 41);
    FindWindow = new TPanelFinder(this);
    FindWindow->SetName("FindWindow");
    FindWindow->SetParent(FindWindowPanel);
    FindWindow->SetBounds(4, 5, 32, 32);
    FindWindow->SetSelectedChildWindow(false);
    FindWindow->SetColor(ColorBtnFace());
    FindWindow->BeforeSelectWindow = [this](TComponent*, HWND& window, bool& cancel) {
        BeforeSelectWindow(window, cancel);
    };
    FindWindow->AfterSelectWindow = [this](TComponent*, HWND window) { AfterSelectWindow(window); };
    DescriptionLabel = new TLabel(this);
    DescriptionLabel->SetName("DescriptionLabel");
    DescriptionLabel->SetParent(FindWindowPanel);
    DescriptionLabel->SetAutoSize(false);
    DescriptionLabel->SetWordWrap(true);
    DescriptionLabel->SetBounds(40, 0, 148, 41);
    DescriptionLabel->SetAnchors(akLeft | akTop | akRight);
    EndLoading();
}

void TConditionDetailPanel::SetObject(IBOMObject* object) {
    TDetailPanelFrame::SetObject(object);
    Ref<IBOMCollection> criterions =
        object ? object->GetObject("criterions").As<IBOMCollection>() : Ref<IBOMCollection>();
    if (!criterions)
        throw EAssertionFailed("TConditionDetailPanel.SetObject: the condition has no criteria "
                               "{5E0C7A1D-93B4-4F62-8A0E-2C6D4B19F3A7}");
    int height = FindWindowPanel->Height();
    for (int i = 0; i < criterions->Count(); ++i) {
        Ref<IBOMObject> item = criterions->GetItem(Variant(i));
        if (TControl* panel = EmbedObjectPanel(item.get(), CriterionsGroupBox)) height += panel->Height();
    }
    CriterionsGroupBox->SetChildIndex(FindWindowPanel, 0);
    // The frame and caption take what the group box's font needs, so the
    // last row is never cut off.
    CriterionsGroupBox->SetAlign(TAlign::alNone);
    CriterionsGroupBox->SetHeight(height + GroupBoxChromeHeight(CriterionsGroupBox));
    SetClientHeight(CriterionsGroupBox->Height());
    CriterionsGroupBox->SetAlign(TAlign::alClient);
}

std::vector<Ref<IBOMObject>> TConditionDetailPanel::EmbeddedObjects(IBOMObject* object) {
    std::vector<Ref<IBOMObject>> items;
    Ref<IBOMCollection> criterions =
        object ? object->GetObject("criterions").As<IBOMCollection>() : Ref<IBOMCollection>();
    if (!criterions) return items;
    for (int i = 0; i < criterions->Count(); ++i)
        if (Ref<IBOMObject> item = criterions->GetItem(Variant(i))) items.push_back(item);
    return items;
}

void TConditionDetailPanel::UpdateLanguage() {
    TDetailPanelFrame::UpdateLanguage();
    CriterionsGroupBox->SetText(GroupCaption(GetMLString("CDP_Caption", TrimCaption(CriterionsGroupBox->Text()))));
    FindWindow->SetHint(GetMLString("CDP_FindWindowHint", FindWindow->Hint()));
    DescriptionLabel->SetText(GetMLString("CDP_Description", DescriptionLabel->Text()));
}

void TConditionDetailPanel::BeforeSelectWindow(HWND& window, bool& cancel) {
    if (TForm* form = ParentForm()) cancel = window == form->WindowHandle();
}

void TConditionDetailPanel::AfterSelectWindow(HWND window) {
    for (size_t i = 0; i < CriterionsGroupBox->ControlCount(); ++i)
        if (auto* panel = dynamic_cast<TAbstractCriterionDetailPanel*>(CriterionsGroupBox->Control(i)))
            panel->SetFromWindow(window);
}

// ------------------------------------------------------------- root panel

TTarvelWindowsDetailPanel::TTarvelWindowsDetailPanel() {
    BeginLoading();
    SetName("TarvelWindowsDetailPanel");
    SetBounds(0, 0, 218, 93);
    Memo = new TMemo(this);
    Memo->SetName("Memo");
    Memo->SetParent(this);
    Memo->SetAlign(TAlign::alClient);
    Memo->SetReadOnly(true);
    Memo->SetScrollBars(true);
    Memo->SetColor(ColorBtnFace());
    Memo->SetFont(FontOf("MS Sans Serif", -13));
    EndLoading();
}

void TTarvelWindowsDetailPanel::UpdateLanguage() {
    TDetailPanelFrame::UpdateLanguage();
    Memo->SetText(GetMLString("TWDP_Memo", Memo->Text()));
}

// ------------------------------------------------------------ about panel

TAddressLabel::TAddressLabel(TComponent* owner) : TLabel(owner) {
    TFontSpec f = FontOf("MS Sans Serif", -13);
    f.underline = true;
    f.color = RGB(0, 0, 255);
    SetFont(f);
    OnClick = [this](TComponent*) {
        if (!address.empty()) OpenAddress(address);
    };
}

LRESULT TAddressLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETCURSOR) {
        ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
        return TRUE;
    }
    return TLabel::WndProc(message, wParam, lParam);
}

TLogoImage::TLogoImage(TComponent* owner) : TControl(owner) {
    bitmap_.reset(::LoadImageW(::GetModuleHandleW(nullptr), L"ABOUTLOGO", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

LRESULT TLogoImage::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCHITTEST) return HTTRANSPARENT;
    return TControl::WndProc(message, wParam, lParam);
}

void TLogoImage::Paint(HDC dc, const RECT&) {
    if (!bitmap_) return;
    BITMAP info{};
    ::GetObjectW(bitmap_.get(), sizeof(info), &info);
    MemoryDC memory(dc, bitmap_.get());
    if (!memory) return;
    // The picture's corner colour is its background: left out.
    const COLORREF key = ::GetPixel(memory.get(), 0, 0);
    ::TransparentBlt(dc, 0, 0, Width(), Height(), memory.get(), 0, 0, info.bmWidth, info.bmHeight, key);
}

TAboutPanel::TAboutPanel() {
    BeginLoading();
    SetName("AboutPanel");
    SetBounds(0, 0, 429, 190);
    MainPanel = new TPanel(this);
    MainPanel->SetName("MainPanel");
    MainPanel->SetParent(this);
    MainPanel->SetAlign(TAlign::alClient);
    MainPanel->SetFont(FontOf("Arial", -13));
    LogoImage = new TLogoImage(this);
    LogoImage->SetName("LogoImage");
    LogoImage->SetParent(MainPanel);
    LogoImage->SetBounds(8, 8, 97, 73);
    auto line = [this](const char* name, int left, int top, int width, int height) {
        auto* l = new TLabel(this);
        l->SetName(name);
        l->SetParent(MainPanel);
        l->SetAutoSize(false);
        l->SetBounds(left, top, width, height);
        l->SetLayoutCentered(true);
        l->SetAnchors(akLeft | akTop | akRight);
        return l;
    };
    ProgramNameLabel = line("ProgramNameLabel", 104, 8, 324, 25);
    ProgramNameLabel->SetAlignment(TLabel::TAlignment::taCenter);
    ProgramNameLabel->SetFont(FontOf("Arial", -21, true));
    VersionLabel = line("VersionLabel", 120, 37, 308, 20);
    CopyrightLabel = line("CopyrightLabel", 120, 59, 308, 20);
    AllRightsLabel = line("AllRightsLabel", 120, 80, 308, 20);
    auto link = [this](const char* name, int top, const char* address) {
        auto* l = new TAddressLabel(this);
        l->SetName(name);
        l->SetParent(MainPanel);
        l->SetBounds(119, top, 200, 16);
        l->address = address;
        return l;
    };
    SiteURLLabel = link("SiteURLLabel", 102, kSiteAddress);
    EmailLabel = link("EmailLabel", 121, kSupportAddress);
    EndLoading();
}

void TAboutPanel::UpdateView() {
    TDetailPanelFrame::UpdateView();
    ProgramNameLabel->SetText(GetMLString("AppCBTitle", "%appname%"));
    VersionLabel->SetText(GetMLString("AboutForm_Version", "Version") + " " + kProgramVersion);
    CopyrightLabel->SetText(GetMLString("AboutForm_Copyright", "Copyright \xC2\xA9 Quennet"));
    AllRightsLabel->SetText(GetMLString("AboutForm_AllRights", "All rights reserved."));
    SiteURLLabel->SetText("ombrel.example.org");
    EmailLabel->SetText("support@ombrel.example.org");
}

// ----------------------------------------------------------- registration

void RegisterEditorPanels() {
    CreateDetailPanelRegistry();
    RegisterDetailPanelClass<TAboutPanel>("AboutPanel");
    RegisterDetailPanelClass<TTarvelWindowsDetailPanel>("TarvelWindowsDetailPanel");
    RegisterDetailPanelClass<TSinglePurposeWindowRuleDetailPanel>("WindowRuleDetailPanel");
    RegisterDetailPanelClass<TConditionDetailPanel>("ConditionDetailPanel");
    RegisterDetailPanelClass<TWindowCaptionCriterionDetailPanel>("WindowCaptionCriterionDetailPanel");
    RegisterDetailPanelClass<TWindowClassCriterionDetailPanel>("WindowClassCriterionDetailPanel");
    RegisterDetailPanelClass<TActionsDetailPanel>("ActionsDetailPanel");
    RegisterDetailPanelClass<TActionsContentDetailPanel>("ActionsContentDetailPanel");
    RegisterDetailPanelClass<TActionDetailPanel>("ActionDetailPanel");
    RegisterDetailPanelClass<TRunModeActionDetailPanel>("RunModeActionDetailPanel");
}

}  // namespace omb::config
