// The panels of a window rule, of its condition, of the configuration root
// and the about panel.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "config/panels/panel_base.h"
#include "foundation/handles.h"

#include "forms/extra_controls.h"
#include "forms/find_window.h"

namespace omb::config {

using TPanelFinder = forms::TFindWindow;

class TWindowRuleDetailPanel : public TDetailPanelFrame {
public:
    TWindowRuleDetailPanel();
    const char* ClassName() const override { return "TWindowRuleDetailPanel"; }
    void SetObject(IBOMObject* object) override;
    void UpdateView() override;
    void UpdateLanguage() override;

    forms::TGroupBox* GroupBox = nullptr;
    forms::TScrollBox* ScrollBox = nullptr;
    forms::TPanel* MainPanel = nullptr;
    TPanelCheckBox* EnabledCheckBox = nullptr;
    forms::TEdit* NameEdit = nullptr;

protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::vector<Ref<IBOMObject>> EmbeddedObjects(IBOMObject* object) override;

private:
    void Rename();
    // Says why the typed name was refused: at once while the field has the
    // focus, after the focus change when the field was left.
    void SayRefused(const std::string& text);
    bool loading_ = false;
    std::string refusal_;
};

// The rule panel with the rule's actions below its condition.
class TSinglePurposeWindowRuleDetailPanel : public TWindowRuleDetailPanel {
public:
    const char* ClassName() const override { return "TSinglePurposeWindowRuleDetailPanel"; }
    void SetObject(IBOMObject* object) override;

protected:
    std::vector<Ref<IBOMObject>> EmbeddedObjects(IBOMObject* object) override;
};

class TConditionDetailPanel : public TDetailPanelFrame {
public:
    TConditionDetailPanel();
    const char* ClassName() const override { return "TConditionDetailPanel"; }
    void SetObject(IBOMObject* object) override;
    void UpdateLanguage() override;

    // The finder's events: the editor's own window is refused; every
    // criterion panel takes its value from the picked window.
    void BeforeSelectWindow(HWND& window, bool& cancel);
    void AfterSelectWindow(HWND window);

    forms::TGroupBox* CriterionsGroupBox = nullptr;
    forms::TPanel* FindWindowPanel = nullptr;
    TPanelFinder* FindWindow = nullptr;
    forms::TLabel* DescriptionLabel = nullptr;

protected:
    std::vector<Ref<IBOMObject>> EmbeddedObjects(IBOMObject* object) override;
};

// The root's panel: what a window rule is and how to make one.
class TTarvelWindowsDetailPanel : public TDetailPanelFrame {
public:
    TTarvelWindowsDetailPanel();
    const char* ClassName() const override { return "TTarvelWindowsDetailPanel"; }
    void UpdateLanguage() override;

    forms::TMemo* Memo = nullptr;
};

// A label that opens an address through the shell when clicked.
class TAddressLabel : public forms::TLabel {
public:
    explicit TAddressLabel(TComponent* owner);
    const char* ClassName() const override { return "TAddressLabel"; }
    std::string address;

protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Our logo, drawn with its background colour left out.
class TLogoImage : public forms::TControl {
public:
    explicit TLogoImage(TComponent* owner);
    const char* ClassName() const override { return "TLogoImage"; }
    bool HasPicture() const { return bitmap_.get() != nullptr; }

protected:
    void Paint(HDC dc, const RECT& clip) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    UniqueGdiObject bitmap_;
};

class TAboutPanel : public TDetailPanelFrame {
public:
    TAboutPanel();
    const char* ClassName() const override { return "TAboutPanel"; }
    void UpdateView() override;

    forms::TPanel* MainPanel = nullptr;
    TLogoImage* LogoImage = nullptr;
    forms::TLabel* ProgramNameLabel = nullptr;
    forms::TLabel* VersionLabel = nullptr;
    forms::TLabel* CopyrightLabel = nullptr;
    forms::TLabel* AllRightsLabel = nullptr;
    TAddressLabel* SiteURLLabel = nullptr;
    TAddressLabel* EmailLabel = nullptr;
};

// Our web and support addresses.
extern const char* const kSiteAddress;
extern const char* const kSupportAddress;
extern const char* const kProgramVersion;

// Opens an address with the shell's "open" verb; one that does not open is
// said in a message box, as a program or help file that does not open is.
void OpenAddress(const std::string& address);
// Replaces the shell's verb (tests); it answers whether the address opened.
void SetAddressOpener(std::function<bool(const std::string&)> opener);

// Shows a warning about what the user typed: a message box over the editor
// (tests replace it).
void SayToUser(const std::string& text);
void SetUserWarner(std::function<void(const std::string&)> warner);

// Registers every panel of the editor by its name; the editor's start calls
// it once, before the first panel is asked for.
void RegisterEditorPanels();

}  // namespace omb::config
