// Window rules: conditions (which windows), actions (what to do) and triggers
// with agents (when to do it), the rule command text, and the default rule
// template every rule starts from.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "bom/enabled_item.h"
#include "bom/stored_tree.h"
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

struct TRuleBody;
struct TRuleLoadCache;

// A rule keeps its conditions, actions and triggers as objects only once
// something asks for them as objects. Until then it holds what they would
// write into a storage, as stored trees (stored_tree.h) shared with every
// other rule (and the template) where they agree, together with what
// matching and the command text need of them; any use of them as objects
// (a path through them, saving, the editor's tree, a broadcast) first
// builds them back from that stored form, and they then answer as if they
// had never been anything else. A rule made from the template holds the
// template's stored form; one loaded from a file is loaded as objects and
// then stored again, unless the editor's views are attached to it.
//
// Loaded in a scope that reads later (TRuleLoadScope), a rule reads only
// its name and parameters and keeps the element it was loaded from: its
// parts are read from there when anything first asks for them (matching,
// the command text, saving, its objects). Such a rule is read on the thread
// that loaded it; it keeps the document alive until then.
//
// Matching and the command text of a stored rule only read what was taken
// from the objects when they were stored, so any number of threads may ask
// at once. Matching goes through the same routine in both forms (criteria.h).
// The command text is taken in the language of that moment: a change of
// language reaches the rules through the language broadcast, which builds
// them back, tells them, and stores them again.
class TWindowRule : public TEnabledItem, public IWindowRule, public IUIList {
public:
    OMB_IUNKNOWN

    TWindowRule();
    ~TWindowRule() override;

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

    Ref<IBOMObject> GetChild(const std::string& name) override;
    void SaveTo(IHierStorage* storage) override;
    void Broadcast(int code, int param1, int param2) override;
    void SetOwner(IBOMObjectOwner* owner) override;
    void Disconnect() override;

    // Whether the conditions, actions and triggers are objects now.
    bool Realized() const { return !body_; }
    // Whether they are still to be read from the element the rule was
    // loaded from.
    bool PartsPending() const { return pending_ != nullptr; }
    // Reads them from there now (as matching or saving would).
    void ReadPendingParts() { ReadParts(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    void LoadContent(IHierStorage* node, bool readName) override;
    // Stored parts are read from the elements of their names.
    bool ReadsMore(const std::string& element, int occurrence) override;
    // Stored parts are written from their stored form.
    void SaveMore(IHierStorage* storage, TKeptWriter& kept) override;

private:
    friend struct TRulePrototype;
    // The actions' and triggers' part of the command text, from the objects.
    std::string BodyText();
    // Builds the objects back from the stored form.
    void Realize();
    // Reads the parts of a rule from a node of an XML document into their
    // stored form; false, having read nothing, when they must be read as
    // objects.
    bool LoadStored(IHierStorage* node);
    // Reads the parts still to be read from the element the rule was loaded
    // from; nothing when there are none.
    void ReadParts();
    // Part i of the stored form as its objects would write it now (in the
    // language of the moment when a language change is still to be given
    // to them).
    TStoredRef PartToSave(size_t i);
    // Stores the objects and lets them go, when the rule is as it was made
    // (its "all" children in their order) and matching has a compiled form.
    void Store();
    // The stored form of the objects as they are now; false when matching
    // has no compiled form of them.
    bool MakeBody(TRuleBody& body);

    Ref<TBOMCollection> conditions_;
    std::unique_ptr<TRuleBody> body_;
    struct TPendingParts;
    std::unique_ptr<TPendingParts> pending_;
    bool linked_ = false;  // SetOwner ran since the last Disconnect
    // The parts were stored again after the language broadcast: when they
    // come back, they are told the language once more.
    bool languagePending_ = false;
};

// While one lives on a thread, the stored rules loaded there share what
// they read: a part read from equal markup over an equal part is read once.
// An outer scope that reads later leaves the rules' parts in their elements
// until they are first asked for (the editor: a large file opens without
// reading every rule); what they share is kept for them until then.
class TRuleLoadScope {
public:
    enum TReading { kReadNow, kReadLater };
    explicit TRuleLoadScope(TReading reading = kReadNow);
    ~TRuleLoadScope();
    TRuleLoadScope(const TRuleLoadScope&) = delete;
    TRuleLoadScope& operator=(const TRuleLoadScope&) = delete;

private:
    friend class TWindowRule;
    explicit TRuleLoadScope(std::shared_ptr<TRuleLoadCache> cache);
    std::shared_ptr<TRuleLoadCache> cache_;  // set: this scope is the thread's outer one
};

// While one lives on a thread, the stored rules saved there translate each
// distinct stored part once (the parts of many rules are shared).
class TRuleSaveScope {
public:
    TRuleSaveScope();
    ~TRuleSaveScope();
    TRuleSaveScope(const TRuleSaveScope&) = delete;
    TRuleSaveScope& operator=(const TRuleSaveScope&) = delete;

private:
    bool outer_ = false;
};

class TWindowRules : public TBOM_UI_Collection {
public:
    void Initialize() override;
    bool AcceptsItem(IBOMObject* item) override { return item->SupportsRole("WindowRule"); }
    // Refuses, like a name another rule holds, a name of blanks only and a
    // name with a character that structures the rule command text.
    void RenameChild(IBOMObjectSlave* child, const std::string& newName) override;

protected:
    // No rule of a file is lost: a rule whose name an earlier rule of the
    // file holds is kept under the first free "NAME (2)", "NAME (3)", ...
    bool KeepsSameNamedItems() override { return true; }

    // The rules of one file share what they read (TRuleLoadScope).
    void LoadContent(IHierStorage* node, bool readName) override;
};

// Why a window rule cannot take a name: it is empty or blanks only, another
// rule of its collection holds it (compared without regard to case), or it
// holds "\", "{" or "}". The editor tells the user which.
enum class TRuleNameFault { None, Empty, Taken, Characters };
TRuleNameFault CheckRuleName(IBOMObject* rule, const std::string& name);

// The default rule template, an XML document with root "window_rule".
extern const char* const kDefaultRuleTemplate;

// Registers every class of the window-rule model by its type name.
void RegisterModelClasses();

}  // namespace omb

OMB_DECLARE_IID(omb::IWindowRule, "{8F9A0678-FCB1-4240-B806-12E59E3EA6AA}")
