#include "model/window_rules.h"

#include <map>
#include <mutex>
#include <tuple>

#include "bom/stored_tree.h"
#include "foundation/languages.h"
#include "foundation/ole.h"
#include "foundation/xml_storage.h"
#include "foundation/strings.h"
#include "bom/ui_commands.h"
#include "model/actions.h"
#include "model/command_text.h"
#include "model/root.h"
#include "model/triggers.h"
#include "model/xml_text.h"

namespace omb {

namespace {
// The children a rule makes, in their order: name and type.
struct RulePart {
    const char* name;
    const char* type;
};
constexpr RulePart kRuleParts[3] = {{"conditions", "CONDITIONS"}, {"actions", "Actions"}, {"triggers", "Triggers"}};

// How a note of what a save cannot keep names the rule it is in.
const char kRulePlaceKey[] = "TW_UnkeptInRule";
const char kRulePlace[] = "in the rule \"%name%\"";

// Set while the prototype is made: that rule is made the plain way.
thread_local bool t_makingPrototype = false;

// The stored parts translated during one save, by the part they came from
// (kept alive with them, so that an address is never taken for another).
using TTranslations = std::map<const TStoredNode*, std::pair<TStoredRef, TStoredRef>>;
thread_local TTranslations* t_translations = nullptr;

// Writes a stored tree into an element as the objects it was taken from
// wrote it there.
void WriteStored(IHierStorage* storage, const TStoredNode& node) {
    for (const TStoredNode::Attribute& a : node.Attributes()) storage->WriteAttribute(a.first, a.second);
    if (!node.Text().empty()) storage->SetText(node.Text());
    for (const TStoredRef& child : node.Children()) {
        if (child->IsMarkup())
            storage->AddMarkup(child->Text());
        else if (Ref<IHierStorage> element = storage->AddChild(child->Name()))
            WriteStored(element.get(), *child.get());
    }
}
}  // namespace

TRuleSaveScope::TRuleSaveScope() {
    if (t_translations) return;
    t_translations = new TTranslations();
    outer_ = true;
}

TRuleSaveScope::~TRuleSaveScope() {
    if (!outer_) return;
    delete t_translations;
    t_translations = nullptr;
}

// What a rule keeps of its children while they are stored.
struct TRuleBody {
    TStoredRef parts[3];  // as kRuleParts
    TCompiledConditions matcher;
    TStoredRef bodyText;  // BodyText() as the text of a node, shared like any
};

// A rule made from the template the plain way once, stored: every new rule
// starts from it instead of reading the template again.
struct TRulePrototype {
    TStoredRef params;
    TRuleBody body;

