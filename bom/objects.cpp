#include "bom/objects.h"

#include <algorithm>
#include <unordered_set>

#include "foundation/errors.h"
#include "foundation/strings.h"

namespace omb {

namespace {

// Texts are UTF-8 (u8 literals: the bytes do not depend on the compiler's
// execution character set).
const char kCreateParamFailure[] =
    u8"TBOMObject.CreateParam. Ошибка при получении "
    "Params"
    " - {C0278020-676B-4FC2-9A4C-FBB34EB0B5D6}";
const char kNameParamMissing[] =
    "TBOMObject.UpdateNameParam: Can\"t find param \"Name\" {50360B40-C9FD-489D-84B8-053539072DA8}";
const char kWrongChildName[] =
    u8"AfterChangeObjectName - неверное имя ребенка."
    " {9FC4CBFB-E5CD-4B8E-A935-8F2E08202540}";

// Bounds the nesting of objects read from a document on this thread.
thread_local int t_loadDepth = 0;
class LoadDepth {
public:
    LoadDepth() { ++t_loadDepth; }
    ~LoadDepth() { --t_loadDepth; }
    bool TooDeep() const { return t_loadDepth > kMaxLoadDepth; }
};

std::string Down(const std::string& path) {
    return ExcludeTrailingSlash("../" + path);
}
std::string Up(const std::string& name, const std::string& path) {
    return ExcludeTrailingSlash(name + "/" + path);
}

IBOMObject* AsObject(IUnknown* unknown) {
    // Items are stored as the IUnknown of their IBOMObject.
    return static_cast<IBOMObject*>(unknown);
}

// The child nodes of the node that `reads` does not take, each placed after
// the read element before it (`anchor` gives that element's "name"). The
// common case, where every node is read, costs one walk of the children.
template <typename Reads, typename Anchor>
std::vector<TKeptNode> Unread(IHierStorage* node, Reads reads, Anchor anchor) {
    const std::vector<THierNode> children = node->ChildNodes();
    std::vector<int> occurrences(children.size(), -1);  // -1: not read
    std::vector<std::pair<const std::string*, int>> counts;
    bool any = false;
    for (size_t i = 0; i < children.size(); ++i) {
        const std::string& name = children[i].name;
        if (name.empty()) {
            any = true;
            continue;
        }
        int occurrence = 0;
        auto count = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return *c.first == name; });
        if (count == counts.end())
            counts.emplace_back(&name, 1);
        else
            occurrence = count->second++;
        if (reads(name, occurrence))
            occurrences[i] = occurrence;
        else
            any = true;
    }
    std::vector<TKeptNode> kept;
    if (!any) return kept;
    TKeptNode place;
    place.atStart = true;
    counts.clear();
    for (size_t i = 0; i < children.size(); ++i) {
        const std::string& name = children[i].name;
        if (!name.empty() && occurrences[i] >= 0) {
            place.element = name;
            place.name = anchor(name, occurrences[i]);
            place.atStart = false;
            continue;
        }
        TKeptNode unread = place;
        if (name.empty()) {
            unread.markup = children[i].markup;
        } else {
            // Which one of its name it is.
            int occurrence = 0;
            for (size_t j = 0; j < i; ++j)
                if (children[j].name == name) ++occurrence;
            if (Ref<IHierStorage> element = node->GetChild(name, occurrence)) unread.markup = element->Markup();
        }
        if (!unread.markup.empty()) kept.push_back(std::move(unread));
    }
    return kept;
}

// The markup shortened for a sentence.
std::string Quoted(const std::string& markup) {
    const size_t kMost = 80;
    return markup.size() <= kMost ? markup : markup.substr(0, kMost) + "...";
}

std::atomic<bool> g_keepUnread{true};

thread_local std::vector<std::string>* t_unkept = nullptr;
thread_local std::vector<std::string>* t_capture = nullptr;
TUnkeptScope::TTextLookup t_lookup = nullptr;  // set once at start-up

// The text of the language for that key, `fallback` without one.
std::string Text(const std::string& key, const std::string& fallback) {
    return t_lookup ? t_lookup(key, fallback) : fallback;
}
thread_local const char* t_placeKind = nullptr;
thread_local const char* t_placeText = nullptr;
thread_local const std::string* t_placeName = nullptr;

}  // namespace

