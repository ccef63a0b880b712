// The business-object tree: named, counted objects with owner links, paths,
// roles, change and rename events, parameters and collections, saved to and
// loaded from a hierarchical storage.
//
// Ownership: a parent holds a counted reference to each child and each linked
// child holds one to its owner, so a tree is a web of cycles. Whoever holds
// the root calls the root's SetOwner(nullptr) once the tree is built or loaded
// and the root's Disconnect before dropping its last reference.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bom/interfaces.h"
#include "bom/routines.h"
#include "foundation/classes.h"
#include "foundation/collections.h"
#include "foundation/persistence.h"

namespace omb {

class TBOMAbstractObject : public TAbstractObject, public IBOMObjectSlave {
public:
    OMB_IUNKNOWN

    // IBOMObject
    Ref<IBOMObject> GetObject(const std::string& path) override;
    std::string GetName() override { return name_; }
    std::string GetFullPath() override;
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;
    void ObjectChanged(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                       IBOMObject* sender) override;
    void AfterChangeObjectName(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                               IBOMObject* sender, const std::string& oldPath) override;
    void Broadcast(int code, int param1, int param2) override;
    int GetRefCount() override { return int(RefCount()); }

    // IBOMObjectSlave
    void SetOwner(IBOMObjectOwner* owner) override;
    void Disconnect() override;
    std::string GetTypeName() override { return std::string(); }
    void SetName(const std::string& name) override { name_ = name; }

    virtual bool IsRoot() { return false; }
    virtual Ref<IBOMObject> GetRoot();
    virtual Ref<IBOMObject> FindByRole(const std::string& role);
    virtual Ref<IBOMObject> GetChild(const std::string& name);

    IBOMObjectOwner* Owner() const { return owner_.get(); }
    IBOMObject* AsBOMObject() { return static_cast<IBOMObject*>(this); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

    std::string name_;
    Ref<IBOMObjectOwner> owner_;
};

// A plain ordered, name-keyed list of business objects; holds the items of a
// collection, the parameters of a parameter set and the "all" children.
class TBOMInnerCollection : public TBOMAbstractObject, public IBOMCollection {
public:
    Ref<IBOMObject> GetChild(const std::string& name) override { return GetItem(Variant(name)); }

    int Count() override { return list_.Count(); }
    Ref<IBOMObject> GetItem(const Variant& key) override;
    void AddItem(IBOMObject* item) override;
    // Whether this very item is in the list (an item refused for its name
    // is not).
    bool Holds(IBOMObject* item);
    void DeleteItem(const Variant& key) override {
        Changed();
        list_.Delete(key);
    }
    int IndexOf(const std::string& name) override { return list_.IndexOf(name); }
    void Clear() override {
        Changed();
        list_.Clear();
    }
    // Keeps the item under a new name in its place. A name that another
    // item holds is refused.
    void RekeyItem(IBOMObject* item, const std::string& newName) override;

    // The items at this moment, in order.
    std::vector<Ref<IBOMObject>> Snapshot() const;
    // Changes with every change of which items the list holds, or of their
    // order or names.
    uint64_t Version() const { return version_.load(std::memory_order_acquire); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    void Changed() { version_.fetch_add(1, std::memory_order_acq_rel); }

    TInterfaceCollection list_;
    std::atomic<uint64_t> version_{0};
};

class TBOMAllCollection : public TBOMInnerCollection {};

// A node of an element that the element's object does not read (an element
// no child reads, a second element of a name that is read once, a comment,
// a processing instruction, text), kept to be written back after the read
// element it followed.
struct TKeptNode {
    // The element it followed: its element name and its "name" (the name of
    // an item or a parameter; empty for a fixed child). Both empty and
    // atStart false: it follows nothing that is written again.
    std::string element, name;
    bool atStart = false;  // it stood before every read element
    std::string markup;
};

// What an object keeps of its element that it does not read.
struct TKeptContent {
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<TKeptNode> nodes;
    // A collection's: what its "content" holds beside the items it reads.
    std::vector<std::pair<std::string, std::string>> contentAttributes;
    std::vector<TKeptNode> content;
    bool Empty() const { return attributes.empty() && nodes.empty() && contentAttributes.empty() && content.empty(); }
};

// Whether loads keep what their objects do not read, so that a save writes
// it back. On, unless a program that never saves what it loads (the command
// center) turns it off at its start: keeping costs a load a walk of every
// element's nodes.
void SetKeepUnread(bool keep);
bool KeepsUnread();

// Writes kept nodes back among the children of one element while they are
// written: the ones that stood first at once, the others after the element
// they followed, and the rest at the end.
class TKeptWriter {
public:
    // No nodes: nothing to write.
    TKeptWriter(const std::vector<TKeptNode>* nodes, IHierStorage* storage);
    // The element of that name was written (a fixed child: one of its name).
    void After(const std::string& element);
    // The element of that name and "name" was written (an item, a parameter).
    void AfterNamed(const std::string& element, const std::string& name);
    // Whatever followed an element that was not written again.
    void Rest();

private:
    void Write(size_t i);
    // Those that followed the element (and, when given, that "name").
    void WriteAfter(const std::string& element, const std::string* name);
    const std::vector<TKeptNode>* nodes_;
    IHierStorage* storage_;
    std::vector<bool> written_;
};

// What a load met that no save can write back, in words the user reads:
// noted while a scope lives on the thread, into the list it was given.
class TUnkeptScope {
public:
    // A null list leaves the thread's list as it is.
    explicit TUnkeptScope(std::vector<std::string>* list);
    ~TUnkeptScope();
    TUnkeptScope(const TUnkeptScope&) = delete;
    TUnkeptScope& operator=(const TUnkeptScope&) = delete;