    // Made on first use; nothing when the template cannot be read here (the
    // rules are then made the plain way, and it is tried again next time).
    static const TRulePrototype* Get() {
        static std::mutex lock;
        static std::unique_ptr<TRulePrototype> made;
        std::lock_guard<std::mutex> guard(lock);
        if (!made) made = Make();
        return made.get();
    }

private:
    static std::unique_ptr<TRulePrototype> Make() {
        Ref<TWindowRule> rule;
        try {
            t_makingPrototype = true;
            rule = Ref<TWindowRule>(dynamic_cast<TWindowRule*>(CreateAbstractObject("WINDOWRULE").get()));
            t_makingPrototype = false;
            if (!rule || !LoadFromXMLText(static_cast<IPersistObject*>(rule.get()), kDefaultRuleTemplate)) {
                if (rule) rule->Disconnect();
                return nullptr;
            }
            auto made = std::make_unique<TRulePrototype>();
            Ref<IPersistObject> params = rule->TBOMObjectWithAll::GetChild("params").As<IPersistObject>();
            const bool stored = params && rule->MakeBody(made->body);
            if (stored) made->params = StoreObject(params.get(), params->GetElementName());
            rule->Disconnect();
            return stored ? std::move(made) : nullptr;
        } catch (...) {
            t_makingPrototype = false;
            if (rule) rule->Disconnect();
            return nullptr;
        }
    }
};

namespace {
// The compiled form of a rule's conditions; false when one of them has none.
bool CompileConditions(IBOMObject* object, TCompiledConditions& matcher) {
    auto* conditions = dynamic_cast<TBOMCollection*>(object);
    if (!conditions) return false;
    const int count = conditions->Count();
    for (int i = 0; i < count; ++i) {
        auto* condition = dynamic_cast<TCondition*>(conditions->GetItem(Variant(i)).get());
        if (!condition || !condition->IsEnabled()) continue;
        std::vector<TCompiledCriterion> criteria;
        if (!condition->Compile(criteria)) return false;
        if (!criteria.empty()) matcher.conditions.push_back(std::move(criteria));  // none: it never matches
    }
    return true;
}

// The actions' and triggers' part of the command text.
std::string PartsText(IBOMObject* actions, IBOMObject* triggers) {
    std::string text;
    auto append = [&](IBOMObject* child, const char* role, const char* key) {
        Ref<IBOMCollection> list = Ref<IBOMObject>(child).As<IBOMCollection>();
        if (!list) return;
        const int count = list->Count();
        for (int i = 0; i < count; ++i) {
            Ref<IUnknown> part = list->GetItem(Variant(i))->QueryRole(role);
            std::string partText;
            if (Ref<IAction> action = part.As<IAction>()) {
                if (action->IsEnabled()) partText = action->CommandText();
            } else if (Ref<IActivator> trigger = part.As<IActivator>()) {
                if (trigger->IsEnabled()) partText = trigger->CommandText();
            }
            if (!partText.empty()) text += std::string("\\") + key + "=" + partText;
        }
    };
    append(actions, "Action", "ACTION");
    append(triggers, "Trigger", "TRIGGER");
    return text;
}

// A part of a rule as objects of its own, built from a stored part.
Ref<IBOMObjectSlave> PartObject(size_t i, const TStoredRef& stored) {
    Ref<IBOMObjectSlave> child = CreateBOMObject(kRuleParts[i].type, kRuleParts[i].name);
    auto* fixed = dynamic_cast<TBOMObjectWithAll*>(child.get());
    if (!fixed) return nullptr;
    if (stored) fixed->LoadFixed(TStoredStorage::Create(stored).get());
    return child;
}

// Part i read from an element over the stored part it holds now, as an
// object of its own, and stored again; nothing when it makes no object.
// The conditions also give their compiled form where one is asked for.
TStoredRef ReadPart(size_t i, const TStoredRef& now, IHierStorage* element, TCompiledConditions* matcher = nullptr,
                    bool* compiled = nullptr) {
    Ref<IBOMObjectSlave> child = PartObject(i, now);
    Ref<IPersistObject> persist = child.As<IPersistObject>();
    if (!persist) return TStoredRef();
    dynamic_cast<TBOMObjectWithAll*>(child.get())->LoadFixed(element);
    TStoredRef stored = StoreObject(persist.get(), persist->GetElementName());
    if (matcher && compiled) *compiled = CompileConditions(child.get(), *matcher);
    child->Disconnect();
    return stored;
}

// The markup of the element a storage reads, when it reads a document of
// the XML service; empty otherwise.
std::wstring MarkupOf(IHierStorage* node) {
    auto* xml = dynamic_cast<TXMLStorage*>(node);
    if (!xml || !xml->Element()) return std::wstring();
    Bstr text;
    if (FAILED(xml->Element()->get_xml(text.put()))) return std::wstring();
    return text.Wide();
}
}  // namespace

// What the rules of one configuration file read have in common: a part read
// from equal markup over an equal part is read once; the command texts of
// equal actions and triggers are taken once.
struct TRuleLoadCache {
    struct Part {
        TStoredRef from;  // keeps the key's node alive
        TStoredRef part;
        bool compiled = false;  // conditions: the matcher below is valid
        std::vector<std::string> notes;  // what its reading noted a save cannot keep
        TCompiledConditions matcher;
    };
    std::map<std::tuple<size_t, const TStoredNode*, std::wstring>, Part> parts;
    std::map<std::pair<const TStoredNode*, const TStoredNode*>, std::pair<std::pair<TStoredRef, TStoredRef>, TStoredRef>>
        texts;
    bool readLater = false;
};
namespace {
// The cache of the thread's outer load scope.
thread_local std::shared_ptr<TRuleLoadCache>* t_loadCache = nullptr;
}

TRuleLoadScope::TRuleLoadScope(TReading reading) {
    if (t_loadCache) return;
    cache_ = std::make_shared<TRuleLoadCache>();
    cache_->readLater = reading == kReadLater;
    t_loadCache = &cache_;
}

TRuleLoadScope::TRuleLoadScope(std::shared_ptr<TRuleLoadCache> cache) {
    if (t_loadCache) return;
    cache_ = std::move(cache);
    t_loadCache = &cache_;
}

TRuleLoadScope::~TRuleLoadScope() {
    if (cache_) t_loadCache = nullptr;
}

// The element a rule's parts are still to be read from, with what the rules
// of its file share.
struct TWindowRule::TPendingParts {
    Ref<IHierStorage> node;
    std::shared_ptr<TRuleLoadCache> cache;
};

TWindowRule::TWindowRule() = default;
TWindowRule::~TWindowRule() = default;

HRESULT TWindowRule::QueryImpl(REFIID iid, void** object) {
    if (Offer<IWindowRule>(this, iid, object) || Offer<IUIList>(this, iid, object)) return S_OK;
    return TEnabledItem::QueryImpl(iid, object);
}

void TWindowRule::Initialize() {
    TEnabledItem::Initialize();
    typeName_ = "WINDOWRULE";
    elementName_ = "window_rule";
    detailPanelMap_ = "DefaultDetailPanel=WindowRuleDetailPanel";
    imageIndex_ = 1;
    hasChildren_ = false;
    if (!t_makingPrototype) {
        if (const TRulePrototype* prototype = TRulePrototype::Get()) {
            // The template's own parameters now, its children stored.
            if (auto* params = dynamic_cast<TBOMObjectWithAll*>(TBOMObjectWithAll::GetChild("params").get()))
                params->LoadFixed(TStoredStorage::Create(prototype->params).get());
            body_ = std::make_unique<TRuleBody>(prototype->body);
            UpdateNameParam();
            return;
        }
    }
    for (const RulePart& part : kRuleParts) CreateChild(part.type, part.name);
    conditions_ = Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(TBOMObjectWithAll::GetChild("conditions").get()));
    if (t_makingPrototype) return;  // the prototype reads the template itself
    try {
        LoadFromXMLText(static_cast<IPersistObject*>(this), kDefaultRuleTemplate);
    } catch (...) {
        // The rule keeps whatever the template filled in.
    }
}