void SetKeepUnread(bool keep) { g_keepUnread.store(keep, std::memory_order_relaxed); }
bool KeepsUnread() { return g_keepUnread.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------------------
// TKeptWriter, TUnkeptScope

TKeptWriter::TKeptWriter(const std::vector<TKeptNode>* nodes, IHierStorage* storage)
    : nodes_(nodes && !nodes->empty() ? nodes : nullptr), storage_(storage) {
    if (!nodes_) return;
    written_.assign(nodes_->size(), false);
    for (size_t i = 0; i < nodes_->size(); ++i)
        if ((*nodes_)[i].atStart) Write(i);
}

void TKeptWriter::Write(size_t i) {
    written_[i] = true;
    storage_->AddMarkup((*nodes_)[i].markup);
}

void TKeptWriter::After(const std::string& element) { WriteAfter(element, nullptr); }

void TKeptWriter::AfterNamed(const std::string& element, const std::string& name) { WriteAfter(element, &name); }

void TKeptWriter::WriteAfter(const std::string& element, const std::string* name) {
    if (!nodes_) return;
    for (size_t i = 0; i < nodes_->size(); ++i) {
        const TKeptNode& node = (*nodes_)[i];
        if (!written_[i] && !node.atStart && node.element == element && (!name || node.name == *name)) Write(i);
    }
}

void TKeptWriter::Rest() {
    if (!nodes_) return;
    for (size_t i = 0; i < nodes_->size(); ++i)
        if (!written_[i]) Write(i);
}

TUnkeptScope::TUnkeptScope(std::vector<std::string>* list) : previous_(t_unkept), set_(list != nullptr) {
    if (set_) t_unkept = list;
}

TUnkeptScope::~TUnkeptScope() {
    if (set_) t_unkept = previous_;
}

bool TUnkeptScope::Noting() { return t_unkept != nullptr; }

TUnkeptScope::TCapture::TCapture(std::vector<std::string>* into) : previous_(t_capture) { t_capture = into; }

TUnkeptScope::TCapture::~TCapture() { t_capture = previous_; }

void TUnkeptScope::SetTextLookup(TTextLookup lookup) { t_lookup = lookup; }

void TUnkeptScope::Note(const std::string& what) {
    if (!t_unkept) return;
    if (t_capture) t_capture->push_back(what);
    std::string text = what;
    if (t_placeKind && t_placeName)
        text += " (" + ReplaceTextAnsi(Text(t_placeKind, t_placeText), "%name%", *t_placeName) + ")";
    if (std::find(t_unkept->begin(), t_unkept->end(), text) == t_unkept->end()) t_unkept->push_back(text);
}

TUnkeptScope::TPlace::TPlace(const char* key, const char* text, const std::string* name)
    : key_(t_placeKind), text_(t_placeText), name_(t_placeName) {
    t_placeKind = key;
    t_placeText = text;
    t_placeName = name;
}

TUnkeptScope::TPlace::~TPlace() {
    t_placeKind = key_;
    t_placeText = text_;
    t_placeName = name_;
}

// ---------------------------------------------------------------------------
// TBOMAbstractObject

HRESULT TBOMAbstractObject::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMObject>(this, iid, object) || Offer<IBOMObjectSlave>(this, iid, object)) return S_OK;
    return TAbstractObject::QueryImpl(iid, object);
}

Ref<IBOMObject> TBOMAbstractObject::GetObject(const std::string& path) {
    if (path.empty()) return AsBOMObject();
    auto [head, tail] = SplitBOMPath(path);
    Ref<IBOMObject> next;
    if (head == ".") {
        return GetObject(tail);
    } else if (head == "..") {
        if (!owner_) return nullptr;
        return owner_->GetObject(tail);
    } else if (head == "/") {
        next = GetRoot();
    } else if (head.back() == ':') {
        next = FindByRole(head.substr(0, head.size() - 1));
    } else {
        next = GetChild(head);
    }
    return next ? next->GetObject(tail) : nullptr;
}

std::string TBOMAbstractObject::GetFullPath() {
    return owner_ ? owner_->GetFullPath() + "/" + name_ : name_;
}

Ref<IUnknown> TBOMAbstractObject::QueryRole(const std::string&) {
    return nullptr;
}
bool TBOMAbstractObject::SupportsRole(const std::string&) {
    return false;
}
void TBOMAbstractObject::ObjectChanged(const std::string&, IBOMObject*, const std::string&, IBOMObject*) {}
void TBOMAbstractObject::AfterChangeObjectName(const std::string&, IBOMObject*, const std::string&,
                                               IBOMObject*, const std::string&) {}
void TBOMAbstractObject::Broadcast(int, int, int) {}
void TBOMAbstractObject::SetOwner(IBOMObjectOwner* owner) {
    owner_ = owner;
}
void TBOMAbstractObject::Disconnect() {
    owner_ = nullptr;
}

Ref<IBOMObject> TBOMAbstractObject::GetRoot() {
    if (IsRoot()) return AsBOMObject();
    return owner_ ? owner_->GetObject("/") : nullptr;
}

Ref<IBOMObject> TBOMAbstractObject::FindByRole(const std::string& role) {
    if (SupportsRole(role)) return AsBOMObject();
    return owner_ ? owner_->GetObject(role + ":") : nullptr;
}

Ref<IBOMObject> TBOMAbstractObject::GetChild(const std::string&) {
    return nullptr;
}

// ---------------------------------------------------------------------------
// TBOMObjectWithAll

HRESULT TBOMObjectWithAll::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMObjectOwner>(this, iid, object) || Offer<IPersistObject>(this, iid, object)) return S_OK;
    return TBOMAbstractObject::QueryImpl(iid, object);
}

void TBOMObjectWithAll::Initialize() {
    TBOMAbstractObject::Initialize();
    all_ = CreateObject<TBOMAllCollection>();
}

