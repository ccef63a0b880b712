#include "bom/objects.h"

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

}  // namespace

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
    for (const Ref<IBOMObject>& child : AllChildren()) {
        Ref<IPersistObject> persist = child.As<IPersistObject>();
        if (!persist) continue;
        const std::string element = persist->GetElementName();
        if (element.empty() || !ShouldSave(child.get())) continue;
        if (Ref<IHierStorage> node = storage->AddChild(element)) persist->SaveTo(node.get());
    }
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

void TBOMParams::SaveTo(IHierStorage* storage) {
    TBOMObjectWithAll::SaveTo(storage);
    for (const Ref<IBOMObject>& param : items_->Snapshot()) {
        Ref<IPersistObject> persist = param.As<IPersistObject>();
        if (!persist) continue;
        Ref<IHierStorage> node = storage->AddChild("param");
        if (!node) continue;
        persist->SaveTo(node.get());
        Ref<IBOMObjectSlave> slave = param.As<IBOMObjectSlave>();
        const std::string type = slave ? slave->GetTypeName() : std::string();
        if (type != "BOMPARAM") node->WriteAttribute("type", type);
    }
}

void TBOMParams::LoadContent(IHierStorage* node, bool readName) {
    TBOMObjectWithAll::LoadContent(node, readName);
    const int count = node->ChildCount("param");
    for (int i = 0; i < count; ++i) {
        Ref<IHierStorage> element = node->GetChild("param", i);
        if (!element) continue;
        Ref<IBOMObject> param = items_->GetItem(Variant(element->ReadAttribute("name", std::string())));
        bool created = false;
        if (!param) {
            param =
                CreateBOMObject(element->ReadAttribute("type", "BOMPARAM"), std::string()).As<IBOMObject>();
            if (!param || !param.As<IBOMParam>()) continue;  // only parameters go into a parameter set
            created = true;
        }
        if (Ref<IPersistObject> persist = param.As<IPersistObject>()) persist->LoadFrom(element.get());
        if (created) AddItem(param.get());
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
    inner_->DeleteItem(key);
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
}

void TBOMCollection::SaveTo(IHierStorage* storage) {
    TBOMObject::SaveTo(storage);
    Ref<IHierStorage> content = storage->AddChild("content");
    const std::string itemElement = GetItemElementName();
    if (!content || itemElement.empty()) return;
    for (const Ref<IBOMObject>& item : Items()) {
        Ref<IPersistObject> persist = item.As<IPersistObject>();
        if (!persist) continue;
        Ref<IHierStorage> node = content->AddChild(itemElement);
        if (!node) continue;
        persist->SaveTo(node.get());
        Ref<IBOMObjectSlave> slave = item.As<IBOMObjectSlave>();
        node->WriteAttribute("type", slave ? slave->GetTypeName() : std::string());
    }
}

void TBOMCollection::LoadContent(IHierStorage* node, bool readName) {
    LoadDepth depth;
    if (depth.TooDeep()) return;
    renamedOnLoad_ = 0;
    TBOMObject::LoadContent(node, readName);
    const std::string itemElement = GetItemElementName();
    if (itemElement.empty() || node->ChildCount("content") == 0) return;
    Ref<IHierStorage> content = node->GetChild("content", 0);
    if (!content) return;
    const int count = content->ChildCount(itemElement);
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
    }
}

// ---------------------------------------------------------------------------

void RegisterBOMClasses() {
    RegisterAbstractClass<TBOMCollection>("BOMCOLLECTION");
    RegisterAbstractClass<TBOMParam>("BOMPARAM");
    RegisterAbstractClass<TBOMObject>("BOMOBJECT");
}

}  // namespace omb