void TWindowRule::Realize() {
    ReadParts();
    if (!body_) return;
    const std::unique_ptr<TRuleBody> body = std::move(body_);
    IBOMObjectOwner* self = static_cast<IBOMObjectOwner*>(this);
    for (size_t i = 0; i < 3; ++i) {
        Ref<IBOMObjectSlave> child = CreateChild(kRuleParts[i].type, kRuleParts[i].name);
        if (!child) continue;
        if (auto* fixed = dynamic_cast<TBOMObjectWithAll*>(child.get()))
            if (body->parts[i]) fixed->LoadFixed(TStoredStorage::Create(body->parts[i]).get());
        // Linked and shown as the rule's other children are: a rule
        // attached to the editor leaves its stored parts stored, and they
        // are attached here when they come back.
        if (linked_) child->SetOwner(self);
        if (ui_)
            if (Ref<IUIElement> element = child->QueryRole("UIElement").As<IUIElement>()) element->Attach(ui_.get());
    }
    conditions_ = Ref<TBOMCollection>(dynamic_cast<TBOMCollection*>(TBOMObjectWithAll::GetChild("conditions").get()));
    if (languagePending_) {
        // What the parts took from the language (their captions) is not
        // stored: they are told again.
        languagePending_ = false;
        for (const RulePart& part : kRuleParts)
            if (Ref<IBOMObject> child = TBOMObjectWithAll::GetChild(part.name)) child->Broadcast(1, 0, 0);
    }
}

bool TWindowRule::MakeBody(TRuleBody& body) {
    Ref<IPersistObject> parts[3];
    // Only a rule whose "all" children are those it made, in their order,
    // is stored: building it back appends them after its parameters.
    const std::vector<Ref<IBOMObject>> all = AllChildren();
    if (all.size() != 4 || all[0]->GetName() != "params") return false;
    for (size_t i = 0; i < 3; ++i) {
        if (all[i + 1]->GetName() != kRuleParts[i].name) return false;
        parts[i] = all[i + 1].As<IPersistObject>();
        if (!parts[i]) return false;
    }
    TCompiledConditions matcher;
    if (!CompileConditions(all[1].get(), matcher)) return false;
    body.matcher = std::move(matcher);
    body.bodyText = TStoredNode::Make(std::string(), {}, BodyText(), {});
    for (size_t i = 0; i < 3; ++i) body.parts[i] = StoreObject(parts[i].get(), parts[i]->GetElementName());
    return true;
}