std::vector<Ref<IBOMObject>> TBOMObjectWithAll::AllChildren() const {
    return all_->Snapshot();
}

Ref<IBOMObject> TBOMObjectWithAll::GetChild(const std::string& name) {
    if (name == "all") return Ref<IBOMObject>(all_->AsBOMObject());
    return all_->GetItem(Variant(name));
}

void TBOMObjectWithAll::ObjectChanged(const std::string& objectPath, IBOMObject* obj,
                                      const std::string& senderPath, IBOMObject* sender) {
    if (StartsWith("..", senderPath))
        ChangedFromParent(objectPath, obj, senderPath, sender);
    else
        ChangedFromChild(objectPath, obj, senderPath, sender);
}

void TBOMObjectWithAll::AfterChangeObjectName(const std::string& newPath, IBOMObject* obj,
                                              const std::string& senderPath, IBOMObject* sender,
                                              const std::string& oldPath) {
    if (StartsWith("..", senderPath)) {
        RenamedFromParent(newPath, obj, senderPath, sender, oldPath);
    } else if (GetChild(senderPath)) {
        RenamedFromChild(newPath, obj, senderPath, sender, oldPath);
    } else {
        throw EAssertionFailed(kWrongChildName);
    }
}

void TBOMObjectWithAll::ChangedFromChild(const std::string& objectPath, IBOMObject* obj,
                                         const std::string& senderPath, IBOMObject*) {
    const std::string down = Down(objectPath);
    for (const Ref<IBOMObject>& child : AllChildren())
        if (child->GetName() != senderPath) child->ObjectChanged(down, obj, "..", AsBOMObject());
    if (owner_) owner_->ObjectChanged(Up(name_, objectPath), obj, name_, AsBOMObject());
}

void TBOMObjectWithAll::ChangedFromParent(const std::string& objectPath, IBOMObject* obj, const std::string&,
                                          IBOMObject*) {
    const std::string down = Down(objectPath);
    for (const Ref<IBOMObject>& child : AllChildren()) child->ObjectChanged(down, obj, "..", AsBOMObject());
}

void TBOMObjectWithAll::RenamedFromChild(const std::string& newPath, IBOMObject* obj,
                                         const std::string& senderPath, IBOMObject*,
                                         const std::string& oldPath) {
    const std::string downNew = Down(newPath), downOld = Down(oldPath);
    for (const Ref<IBOMObject>& child : AllChildren())
        if (child->GetName() != senderPath)
            child->AfterChangeObjectName(downNew, obj, "..", AsBOMObject(), downOld);
    if (owner_)
        owner_->AfterChangeObjectName(Up(name_, newPath), obj, name_, AsBOMObject(), Up(name_, oldPath));
}

void TBOMObjectWithAll::RenamedFromParent(const std::string& newPath, IBOMObject* obj, const std::string&,
                                          IBOMObject*, const std::string& oldPath) {
    const std::string downNew = Down(newPath), downOld = Down(oldPath);
    for (const Ref<IBOMObject>& child : AllChildren())
        child->AfterChangeObjectName(downNew, obj, "..", AsBOMObject(), downOld);
}

void TBOMObjectWithAll::Broadcast(int code, int param1, int param2) {
    TBOMAbstractObject::Broadcast(code, param1, param2);
    for (const Ref<IBOMObject>& child : AllChildren()) child->Broadcast(code, param1, param2);
}

void TBOMObjectWithAll::SetOwner(IBOMObjectOwner* owner) {
    TBOMAbstractObject::SetOwner(owner);
    IBOMObjectOwner* self = static_cast<IBOMObjectOwner*>(this);
    all_->SetOwner(self);
    for (const Ref<IBOMObject>& child : AllChildren())
        if (auto slave = child.As<IBOMObjectSlave>()) slave->SetOwner(self);
}

void TBOMObjectWithAll::Disconnect() {
    for (const Ref<IBOMObject>& child : AllChildren())
        if (auto slave = child.As<IBOMObjectSlave>()) slave->Disconnect();
    all_->Disconnect();
    TBOMAbstractObject::Disconnect();
}

void TBOMObjectWithAll::RenameChild(IBOMObjectSlave*, const std::string&) {}

bool TBOMObjectWithAll::ShouldSave(IBOMObject*) {
    return true;
}

Ref<IBOMObjectSlave> TBOMObjectWithAll::CreateChild(const std::string& typeText, const std::string& name) {
    Ref<IBOMObjectSlave> child = CreateBOMObject(typeText, name);
    if (child) all_->AddItem(child.get());
    return child;
}

void TBOMObjectWithAll::SaveTo(IHierStorage* storage) {
    storage->WriteAttribute("name", name_);
    if (kept_)
        for (const auto& a : kept_->attributes) storage->WriteAttribute(a.first, a.second);
    TKeptWriter kept(kept_ ? &kept_->nodes : nullptr, storage);
    for (const Ref<IBOMObject>& child : AllChildren()) {
        Ref<IPersistObject> persist = child.As<IPersistObject>();
        if (!persist) continue;
        const std::string element = persist->GetElementName();
        if (element.empty() || !ShouldSave(child.get())) continue;
        if (Ref<IHierStorage> node = storage->AddChild(element)) persist->SaveTo(node.get());
        kept.After(element);
    }
    SaveMore(storage, kept);
    kept.Rest();
}