    static bool Noting();
    // Adds the text (with the place set now) unless the list has it.
    static void Note(const std::string& what);

    // While one lives, the texts noted (without their place) are also
    // added to its list: what is read once and taken again elsewhere is
    // noted again there, in its own place.
    class TCapture {
    public:
        explicit TCapture(std::vector<std::string>* into);
        ~TCapture();
        TCapture(const TCapture&) = delete;
        TCapture& operator=(const TCapture&) = delete;

    private:
        std::vector<std::string>* previous_;
    };
    // Where the words of notes come from: the language's text of a key, or
    // the English fallback. Set at start-up by whoever links the languages;
    // English until then.
    using TTextLookup = std::string (*)(const std::string& key, const std::string& fallback);
    static void SetTextLookup(TTextLookup lookup);

    // While one lives, a note names the object being read: the language
    // text of that key (English `text` by default), its "%name%" the name
    // the pointer shows at the time of the note.
    class TPlace {
    public:
        TPlace(const char* key, const char* text, const std::string* name);
        ~TPlace();
        TPlace(const TPlace&) = delete;
        TPlace& operator=(const TPlace&) = delete;

    private:
        const char* key_;
        const char* text_;
        const std::string* name_;
    };

private:
    std::vector<std::string>* previous_;
    bool set_;
};

// An object that owns named children in its "all" set and routes events
// between its owner and its children.
class TBOMObjectWithAll : public TBOMAbstractObject, public IBOMObjectOwner, public IPersistObject {
public:
    OMB_IUNKNOWN

    void Initialize() override;

    Ref<IBOMObject> GetChild(const std::string& name) override;
    void ObjectChanged(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                       IBOMObject* sender) override;
    void AfterChangeObjectName(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                               IBOMObject* sender, const std::string& oldPath) override;
    void Broadcast(int code, int param1, int param2) override;
    void SetOwner(IBOMObjectOwner* owner) override;
    void Disconnect() override;

    // IBOMObjectOwner
    void RenameChild(IBOMObjectSlave* child, const std::string& newName) override;

    // IPersistObject
    void SaveTo(IHierStorage* storage) override;
    void LoadFrom(IHierStorage* storage) override { LoadContent(storage, true); }
    std::string GetElementName() override { return std::string(); }

    virtual void ChangedFromParent(const std::string& objectPath, IBOMObject* obj,
                                   const std::string& senderPath, IBOMObject* sender);
    virtual void ChangedFromChild(const std::string& objectPath, IBOMObject* obj,
                                  const std::string& senderPath, IBOMObject* sender);
    virtual void RenamedFromParent(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                                   IBOMObject* sender, const std::string& oldPath);
    virtual void RenamedFromChild(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                                  IBOMObject* sender, const std::string& oldPath);
    virtual bool ShouldSave(IBOMObject* child);

    // Creates a child by type name and adds it to "all" (not linked yet).
    Ref<IBOMObjectSlave> CreateChild(const std::string& typeText, const std::string& name);
    // Reads the object from a node as its owner reads a fixed child: the
    // object keeps its own name.
    void LoadFixed(IHierStorage* node) { LoadContent(node, false); }