void TWindowRule::Store() {
    if (body_) return;
    auto body = std::make_unique<TRuleBody>();
    if (!MakeBody(*body)) return;
    for (const RulePart& part : kRuleParts) {
        Ref<IBOMObject> child = TBOMObjectWithAll::GetChild(part.name);
        all_->DeleteItem(Variant(part.name));
        if (Ref<IBOMObjectSlave> slave = child.As<IBOMObjectSlave>()) slave->Disconnect();
    }
    conditions_ = nullptr;
    body_ = std::move(body);
}

Ref<IBOMObject> TWindowRule::GetChild(const std::string& name) {
    // Its own parameters are objects anyway; any other name may be a part
    // (names of children are looked up without regard to case) or "all".
    if (body_ && !SameTextAZ(name, "params")) Realize();
    return TEnabledItem::GetChild(name);
}

TStoredRef TWindowRule::PartToSave(size_t i) {
    const TStoredRef& part = body_->parts[i];
    if (!part || !languagePending_) return part;
    if (t_translations) {
        auto found = t_translations->find(part.get());
        if (found != t_translations->end()) return found->second.second;
    }
    // The part as objects of its own, told the language, written again.
    TStoredRef translated = part;
    Ref<IBOMObjectSlave> child = CreateBOMObject(kRuleParts[i].type, kRuleParts[i].name);
    auto* fixed = dynamic_cast<TBOMObjectWithAll*>(child.get());
    Ref<IPersistObject> persist = child.As<IPersistObject>();
    if (fixed && persist) {
        fixed->LoadFixed(TStoredStorage::Create(part).get());
        child->Broadcast(1, 0, 0);
        translated = StoreObject(persist.get(), persist->GetElementName());
    }
    if (child) child->Disconnect();
    if (t_translations) (*t_translations)[part.get()] = {part, translated};
    return translated;
}

void TWindowRule::SaveTo(IHierStorage* storage) {
    ReadParts();
    TEnabledItem::SaveTo(storage);
}

bool TWindowRule::ReadsMore(const std::string& element, int occurrence) {
    if (body_ && occurrence == 0)
        for (const RulePart& part : kRuleParts)
            if (element == part.name) return true;
    return TEnabledItem::ReadsMore(element, occurrence);
}

void TWindowRule::SaveMore(IHierStorage* storage, TKeptWriter& kept) {
    TEnabledItem::SaveMore(storage, kept);
    if (!body_) return;
    // Stored parts are written from their stored form: saving builds no
    // rule as objects. They follow the name and parameters (the parts are
    // not among the children while stored), in their order; what a part
    // kept of its element is in its stored form.
    for (size_t i = 0; i < 3; ++i) {
        TStoredRef part = PartToSave(i);
        if (!part) continue;
        const std::string name = part->Name();
        if (auto* builder = dynamic_cast<TStoredBuilder*>(storage))
            builder->AddStored(std::move(part));  // taken as it is
        else if (Ref<IHierStorage> element = storage->AddChild(part->Name()))
            WriteStored(element.get(), *part.get());
        kept.After(name);
    }
}

void TWindowRule::Broadcast(int code, int param1, int param2) {
    // Every broadcast reaches the parts as objects. The language (code 1)
    // changes what the command text says (the close question, for one), so
    // a stored rule is built back to hear it and then stored again with the
    // text of the new language; any other code leaves the parts as objects.
    if (code == 1 && pending_) {
        // Parts not read yet are read in the language of that moment, and
        // are told it when they become objects or are saved: only the
        // rule's own children hear it now.
        TEnabledItem::Broadcast(code, param1, param2);
        languagePending_ = true;
        pending_->cache->texts.clear();  // command texts of the earlier language
        return;
    }
    const bool stored = body_ != nullptr;
    Realize();
    TEnabledItem::Broadcast(code, param1, param2);
    if (code == 1 && stored && !ui_) {
        Store();
        languagePending_ = body_ != nullptr;
    }
}