void TBOMObjectWithAll::LoadContent(IHierStorage* node, bool readName) {
    LoadDepth depth;
    if (depth.TooDeep()) return;
    if (readName) name_ = node->ReadAttribute("name", name_);
    for (const Ref<IBOMObject>& child : AllChildren()) {
        Ref<IPersistObject> persist = child.As<IPersistObject>();
        if (!persist) continue;
        const std::string element = persist->GetElementName();
        if (element.empty()) continue;
        Ref<IHierStorage> childNode = node->GetChild(element, 0);
        if (!childNode) continue;
        if (auto* fixed = dynamic_cast<TBOMObjectWithAll*>(child.get()))
            fixed->LoadContent(childNode.get(), false);
        else
            persist->LoadFrom(childNode.get());
    }
    KeepUnread(node, readName);
}

void TBOMObjectWithAll::KeepUnread(IHierStorage* node, bool readName) {
    if (!g_keepUnread.load(std::memory_order_relaxed)) return;
    std::vector<std::pair<std::string, std::string>> attributes = node->Attributes();
    attributes.erase(std::remove_if(attributes.begin(), attributes.end(),
                                    [&](const auto& a) { return a.first == "name" || (readName && a.first == "type"); }),
                     attributes.end());
    // The elements the saved children read, one of each name.
    std::vector<std::string> fixed;
    for (const Ref<IBOMObject>& child : AllChildren())
        if (Ref<IPersistObject> persist = child.As<IPersistObject>())
            if (ShouldSave(child.get())) fixed.push_back(persist->GetElementName());
    std::vector<TKeptNode> nodes = Unread(
        node,
        [&](const std::string& element, int occurrence) {
            return (occurrence == 0 && std::find(fixed.begin(), fixed.end(), element) != fixed.end()) ||
                   ReadsMore(element, occurrence);
        },
        [&](const std::string& element, int occurrence) {
            Ref<IHierStorage> read = node->GetChild(element, occurrence);
            return read ? read->ReadAttribute("name", std::string()) : std::string();
        });
    if (!kept_ && attributes.empty() && nodes.empty()) return;
    if (!kept_) kept_.reset(new TKeptContent());
    kept_->attributes = std::move(attributes);
    kept_->nodes = std::move(nodes);
    TrimKept();
}

// ---------------------------------------------------------------------------
// TBOMObject

void TBOMObject::Initialize() {
    TBOMObjectWithAll::Initialize();
    typeName_ = "BOMOBJECT";
    elementName_ = "object";
    all_->AddItem(CreateObject<TBOMParams>()->AsBOMObject());
    CreateParam("name", Variant(name_));
}

void TBOMObject::SetName(const std::string& name) {
    const std::string old = name_;
    name_ = name;
    RenamedFromChild(std::string(), AsBOMObject(), std::string(), AsBOMObject(), old);
    UpdateNameParam();
}

Ref<IBOMParam> TBOMObject::CreateParam(const std::string& name, const Variant& initialValue) {
    Ref<IBOMParam> param = CreateBOMParam(name);
    if (param) param->SetValue(initialValue);
    Ref<IBOMCollection> params = GetObject("params").As<IBOMCollection>();
    if (!params) throw EAssertionFailed(kCreateParamFailure);
    if (param) params->AddItem(param.get());
    return param;
}

Ref<IBOMParam> TBOMObject::GetParam(const std::string& name) {
    return GetObject("params/" + name).As<IBOMParam>();
}

std::string TBOMObject::ParamText(const std::string& name, const std::string& fallback) {
    Ref<IBOMParam> param = GetParam(name);
    return param ? param->GetValue().ToText() : fallback;
}

Ref<TBOMParam> TBOMObject::ParamObject(const std::string& name) {
    return Ref<TBOMParam>(dynamic_cast<TBOMParam*>(GetParam(name).get()));
}

void TBOMObject::UpdateNameParam() {
    Ref<IBOMParam> param = GetParam("name");
    if (!param) throw EAssertionFailed(kNameParamMissing);
    param->SetValue(Variant(name_));
}

void TBOMObject::LoadContent(IHierStorage* node, bool readName) {
    TBOMObjectWithAll::LoadContent(node, readName);
    UpdateNameParam();
}

// ---------------------------------------------------------------------------
// TBOMParam

HRESULT TBOMParam::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMParam>(this, iid, object) || Offer<IPersistObject>(this, iid, object)) return S_OK;
    return TBOMAbstractObject::QueryImpl(iid, object);
}

void TBOMParam::SetValue(const Variant& value) {
    value_ = value;
    if (owner_) owner_->ObjectChanged(name_, AsBOMObject(), name_, AsBOMObject());
}

void TBOMParam::SaveTo(IHierStorage* storage) {
    storage->WriteAttribute("name", name_);
    storage->SetText(value_.ToText());
}

