// Window rules: conditions (which windows), actions (what to do) and triggers
// with agents (when to do it), the rule command text, and the default rule
// template every rule starts from.
#pragma once

#include <windows.h>

#include <string>

#include "bom/enabled_item.h"
#include "model/criteria.h"

namespace omb {

// Role "WindowRule".
struct IWindowRule : IUnknown {
    virtual bool IsEnabled() = 0;
    // At least one enabled condition matches the live window.
    virtual bool Match(HWND window) = 0;
    virtual std::string CommandText() = 0;

protected:
    ~IWindowRule() = default;
};

class TWindowRule : public TEnabledItem, public IWindowRule, public IUIList {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    bool IsEnabled() override { return TEnabledItem::IsEnabled(); }
    bool Match(HWND window) override {
        TWindowFacts facts(window);
        return MatchFacts(facts);
    }
    bool MatchFacts(TWindowFacts& facts);
    // \WINDOWRULENAME=name, then \ACTION=... and \TRIGGER=... for each
    // enabled action and trigger.
    std::string CommandText() override;

    Ref<IUIList> GetSubList() override { return Ref<IUIList>(static_cast<IUIList*>(this)); }
    void FillChildNodes(ITreeNode* node) override;
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    Ref<TBOMCollection> conditions_;
};

class TWindowRules : public TBOM_UI_Collection {
public:
    void Initialize() override;
    bool AcceptsItem(IBOMObject* item) override { return item->SupportsRole("WindowRule"); }
    // Refuses, like a name another rule holds, a name with a character that
    // structures the rule command text.
    void RenameChild(IBOMObjectSlave* child, const std::string& newName) override;
};

// The default rule template, an XML document with root "window_rule".
extern const char* const kDefaultRuleTemplate;

// Registers every class of the window-rule model by its type name.
void RegisterModelClasses();

}  // namespace omb

OMB_DECLARE_IID(omb::IWindowRule, "{8F9A0678-FCB1-4240-B806-12E59E3EA6AA}")
