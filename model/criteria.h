// Criteria and conditions: which live windows a window rule applies to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bom/enabled_item.h"
#include "foundation/winfuncs.h"

namespace omb {

// What matching reads of a live window, read once and only when asked for:
// its class name and caption, read with the wide calls and held as UTF-8.
// A text that did not convert without loss (ClassNameExact / CaptionExact
// false) matches no criterion, so no rule acts on a window it was not
// written for.
class TWindowFacts {
public:
    explicit TWindowFacts(HWND window) : window_(window) {}
    HWND Window() const { return window_; }
    const std::string& ClassName() { return Class().text; }
    const std::string& Caption() { return Title().text; }
    bool ClassNameExact() { return Class().exact; }
    bool CaptionExact() { return Title().exact; }
    // The caption or the class name, with whether it was read whole.
    const WindowText& Text(bool caption) { return caption ? Title() : Class(); }

private:
    const WindowText& Class();
    const WindowText& Title();

    HWND window_;
    bool haveClass_ = false, haveCaption_ = false;
    WindowText className_, caption_;
};

// An active criterion as matching needs it, taken from its objects: the
// window's class name or caption, compared whole or (a caption whose
// "exact_search" is "no") as a substring. Its Match is the one comparison of
// a criterion with a window, whether the rule is kept as objects or stored:
// both take their criteria to this form and ask it.
struct TCompiledCriterion {
    bool caption = false;
    bool substring = false;
    std::string text;
    // False for a text of the window that lost characters when it was read.
    bool Match(TWindowFacts& facts) const;
};

// One condition: at least one active criterion, and every one matches.
bool MatchCriteria(const std::vector<TCompiledCriterion>& criteria, TWindowFacts& facts);

// The enabled conditions of a rule, each with its active criteria in order:
// a rule matches when one condition does (MatchCriteria).
struct TCompiledConditions {
    std::vector<std::vector<TCompiledCriterion>> conditions;
    bool Match(TWindowFacts& facts) const;
};

// Role "Criterion".
struct ICriterion : IUnknown {
    virtual bool IsEnabled() = 0;
    virtual bool Match(HWND window) = 0;

protected:
    ~ICriterion() = default;
};

// Role "Condition".
struct ICondition : IUnknown {
    virtual bool IsEnabled() = 0;
    virtual bool Match(HWND window) = 0;

protected:
    ~ICondition() = default;
};

class TCriterion : public TEnabledItem, public ICriterion {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    // A criterion counts as enabled only when it is active: switched on and
    // with a text to compare (its state icon shows the same).
    bool IsEnabled() override { return IsActive(); }
    bool Match(HWND window) override {
        TWindowFacts facts(window);
        return MatchFacts(facts);
    }
    // Enabled and not empty.
    virtual bool IsActive() { return false; }
    // The state icon follows the text as well as the switch.
    void ChangedFromChild(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender) override;
    virtual bool MatchFacts(TWindowFacts& facts) {
        (void)facts;
        return false;
    }
    // What MatchFacts compares; false for a kind of criterion that has no
    // compiled form.
    virtual bool Compile(TCompiledCriterion& out) {
        (void)out;
        return false;
    }
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
};

// The window class name, whole and case-sensitive.
class TWindowClassNameCriterion : public TCriterion {
public:
    void Initialize() override;
    bool IsActive() override;
    bool MatchFacts(TWindowFacts& facts) override;
    bool Compile(TCompiledCriterion& out) override;

private:
    Ref<TBOMParam> className_;
};

// The caption, whole or (with "exact_search" "no") as a substring.
class TWindowCaptionCriterion : public TCriterion {
public:
    void Initialize() override;
    bool IsActive() override;
    bool MatchFacts(TWindowFacts& facts) override;
    bool Compile(TCompiledCriterion& out) override;

private:
    Ref<TBOMParam> caption_, exactSearch_;
};

class TCriterions : public TBOM_UI_Collection {
public:
    void Initialize() override;
    bool AcceptsItem(IBOMObject* item) override;
};

class TCondition : public TEnabledItem, public ICondition {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    bool IsEnabled() override { return TEnabledItem::IsEnabled(); }
    bool Match(HWND window) override {
        TWindowFacts facts(window);
        return MatchFacts(facts);
    }
    // At least one active criterion, and every active criterion matches.
    bool MatchFacts(TWindowFacts& facts);
    // The active criteria in order; false when one has no compiled form.
    bool Compile(std::vector<TCompiledCriterion>& out);
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    Ref<TBOMCollection> criterions_;
};

class TConditions : public TBOM_UI_Collection {
public:
    void Initialize() override;
    std::string GetCaption() override { return "Conditions"; }
    bool AcceptsItem(IBOMObject* item) override;
};

}  // namespace omb

OMB_DECLARE_IID(omb::ICriterion, "{B20D73CA-3DD9-41A0-A498-56ABEBA71EFB}")
OMB_DECLARE_IID(omb::ICondition, "{10B51325-B608-46F2-9FA1-722BB8C37333}")