void TBOMParam::LoadFrom(IHierStorage* storage) {
    name_ = storage->ReadAttribute("name", std::string());
    value_ = Variant(storage->GetText());
}

// ---------------------------------------------------------------------------
// TBOMInnerCollection

HRESULT TBOMInnerCollection::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMCollection>(this, iid, object)) return S_OK;
    return TBOMAbstractObject::QueryImpl(iid, object);
}

Ref<IBOMObject> TBOMInnerCollection::GetItem(const Variant& key) {
    return Ref<IBOMObject>(AsObject(list_.Get(key).get()));
}

void TBOMInnerCollection::AddItem(IBOMObject* item) {
    if (!item) return;
    Changed();
    list_.Add(item, false, item->GetName());
}

bool TBOMInnerCollection::Holds(IBOMObject* item) {
    if (!item) return false;
    const int at = list_.IndexOf(item->GetName());
    return at >= 0 && AsObject(list_.Get(Variant(at)).get()) == item;
}

void TBOMInnerCollection::RekeyItem(IBOMObject* item, const std::string& newName) {
    if (!item) return;
    const int at = list_.IndexOf(item->GetName());
    if (at < 0 || AsObject(list_.Get(Variant(at)).get()) != item) return;
    // The item keeps its place: where rules are tried in order, a rename
    // must not change which one answers. A name another item holds is
    // refused.
    if (list_.Rename(at, newName)) Changed();
}

std::vector<Ref<IBOMObject>> TBOMInnerCollection::Snapshot() const {
    std::vector<Ref<IBOMObject>> items;
    items.reserve(size_t(list_.Count()));
    for (int i = 0; i < list_.Count(); ++i) items.emplace_back(AsObject(list_.Get(Variant(i)).get()));
    return items;
}

// ---------------------------------------------------------------------------
// TBOMParams

HRESULT TBOMParams::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMCollection>(this, iid, object)) return S_OK;
    return TBOMObjectWithAll::QueryImpl(iid, object);
}

void TBOMParams::Initialize() {
    TBOMObjectWithAll::Initialize();
    TBOMAbstractObject::SetName("params");
    items_ = CreateObject<TBOMInnerCollection>();
}

Ref<IBOMObject> TBOMParams::GetChild(const std::string& name) {
    if (Ref<IBOMObject> child = TBOMObjectWithAll::GetChild(name)) return child;
    return items_->GetItem(Variant(name));
}

void TBOMParams::SetOwner(IBOMObjectOwner* owner) {
    TBOMObjectWithAll::SetOwner(owner);
    IBOMObjectOwner* self = static_cast<IBOMObjectOwner*>(this);
    items_->SetOwner(self);
    for (const Ref<IBOMObject>& param : items_->Snapshot())
        if (auto slave = param.As<IBOMObjectSlave>()) slave->SetOwner(self);
}

void TBOMParams::Disconnect() {
    for (const Ref<IBOMObject>& param : items_->Snapshot())
        if (auto slave = param.As<IBOMObjectSlave>()) slave->Disconnect();
    items_->Disconnect();
    TBOMObjectWithAll::Disconnect();
}

void TBOMParams::ChangedFromChild(const std::string& objectPath, IBOMObject* obj, const std::string&,
                                  IBOMObject*) {
    if (owner_) owner_->ObjectChanged(Up(name_, objectPath), obj, name_, AsBOMObject());
}

void TBOMParams::RenamedFromChild(const std::string& newPath, IBOMObject* obj, const std::string&,
                                  IBOMObject*, const std::string& oldPath) {
    if (owner_)
        owner_->AfterChangeObjectName(Up(name_, newPath), obj, name_, AsBOMObject(), Up(name_, oldPath));
}

void TBOMParams::AddItem(IBOMObject* item) {
    if (!item) return;
    items_->AddItem(item);
    if (!items_->Holds(item)) return;  // refused: never linked to this tree
    if (owner_)
        if (Ref<IBOMObjectSlave> slave = QueryAs<IBOMObjectSlave>(item))
            slave->SetOwner(static_cast<IBOMObjectOwner*>(this));
}

bool TBOMParams::ReadsMore(const std::string& element, int occurrence) {
    return element == "param" || TBOMObjectWithAll::ReadsMore(element, occurrence);
}

void TBOMParams::SaveMore(IHierStorage* storage, TKeptWriter& kept) {
    TBOMObjectWithAll::SaveMore(storage, kept);
    for (const Ref<IBOMObject>& param : items_->Snapshot()) {
        Ref<IPersistObject> persist = param.As<IPersistObject>();
        if (!persist) continue;
        Ref<IHierStorage> node = storage->AddChild("param");
        if (!node) continue;
        persist->SaveTo(node.get());
        Ref<IBOMObjectSlave> slave = param.As<IBOMObjectSlave>();
        const std::string type = slave ? slave->GetTypeName() : std::string();
        if (type != "BOMPARAM") node->WriteAttribute("type", type);
        kept.AfterNamed("param", param->GetName());
    }
}

