// The editor's menu bar and tool bar as business objects: command sets of
// commands loaded from two built-in documents, translated through the
// language tables, each command owning the action that menu items and tool
// buttons are linked to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bom/ui_objects.h"

namespace omb {

// Virtual-key code plus modifier flags.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// Reads "Ctrl+S", "F1", "Shift+Ctrl+Del"...; 0 for an empty or unreadable text.
TShortCut TextToShortCut(const std::string& text);

// A key press as the editor hands it on.
struct TKeyMessage {
    uint16_t key = 0;  // virtual-key code
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};
TShortCut ShortCutOf(const TKeyMessage& key);

// What menu items and tool buttons are linked to: caption, hint, short-cut,
// image, enabled, and the update and execute events.
class TCommandAction {
public:
    using TEvent = std::function<void(TCommandAction& action)>;

    std::string name, caption, hint;
    TShortCut shortCut = 0;
    int imageIndex = -1;
    TEvent OnUpdate, OnExecute;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    // Updates, then carries out an enabled action; answers whether it did.
    bool Execute();

private:
    bool enabled_ = true;
};

enum class TCommandKind { Item, Group, Separator };

// A menu or tool bar as the commands see it while they fill it. Handles are
// the view's own.
struct ICommandBarBuilder {
    // A new menu item under `parent` (nullptr: the menu bar) linked to the
    // action; a separator shows as a line.
    virtual void* AddMenuItem(void* parent, TCommandAction* action, TCommandKind kind) = 0;
    // A new tool button linked to the action (a separator is 8 wide). For a
    // group the button gets a drop-down menu: answers that menu's item, under
    // which the group's commands go.
    virtual void* AddToolButton(TCommandAction* action, TCommandKind kind) = 0;

protected:
    ~ICommandBarBuilder() = default;
};

struct IBOMUICommand : IUnknown {
    virtual TCommandAction* GetAction() = 0;
    virtual void* CreateToolButton(ICommandBarBuilder* bar) = 0;
    virtual void* CreateMenuItem(ICommandBarBuilder* bar, void* parent) = 0;
    virtual bool HandleShortCut(const TKeyMessage& key) = 0;

protected:
    ~IBOMUICommand() = default;
};

class TBOMUICommand : public TBOM_UI_Object, public IBOMUICommand {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    void UpdateLanguage() override;
    void UpdateView() override;

    TCommandAction* GetAction() override { return action_.get(); }
    void* CreateToolButton(ICommandBarBuilder* bar) override;
    void* CreateMenuItem(ICommandBarBuilder* bar, void* parent) override;
    bool HandleShortCut(const TKeyMessage& key) override;

    // "separator" and "group" (compared exactly); anything else is an item.
    TCommandKind Kind();

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    void AddSubMenuItems(ICommandBarBuilder* bar, void* menuItem);
    std::vector<Ref<IBOMUICommand>> SubCommands();

    std::unique_ptr<TCommandAction> action_;
};

class TBOMUICommands : public TBOM_UI_Collection {
public:
    void Initialize() override;
};

// Registers "BOMUICOMMAND" and "BOMUICOMMANDS".
void RegisterCommandClasses();

// The built-in documents of the main menu and the tool bar.
extern const char* const kMainMenuDocument;
extern const char* const kToolBarDocument;

}  // namespace omb

OMB_DECLARE_IID(omb::IBOMUICommand, "{12AD281D-DB46-4008-A5E0-C33CA2D1FE76}")