void TWindowRule::SetOwner(IBOMObjectOwner* owner) {
    TEnabledItem::SetOwner(owner);
    linked_ = true;
}

void TWindowRule::Disconnect() {
    pending_.reset();  // lets the document go
    TEnabledItem::Disconnect();
    linked_ = false;
}

void TWindowRule::LoadContent(IHierStorage* node, bool readName) {
    // A rule read again is read over what it holds.
    ReadParts();
    // Notes name the rule by the name it is read under.
    const std::string name = readName && TUnkeptScope::Noting() ? node->ReadAttribute("name", name_) : name_;
    const TUnkeptScope::TPlace place(kRulePlaceKey, kRulePlace, &name);
    // A stored rule no view shows reads its parts into their stored form
    // (now, or when first asked for in a scope that reads later); any other
    // is loaded as objects.
    if (body_ && !ui_) {
        TRuleLoadScope scope;
        if ((*t_loadCache)->readLater) {
            TEnabledItem::LoadContent(node, readName);
            pending_.reset(new TPendingParts{Ref<IHierStorage>(node), *t_loadCache});
            return;
        }
        if (LoadStored(node)) {
            TEnabledItem::LoadContent(node, readName);
            return;
        }
    }
    const bool stored = body_ != nullptr;
    Realize();
    TEnabledItem::LoadContent(node, readName);
    if (stored && !ui_) Store();
}

void TWindowRule::ReadParts() {
    if (!pending_) return;  // a rule with parts to read has them stored
    std::unique_ptr<TPendingParts> pending = std::move(pending_);
    // What the parts hold that a save cannot keep is noted with the root.
    auto* root = dynamic_cast<TTarvelWindows*>(GetRoot().get());
    const TUnkeptScope notes(root ? root->UnkeptList() : nullptr);
    const TUnkeptScope::TPlace place(kRulePlaceKey, kRulePlace, &name_);
    try {
        TRuleLoadScope scope(pending->cache);
        if (LoadStored(pending->node.get())) return;
        // Matching needs them as objects: each part is read as an object of
        // its own (nothing reaches the rule's owners while it is read),
        // stored, and built back as the rule's child. The name and
        // parameters were read with the rule.
        for (size_t i = 0; i < 3; ++i) {
            const TStoredRef& now = body_->parts[i];
            Ref<IHierStorage> element = now ? pending->node->GetChild(now->Name(), 0) : nullptr;
            if (!element) continue;  // the part stays as it is
            if (TStoredRef read = ReadPart(i, now, element.get())) body_->parts[i] = std::move(read);
        }
        Realize();
    } catch (...) {
        // Read again next time: a rule never answers or saves with parts
        // it did not read.
        if (body_) pending_ = std::move(pending);
        throw;
    }
}

bool TWindowRule::LoadStored(IHierStorage* node) {
    // Each part is read over what it holds now, as objects of its own, and
    // stored again; equal parts read from equal markup are read once per
    // file (TWindowRules loads its rules in one scope).
    TRuleLoadScope scope;
    TRuleLoadCache& cache = **t_loadCache;
    const TRuleLoadCache::Part* read[3] = {};
    TRuleLoadCache::Part conditions;
    for (size_t i = 0; i < 3; ++i) {
        const TStoredRef& now = body_->parts[i];
        if (!now) return false;
        Ref<IHierStorage> element = node->GetChild(now->Name(), 0);
        if (!element) continue;  // the part stays as it is
        auto readPart = [&](TRuleLoadCache::Part& part) {
            const TUnkeptScope::TCapture notes(&part.notes);
            part.from = now;
            part.part = ReadPart(i, now, element.get(), i == 0 ? &part.matcher : nullptr, &part.compiled);
            return bool(part.part);
        };
        if (i == 0) {
            // The conditions name the windows of their rule and differ from
            // rule to rule: they are read without looking for equal ones.
            if (!readPart(conditions)) return false;
            read[0] = &conditions;
            continue;
        }
        const std::wstring markup = MarkupOf(element.get());
        if (markup.empty()) return false;
        const auto key = std::make_tuple(i, now.get(), markup);
        auto found = cache.parts.find(key);
        if (found == cache.parts.end()) {
            TRuleLoadCache::Part part;
            if (!readPart(part)) return false;
            found = cache.parts.emplace(key, std::move(part)).first;
        } else {
            // Read for another rule: what it cannot keep is this rule's too.
            for (const std::string& note : found->second.notes) TUnkeptScope::Note(note);
        }
        read[i] = &found->second;
    }
    if (read[0] && !read[0]->compiled) return false;  // matching needs the objects
    for (size_t i = 0; i < 3; ++i)
        if (read[i]) body_->parts[i] = read[i]->part;
    if (read[0]) body_->matcher = read[0]->matcher;
    if (read[1] || read[2]) {
        const auto key = std::make_pair(body_->parts[1].get(), body_->parts[2].get());
        auto found = cache.texts.find(key);
        if (found == cache.texts.end()) {
            Ref<IBOMObjectSlave> actions = PartObject(1, body_->parts[1]), triggers = PartObject(2, body_->parts[2]);
            TStoredRef text = TStoredNode::Make(std::string(), {}, PartsText(actions.get(), triggers.get()), {});
            if (actions) actions->Disconnect();
            if (triggers) triggers->Disconnect();
            found = cache.texts.emplace(key, std::make_pair(std::make_pair(body_->parts[1], body_->parts[2]), text))
                        .first;
        }
        body_->bodyText = found->second.second;
    }
    return true;
}