namespace {
// A parameter's value is its element's text: anything else in the element
// is not written again. Said while a load notes what it cannot keep.
void NoteParamContent(IHierStorage* element, const std::string& name) {
    auto note = [&](const std::string& what) {
        const std::string text = Text("BOM_UnkeptInParam", "%what% inside the parameter \"%name%\"");
        TUnkeptScope::Note(ReplaceTextAnsi(ReplaceTextAnsi(text, "%what%", what), "%name%", name));
    };
    for (const auto& a : element->Attributes())
        if (a.first != "name" && a.first != "type") note(a.first + "=\"" + Quoted(a.second) + "\"");
    for (const THierNode& child : element->ChildNodes()) {
        if (!child.name.empty())
            note("<" + child.name + ">");
        else if (child.markup[0] == '<' && child.markup.compare(0, 9, "<![CDATA[") != 0)
            note(Quoted(child.markup));
    }
}

// A second element of one name, read over the first: the first's values are
// not written again.
void NoteSecond(const std::string& element, const std::string& name) {
    const std::string text = Text("BOM_UnkeptSecond", "a second <%element%> named \"%name%\", read over the first");
    TUnkeptScope::Note(ReplaceTextAnsi(ReplaceTextAnsi(text, "%element%", element), "%name%", name));
}
}  // namespace

void TBOMParams::LoadContent(IHierStorage* node, bool readName) {
    TBOMObjectWithAll::LoadContent(node, readName);
    const int count = node->ChildCount("param");
    std::unordered_set<IBOMObject*> loaded;  // while a load notes what it cannot keep
    for (int i = 0; i < count; ++i) {
        Ref<IHierStorage> element = node->GetChild("param", i);
        if (!element) continue;
        const std::string name = element->ReadAttribute("name", std::string());
        Ref<IBOMObject> param = items_->GetItem(Variant(name));
        if (param && loaded.count(param.get()) > 0) NoteSecond("param", name);  // read over the first
        bool created = false;
        if (!param) {
            const std::string type = element->ReadAttribute("type", "BOMPARAM");
            param = CreateBOMObject(type, std::string()).As<IBOMObject>();
            if (!param || !param.As<IBOMParam>()) {  // only parameters go into a parameter set
                const std::string text =
                    Text("BOM_UnkeptParamType", "the parameter \"%name%\" of the unknown type \"%type%\"");
                TUnkeptScope::Note(ReplaceTextAnsi(ReplaceTextAnsi(text, "%name%", name), "%type%", type));
                continue;
            }
            created = true;
        }
        if (TUnkeptScope::Noting()) NoteParamContent(element.get(), name);
        if (Ref<IPersistObject> persist = param.As<IPersistObject>()) persist->LoadFrom(element.get());
        if (created) AddItem(param.get());
        if (TUnkeptScope::Noting()) loaded.insert(param.get());
    }
}

// ---------------------------------------------------------------------------
// TBOMCollection

HRESULT TBOMCollection::QueryImpl(REFIID iid, void** object) {
    if (Offer<IBOMCollection>(this, iid, object)) return S_OK;
    return TBOMObject::QueryImpl(iid, object);
}

void TBOMCollection::Initialize() {
    // The items exist before the base steps run: path lookups made while the
    // parameters are created already pass through them.
    inner_ = CreateObject<TBOMInnerCollection>();
    TBOMObject::Initialize();
    typeName_ = "BOMCOLLECTION";
    elementName_ = "collection";
}

void TBOMCollection::AddItem(IBOMObject* item) {
    if (!item) return;
    inner_->AddItem(item);
    // A refused item is never linked: its owner link would keep this tree
    // alive where no disconnect reaches it.
    if (!inner_->Holds(item)) return;
    if (owner_)
        if (Ref<IBOMObjectSlave> slave = QueryAs<IBOMObjectSlave>(item))
            slave->SetOwner(static_cast<IBOMObjectOwner*>(this));
}

bool TBOMCollection::Holds(IBOMObject* item) {
    return inner_->Holds(item);
}

void TBOMCollection::DeleteItem(const Variant& key) {
    Ref<IBOMObject> item = inner_->GetItem(key);
    // The item before it, which what followed it will follow.
    const int at = item && kept_ ? inner_->IndexOf(item->GetName()) : -1;
    Ref<IBOMObject> before = at > 0 ? inner_->GetItem(Variant(at - 1)) : nullptr;
    inner_->DeleteItem(key);
    // What followed it in the content keeps its place among the others.
    if (kept_ && item && !inner_->Holds(item.get()))
        for (TKeptNode& node : kept_->content)
            if (!node.atStart && node.element == GetItemElementName() && node.name == item->GetName()) {
                if (before) {
                    node.name = before->GetName();
                } else if (at == 0) {
                    node.atStart = true;
                } else {  // its place is not known: the end
                    node.element.clear();
                    node.name.clear();
                }
            }
    LetGo(item.get());
}

void TBOMCollection::Clear() {
    const std::vector<Ref<IBOMObject>> items = Items();
    inner_->Clear();
    for (const Ref<IBOMObject>& item : items) LetGo(item.get());
}