    IBOMCollection* All() const { return all_.get(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

    // Reads the object from a node. A fixed child of the "all" set keeps its
    // own name (readName false); items of collections take the node's name.
    virtual void LoadContent(IHierStorage* node, bool readName);
    // Whether the object reads that occurrence (from 0) of a child element
    // of its own element beyond those its saved "all" children read.
    virtual bool ReadsMore(const std::string& element, int occurrence) {
        (void)element;
        (void)occurrence;
        return false;
    }
    // Writes what the object writes after its "all" children, telling
    // `kept` each element it wrote (SaveTo then writes the kept rest).
    virtual void SaveMore(IHierStorage* storage, TKeptWriter& kept) {
        (void)storage;
        (void)kept;
    }
    // Keeps what the node holds that the object does not read (see
    // TKeptNode), in place of what it kept before; its attributes but
    // "name" and, for an item (readName), "type".
    void KeepUnread(IHierStorage* node, bool readName);
    // Drops what is kept when nothing is.
    void TrimKept() {
        if (kept_ && kept_->Empty()) kept_.reset();
    }

    // The children of "all" at this moment, safe to walk while events run.
    std::vector<Ref<IBOMObject>> AllChildren() const;

    Ref<TBOMAllCollection> all_;
    // Null while nothing is kept: one pointer an object, however many.
    std::unique_ptr<TKeptContent> kept_;
};

class TBOMParam;

// The ordinary business object ("BOMOBJECT"): a "params" child holding its
// parameters and a "name" parameter that mirrors its name.
class TBOMObject : public TBOMObjectWithAll {
public:
    void Initialize() override;
    std::string GetTypeName() override { return typeName_; }
    std::string GetElementName() override { return elementName_; }
    void SetName(const std::string& name) override;

    // Adds a parameter with its default value to "params".
    Ref<IBOMParam> CreateParam(const std::string& name, const Variant& initialValue);
    Ref<IBOMParam> GetParam(const std::string& name);
    // Sets the "name" parameter to the current name (with a change event).
    void UpdateNameParam();

    // The parameter's text, or `fallback` when there is no such parameter.
    std::string ParamText(const std::string& name, const std::string& fallback = std::string());
    // The parameter object itself; objects that read a parameter often keep
    // it (parameters live as long as their object: loading overlays them in
    // place and nothing removes them).
    Ref<TBOMParam> ParamObject(const std::string& name);

protected:
    void LoadContent(IHierStorage* node, bool readName) override;

    std::string typeName_;
    std::string elementName_;
};

// A named value that tells the tree when it is set ("BOMPARAM").
class TBOMParam : public TBOMAbstractObject, public IBOMParam, public IPersistObject {
public:
    OMB_IUNKNOWN

    std::string GetTypeName() override { return "BOMPARAM"; }

    Variant GetValue() override { return value_; }
    // The value without a copy, for readers on hot paths.
    const Variant& Value() const { return value_; }
    // Whether the value's text form is exactly `text`.
    bool ValueIs(const std::string& text) const {
        return value_.IsString() ? value_.AsStringRef() == text : value_.ToText() == text;
    }
    void SetValue(const Variant& value) override;
    void SetValueSilent(const Variant& value) override { value_ = value; }

    void SaveTo(IHierStorage* storage) override;
    void LoadFrom(IHierStorage* storage) override;
    std::string GetElementName() override { return "param"; }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    Variant value_{0};
};

// The parameter set "params" of every TBOMObject.
class TBOMParams : public TBOMObjectWithAll, public IBOMCollection {
public:
    void Initialize() override;

    Ref<IBOMObject> GetChild(const std::string& name) override;
    void SetOwner(IBOMObjectOwner* owner) override;
    void Disconnect() override;

    void ChangedFromParent(const std::string&, IBOMObject*, const std::string&, IBOMObject*) override {}
    void ChangedFromChild(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender) override;
    void RenamedFromParent(const std::string&, IBOMObject*, const std::string&, IBOMObject*,
                           const std::string&) override {}
    void RenamedFromChild(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender, const std::string& oldPath) override;

    std::string GetElementName() override { return "params"; }

    // IBOMCollection
    int Count() override { return items_->Count(); }
    Ref<IBOMObject> GetItem(const Variant& key) override { return items_->GetItem(key); }
    void AddItem(IBOMObject* item) override;
    void DeleteItem(const Variant& key) override { items_->DeleteItem(key); }
    int IndexOf(const std::string& name) override { return items_->IndexOf(name); }
    void Clear() override { items_->Clear(); }
    void RekeyItem(IBOMObject* item, const std::string& newName) override {
        items_->RekeyItem(item, newName);
    }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    void LoadContent(IHierStorage* node, bool readName) override;
    bool ReadsMore(const std::string& element, int occurrence) override;
    void SaveMore(IHierStorage* storage, TKeptWriter& kept) override;

private:
    Ref<TBOMInnerCollection> items_;
};

// An ordered, name-keyed collection of business objects ("BOMCOLLECTION"),
// role "Collection".
class TBOMCollection : public TBOMObject, public IBOMCollection {
public:
    void Initialize() override;

    virtual std::string GetItemElementName() { return itemElementName_; }
    virtual std::string GetDefaultItemType() { return defaultItemType_; }
    // Whether a loaded item is of the kind this collection holds.
    virtual bool AcceptsItem(IBOMObject* item) {
        (void)item;
        return true;
    }
    // How many items the last load kept under a name of their own because
    // an earlier element of the same content had taken theirs.
    int RenamedOnLoad() const { return renamedOnLoad_; }

    // IBOMCollection
    int Count() override { return inner_->Count(); }
    Ref<IBOMObject> GetItem(const Variant& key) override { return inner_->GetItem(key); }
    void AddItem(IBOMObject* item) override;
    // Whether this very item is one of the items.
    bool Holds(IBOMObject* item);
    // An item let go of is disconnected when it is still linked to this
    // collection: it and its children hold each other, and nothing else
    // would ever cut those links.
    void DeleteItem(const Variant& key) override;
    int IndexOf(const std::string& name) override { return inner_->IndexOf(name); }
    void Clear() override;
    void RekeyItem(IBOMObject* item, const std::string& newName) override {
        inner_->RekeyItem(item, newName);
    }

    Ref<IBOMObject> GetChild(const std::string& name) override;
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;
    void Broadcast(int code, int param1, int param2) override;
    void SetOwner(IBOMObjectOwner* owner) override;
    void Disconnect() override;
    void ChangedFromParent(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                           IBOMObject* sender) override;
    void ChangedFromChild(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender) override;
    void RenamedFromParent(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                           IBOMObject* sender, const std::string& oldPath) override;
    void RenamedFromChild(const std::string& newPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender, const std::string& oldPath) override;
    void RenameChild(IBOMObjectSlave* child, const std::string& newName) override;

    // The items at this moment, in order.
    std::vector<Ref<IBOMObject>> Items() const { return inner_->Snapshot(); }
    // Changes with every change of the items held (not of their content).
    uint64_t ItemsVersion() const { return inner_->Version(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    void LoadContent(IHierStorage* node, bool readName) override;
    bool ReadsMore(const std::string& element, int occurrence) override;
    // The content with the items, and what it kept beside them in place.
    void SaveMore(IHierStorage* storage, TKeptWriter& kept) override;
    // An item let go of that no other owner has taken: while it is linked
    // to this collection, it and its children hold each other, so the links
    // are cut. A collection that tied its items to more unties that too.
    virtual void Unlink(TBOMAbstractObject* item);
    // Whether an element whose name an earlier element of the same content
    // took is kept as an item of its own, under the first free name
    // "NAME (2)", "NAME (3)", ... in its place. Otherwise (the grammar's
    // rule) it overlays the item of that name.
    virtual bool KeepsSameNamedItems() { return false; }

    std::string itemElementName_;
    std::string defaultItemType_;

private:
    // Pass an event down to every item but the one named `except` (all
    // items when it is null).
    void ItemsChanged(const std::string& objectPath, IBOMObject* obj, const std::string* except);
    void ItemsRenamed(const std::string& newPath, IBOMObject* obj, const std::string* except,
                      const std::string& oldPath);
    void LetGo(IBOMObject* item);

    Ref<TBOMInnerCollection> inner_;
    int renamedOnLoad_ = 0;
};

// Registers "BOMCOLLECTION", "BOMPARAM" and "BOMOBJECT", in this order.
void RegisterBOMClasses();

// Deepest nesting of objects that loading descends into; a deeper (or
// self-repeating) document ends the descent there.
constexpr int kMaxLoadDepth = 64;

}  // namespace omb