Ref<IUnknown> TWindowRule::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TEnabledItem::QueryRole(role)) return r;
    if (role == "WindowRule") return Ref<IUnknown>(static_cast<IWindowRule*>(this));
    return nullptr;
}

bool TWindowRule::SupportsRole(const std::string& role) {
    return TEnabledItem::SupportsRole(role) || role == "WindowRule";
}

bool TWindowRule::MatchFacts(TWindowFacts& facts) {
    ReadParts();
    if (body_) return body_->matcher.Match(facts);
    if (!conditions_) return false;
    const int count = conditions_->Count();
    for (int i = 0; i < count; ++i) {
        auto* condition = dynamic_cast<TCondition*>(conditions_->GetItem(Variant(i)).get());
        // Only the first enabled condition that matches is needed.
        if (condition && condition->IsEnabled() && condition->MatchFacts(facts)) return true;
    }
    return false;
}

std::string TWindowRule::CommandText() {
    ReadParts();
    return CommandPair("WINDOWRULENAME", name_) + (body_ ? body_->bodyText->Text() : BodyText());
}

std::string TWindowRule::BodyText() { return PartsText(GetObject("actions").get(), GetObject("triggers").get()); }

void TWindowRule::FillChildNodes(ITreeNode* node) {
    for (const char* child : {"conditions", "actions", "triggers"}) {
        Ref<IBOMObject> object = GetObject(child);
        if (!object) continue;
        if (Ref<IUIElement> element = object->QueryRole("UIElement").As<IUIElement>())
            AddElementNode(node, element.get());
    }
}

void TWindowRules::Initialize() {
    TBOM_UI_Collection::Initialize();
    typeName_ = "WINDOWRULES";
    elementName_ = "window_rules";
    itemElementName_ = "window_rule";
    defaultItemType_ = "WINDOWRULE";
}

namespace {
bool BlanksOnly(const std::string& name) { return name.find_first_not_of(" \t") == std::string::npos; }
}  // namespace

void TWindowRules::LoadContent(IHierStorage* node, bool readName) {
    TRuleLoadScope scope;
    TBOM_UI_Collection::LoadContent(node, readName);
}

void TWindowRules::RenameChild(IBOMObjectSlave* child, const std::string& newName) {
    if (HasCommandCharacters(newName) || BlanksOnly(newName)) return;
    TBOM_UI_Collection::RenameChild(child, newName);
}

TRuleNameFault CheckRuleName(IBOMObject* rule, const std::string& name) {
    if (BlanksOnly(name)) return TRuleNameFault::Empty;
    if (HasCommandCharacters(name)) return TRuleNameFault::Characters;
    if (!rule) return TRuleNameFault::None;
    if (Ref<IBOMCollection> rules = rule->GetObject("..").As<IBOMCollection>()) {
        Ref<IBOMObject> holder = rules->GetItem(Variant(name));
        if (holder && holder.get() != rule) return TRuleNameFault::Taken;
    }
    return TRuleNameFault::None;
}