void TBOMCollection::LetGo(IBOMObject* item) {
    // An item moved on to another owner keeps its links.
    auto* object = dynamic_cast<TBOMAbstractObject*>(item);
    if (object && (!object->Owner() || object->Owner() == static_cast<IBOMObjectOwner*>(this)))
        Unlink(object);
}

void TBOMCollection::Unlink(TBOMAbstractObject* item) {
    if (item->Owner()) item->Disconnect();
}

Ref<IBOMObject> TBOMCollection::GetChild(const std::string& name) {
    if (Ref<IBOMObject> item = inner_->GetItem(Variant(name))) return item;
    return TBOMObject::GetChild(name);
}

Ref<IUnknown> TBOMCollection::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TBOMObject::QueryRole(role)) return r;
    if (role == "Collection") return Ref<IUnknown>(static_cast<IBOMCollection*>(this));
    return nullptr;
}

bool TBOMCollection::SupportsRole(const std::string& role) {
    return TBOMObject::SupportsRole(role) || role == "Collection";
}

void TBOMCollection::Broadcast(int code, int param1, int param2) {
    TBOMObject::Broadcast(code, param1, param2);
    for (const Ref<IBOMObject>& item : Items()) item->Broadcast(code, param1, param2);
}

void TBOMCollection::SetOwner(IBOMObjectOwner* owner) {
    TBOMObject::SetOwner(owner);
    for (const Ref<IBOMObject>& item : Items())
        if (auto slave = item.As<IBOMObjectSlave>()) slave->SetOwner(static_cast<IBOMObjectOwner*>(this));
}

void TBOMCollection::Disconnect() {
    for (const Ref<IBOMObject>& item : Items())
        if (auto slave = item.As<IBOMObjectSlave>()) slave->Disconnect();
    TBOMObject::Disconnect();
}

void TBOMCollection::ItemsChanged(const std::string& objectPath, IBOMObject* obj, const std::string* except) {
    const std::string down = Down(objectPath);
    for (const Ref<IBOMObject>& item : Items())
        if (!except || item->GetName() != *except) item->ObjectChanged(down, obj, "..", AsBOMObject());
}

void TBOMCollection::ItemsRenamed(const std::string& newPath, IBOMObject* obj, const std::string* except,
                                  const std::string& oldPath) {
    const std::string downNew = Down(newPath), downOld = Down(oldPath);
    for (const Ref<IBOMObject>& item : Items())
        if (!except || item->GetName() != *except)
            item->AfterChangeObjectName(downNew, obj, "..", AsBOMObject(), downOld);
}

void TBOMCollection::ChangedFromChild(const std::string& objectPath, IBOMObject* obj,
                                      const std::string& senderPath, IBOMObject* sender) {
    ItemsChanged(objectPath, obj, &senderPath);
    TBOMObject::ChangedFromChild(objectPath, obj, senderPath, sender);
}

void TBOMCollection::ChangedFromParent(const std::string& objectPath, IBOMObject* obj,
                                       const std::string& senderPath, IBOMObject* sender) {
    TBOMObject::ChangedFromParent(objectPath, obj, senderPath, sender);
    ItemsChanged(objectPath, obj, nullptr);
}

void TBOMCollection::RenamedFromChild(const std::string& newPath, IBOMObject* obj,
                                      const std::string& senderPath, IBOMObject* sender,
                                      const std::string& oldPath) {
    ItemsRenamed(newPath, obj, &senderPath, oldPath);
    TBOMObject::RenamedFromChild(newPath, obj, senderPath, sender, oldPath);
}

void TBOMCollection::RenamedFromParent(const std::string& newPath, IBOMObject* obj,
                                       const std::string& senderPath, IBOMObject* sender,
                                       const std::string& oldPath) {
    TBOMObject::RenamedFromParent(newPath, obj, senderPath, sender, oldPath);
    ItemsRenamed(newPath, obj, nullptr, oldPath);
}

void TBOMCollection::RenameChild(IBOMObjectSlave* child, const std::string& newName) {
    if (!child) return;
    const std::string current = child->GetName();
    Ref<IBOMObject> item = inner_->GetItem(Variant(current));
    // IBOMObject is a virtual base: one subobject per object, so pointers compare.
    if (!item || item.get() != static_cast<IBOMObject*>(child)) return;
    if (newName.empty() || newName == current) return;
    // Names are one without regard to case: a new name that changes only
    // capitals finds the child itself, which may take it.
    const int holder = inner_->IndexOf(newName);
    if (holder >= 0 && holder != inner_->IndexOf(current)) return;
    inner_->RekeyItem(item.get(), newName);
    child->SetName(newName);
    // What followed the item in the content follows it under its new name.
    if (kept_ && item->GetName() == newName)
        for (TKeptNode& node : kept_->content)
            if (!node.atStart && node.element == GetItemElementName() && node.name == current) node.name = newName;
}

bool TBOMCollection::ReadsMore(const std::string& element, int occurrence) {
    return (occurrence == 0 && element == "content") || TBOMObject::ReadsMore(element, occurrence);
}

void TBOMCollection::SaveMore(IHierStorage* storage, TKeptWriter& kept) {
    TBOMObject::SaveMore(storage, kept);
    Ref<IHierStorage> content = storage->AddChild("content");
    const std::string itemElement = GetItemElementName();
    if (!content || itemElement.empty()) return;
    if (kept_)
        for (const auto& a : kept_->contentAttributes) content->WriteAttribute(a.first, a.second);
    TKeptWriter inner(kept_ ? &kept_->content : nullptr, content.get());
    for (const Ref<IBOMObject>& item : Items()) {
        Ref<IPersistObject> persist = item.As<IPersistObject>();
        if (!persist) continue;
        Ref<IHierStorage> node = content->AddChild(itemElement);
        if (!node) continue;
        persist->SaveTo(node.get());
        Ref<IBOMObjectSlave> slave = item.As<IBOMObjectSlave>();
        node->WriteAttribute("type", slave ? slave->GetTypeName() : std::string());
        inner.AfterNamed(itemElement, item->GetName());
    }
    inner.Rest();
    kept.After("content");
}

void TBOMCollection::LoadContent(IHierStorage* node, bool readName) {
    LoadDepth depth;
    if (depth.TooDeep()) return;
    renamedOnLoad_ = 0;
    TBOMObject::LoadContent(node, readName);
    if (kept_) {
        kept_->contentAttributes.clear();
        kept_->content.clear();
        TrimKept();
    }
    const std::string itemElement = GetItemElementName();
    if (itemElement.empty() || node->ChildCount("content") == 0) return;
    Ref<IHierStorage> content = node->GetChild("content", 0);
    if (!content) return;
    const int count = content->ChildCount(itemElement);
    // The name each element's item has after the load; empty for an
    // element no item took.
    std::vector<std::string> itemNames(size_t(count > 0 ? count : 0));
    std::vector<char> taken(itemNames.size(), 0);
    const bool keepSameNamed = KeepsSameNamedItems();
    // The items this content has loaded so far (a second element of one of
    // their names is another item, where the collection keeps those).
    std::unordered_set<IBOMObject*> loaded;
    // The names of the content's elements, read when first needed.
    std::unordered_set<std::string> elementNames;
    bool namesRead = false;
    for (int i = 0; i < count; ++i) {
        Ref<IHierStorage> element = content->GetChild(itemElement, i);
        if (!element) continue;
        const std::string name = element->ReadAttribute("name", std::string());
        Ref<IBOMObject> item;
        if (!name.empty()) item = inner_->GetItem(Variant(name));
        const bool sameNamed = item && keepSameNamed && loaded.count(item.get()) > 0;
        if (sameNamed) item = nullptr;
        if (item && loaded.count(item.get()) > 0) NoteSecond(itemElement, name);  // read over the first
        bool created = false;
        if (!item) {
            item = CreateBOMObject(element->ReadAttribute("type", GetDefaultItemType()), std::string())
                       .As<IBOMObject>();
            if (!item || !AcceptsItem(item.get())) continue;
            created = true;
        }
        if (Ref<IPersistObject> persist = item.As<IPersistObject>()) persist->LoadFrom(element.get());
        if (sameNamed) {
            if (!namesRead) {
                // Taken by the content's own elements too: a renamed item
                // never takes the name of one that follows it.
                for (int j = 0; j < count; ++j)
                    if (Ref<IHierStorage> other = content->GetChild(itemElement, j))
                        elementNames.insert(UpperCaseAZ(other->ReadAttribute("name", std::string())));
                namesRead = true;
            }
            Ref<IBOMObjectSlave> slave = item.As<IBOMObjectSlave>();
            if (!slave) continue;
            std::string free;
            for (int n = 2;; ++n) {
                free = name + " (" + std::to_string(n) + ")";
                if (inner_->IndexOf(free) < 0 && elementNames.count(UpperCaseAZ(free)) == 0) break;
            }
            slave->SetName(free);  // not linked yet: no event leaves the item
            ++renamedOnLoad_;
        }
        if (created) AddItem(item.get());
        loaded.insert(item.get());
        taken[size_t(i)] = 1;
        itemNames[size_t(i)] = item->GetName();
    }
    // What the content holds beside the items it gave, each after the item
    // it followed.
    if (!g_keepUnread.load(std::memory_order_relaxed)) return;
    std::vector<std::pair<std::string, std::string>> attributes = content->Attributes();
    std::vector<TKeptNode> unread = Unread(
        content.get(),
        [&](const std::string& element, int occurrence) {
            return element == itemElement && occurrence < count && taken[size_t(occurrence)];
        },
        [&](const std::string&, int occurrence) { return itemNames[size_t(occurrence)]; });
    if (attributes.empty() && unread.empty()) return;
    if (!kept_) kept_.reset(new TKeptContent());
    kept_->contentAttributes = std::move(attributes);
    kept_->content = std::move(unread);
}

// ---------------------------------------------------------------------------

void RegisterBOMClasses() {
    RegisterAbstractClass<TBOMCollection>("BOMCOLLECTION");
    RegisterAbstractClass<TBOMParam>("BOMPARAM");
    RegisterAbstractClass<TBOMObject>("BOMOBJECT");
}

}  // namespace omb