void RegisterModelClasses() {
    RegisterBOMClasses();
    TUnkeptScope::SetTextLookup(&GetMLString);
    RegisterCommandClasses();
    RegisterAbstractClass<TWindowRule>("WINDOWRULE");
    RegisterAbstractClass<TWindowRules>("WINDOWRULES");
    RegisterAbstractClass<TCloseWindowAction>("CLOSEWINDOWACTION");
    RegisterAbstractClass<TRunModeAction>("RUNMODEACTION");
    RegisterAbstractClass<TSaveSizePosAction>("SAVESIZEPOSACTION");
    RegisterAbstractClass<TStayOnTopAction>("STAYONTOPACTION");
    RegisterAbstractClass<TCloseQueryAction>("CLOSEQUERYACTION");
    RegisterAbstractClass<TMessageAgent>("MESSAGEAGENT");
    RegisterAbstractClass<TWMCreateMessageTrigger>("WMCREATEMESSAGETRIGGER");
    RegisterAbstractClass<TWMDestroyMessageTrigger>("WMDESTROYMESSAGETRIGGER");
    RegisterAbstractClass<TCondition>("CONDITION");
    RegisterAbstractClass<TConditions>("CONDITIONS");
    RegisterAbstractClass<TCriterions>("CRITERIONS");
    RegisterAbstractClass<TWindowClassNameCriterion>("WINDOWCLASSNAMECRITERION");
    RegisterAbstractClass<TWindowCaptionCriterion>("WINDOWCaptionCriterion");
    RegisterAbstractClass<TActions>("Actions");
    RegisterAbstractClass<TAgents>("Agents");
    RegisterAbstractClass<TTriggers>("Triggers");
    RegisterAbstractClass<TTarvelWindows>("TARVILWINDOWS");
}

// clang-format off
const char* const kDefaultRuleTemplate =
    "<window_rule>"
    " <params> <param name=\"enabled\">yes</param> </params>"
    " <conditions> <content>"
    "  <condition name=\"DefaultCondition\"> <params> <param name=\"enabled\">yes</param> </params> </condition>"
    " </content> </conditions>"
    " <actions> <content>"
    "  <action name=\"CloseWindow\" type=\"CLOSEWINDOWACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"RunMode\" type=\"RUNMODEACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"SaveSizePos\" type=\"SAVESIZEPOSACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"StayOnTop\" type=\"STAYONTOPACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    "  <action name=\"CloseQuery\" type=\"CLOSEQUERYACTION\"> <params> <param name=\"enabled\">no</param> </params> </action>"
    " </content> </actions>"
    " <triggers> <content>"
    "  <trigger name=\"WMCreateMessageTrigger\" type=\"WMCREATEMESSAGETRIGGER\">"
    "   <params> <param name=\"enabled\">yes</param> </params>"
    "   <agents> <content>"
    "    <agent name=\"CloseWindowAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">CloseWindow</param> <param name=\"action_kind\">next</param> </params> </agent>"
    "    <agent name=\"RunModeAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">RunMode</param> <param name=\"action_kind\">next</param> </params> </agent>"
    "    <agent name=\"RestoreSizePosAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">SaveSizePos</param> <param name=\"action_kind\">concrete</param>"
    " <param name=\"operation_name\">RESTORESIZEPOS</param> </params> </agent>"
    "    <agent name=\"StayOnTopAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">StayOnTop</param> <param name=\"action_kind\">concrete</param>"
    " <param name=\"operation_name\">STAYONTOPON</param> </params> </agent>"
    "   </content> </agents>"
    "  </trigger>"
    "  <trigger name=\"WMDestroyMessageTrigger\" type=\"WMDESTROYMESSAGETRIGGER\">"
    "   <params> <param name=\"enabled\">yes</param> </params>"
    "   <agents> <content>"
    "    <agent name=\"SaveSizePosAgent\" type=\"MESSAGEAGENT\"> <params> <param name=\"enabled\">yes</param>"
    " <param name=\"action_name\">SaveSizePos</param> <param name=\"action_kind\">concrete</param>"
    " <param name=\"operation_name\">SAVESIZEPOS</param> </params> </agent>"
    "   </content> </agents>"
    "  </trigger>"
    " </content> </triggers>"
    "</window_rule>";
// clang-format on

}  // namespace omb
