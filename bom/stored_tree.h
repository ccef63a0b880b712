// Stored trees: what an object writes into a hierarchical storage, kept in
// memory as immutable nodes that are shared wherever they are equal.
//
// Every node is interned: building a node equal to one that exists (same
// element name, attributes in order, text and children) gives that node, so
// the parts in which many objects agree are held once, however many objects
// hold them. Nodes are counted; the last reference frees a node. Building
// and freeing are safe from any thread.
//
// A stored tree is read back through a storage (TStoredStorage) that answers
// as the storage it was written into would have; it cannot be written to.
// It is written through a builder storage (TStoredBuilder) that takes an
// object's SaveTo and is then frozen into a stored tree.
//
// A node that is no element (a comment, a processing instruction, text a
// reader kept as it stood) is a node of its own kind: its name is
// kStoredMarkupName, which no element can bear, and its text is its markup.
// It is interned like any other, is no child element to ChildCount,
// GetChild and ChildNodeNames, and is written as it is.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/com.h"
#include "foundation/errors.h"
#include "foundation/persistence.h"

namespace omb {

class TStoredNode;

// The name of a node kept as its markup (see above).
constexpr char kStoredMarkupName[] = "#markup";

// A counted reference to a stored node.
class TStoredRef {
public:
    TStoredRef() = default;
    TStoredRef(const TStoredRef& o);
    TStoredRef(TStoredRef&& o) noexcept : node_(o.node_) { o.node_ = nullptr; }
    TStoredRef& operator=(TStoredRef o) noexcept {
        std::swap(node_, o.node_);
        return *this;
    }
    ~TStoredRef();

    const TStoredNode* get() const { return node_; }
    const TStoredNode* operator->() const { return node_; }
    explicit operator bool() const { return node_ != nullptr; }
    bool operator==(const TStoredRef& o) const { return node_ == o.node_; }
    bool operator!=(const TStoredRef& o) const { return node_ != o.node_; }

    // Takes a reference the caller already counted.
    static TStoredRef Adopt(const TStoredNode* node) {
        TStoredRef r;
        r.node_ = node;
        return r;
    }

private:
    const TStoredNode* node_ = nullptr;
};

class TStoredNode {
public:
    using Attribute = std::pair<std::string, std::string>;

    // The interned node of that content.
    static TStoredRef Make(std::string name, std::vector<Attribute> attributes, std::string text,
                           std::vector<TStoredRef> children);
    // Distinct nodes alive in this process (for tests and benchmarks).
    static size_t Count();

    const std::string& Name() const { return name_; }
    const std::vector<Attribute>& Attributes() const { return attributes_; }
    // The element's own text (a leaf's content).
    const std::string& Text() const { return text_; }
    const std::vector<TStoredRef>& Children() const { return children_; }
    // The value of the attribute, or nullptr when the element has none.
    const std::string* FindAttribute(const std::string& name) const;
    // The own text and that of every descendant element, in document order.
    std::string AllText() const;
    // Whether the node is kept as its markup (its text).
    bool IsMarkup() const { return name_ == kStoredMarkupName; }

private:
    friend class TStoredRef;
    friend struct TStoredTable;
    TStoredNode() = default;
    void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() const;

    mutable std::atomic<long> refs_{0};
    mutable bool inTable_ = false;
    size_t hash_ = 0;
    std::string name_;
    std::string text_;
    std::vector<Attribute> attributes_;
    std::vector<TStoredRef> children_;
};

// A write into a stored tree, which cannot take one.
class EStoredTreeError : public Exception {
public:
    using Exception::Exception;
};

// Reads a stored tree as a hierarchical storage.
class TStoredStorage final : public TDebugInterfacedObject, public IHierStorage {
public:
    OMB_IUNKNOWN

    static Ref<TStoredStorage> Create(TStoredRef node);

    std::string ReadAttribute(const std::string& name, const std::string& fallback) override;
    int ChildCount(const std::string& name) override;
    Ref<IHierStorage> GetChild(const std::string& name, int index) override;
    std::string GetText() override;
    std::string ReadChildText(const std::string& name) override;
    std::string NodeName() override;
    std::vector<std::string> ChildNodeNames() override;
    std::vector<std::pair<std::string, std::string>> Attributes() override;
    std::vector<THierNode> ChildNodes() override;
    std::string Markup() override;
    // Writes raise EStoredTreeError.
    void WriteAttribute(const std::string& name, const std::string& value) override;
    Ref<IHierStorage> AddChild(const std::string& name) override;
    void AddMarkup(const std::string& markup) override;
    void SetText(const std::string& text) override;
    void WriteChildText(const std::string& name, const std::string& text) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    explicit TStoredStorage(TStoredRef node) : node_(std::move(node)) {}
    ~TStoredStorage() override = default;
    TStoredRef node_;
};

// Takes what an object writes and freezes it into a stored tree.
class TStoredBuilder final : public TDebugInterfacedObject, public IHierStorage {
public:
    OMB_IUNKNOWN

    // A builder for one element of that name (the element the object's
    // owner would have made for it).
    static Ref<TStoredBuilder> Create(const std::string& elementName);

    std::string ReadAttribute(const std::string& name, const std::string& fallback) override;
    void WriteAttribute(const std::string& name, const std::string& value) override;
    Ref<IHierStorage> AddChild(const std::string& name) override;
    int ChildCount(const std::string& name) override;
    Ref<IHierStorage> GetChild(const std::string& name, int index) override;
    std::string GetText() override;
    // Replaces the element's content (its children too) with the text.
    void SetText(const std::string& text) override;
    std::string ReadChildText(const std::string& name) override;
    void WriteChildText(const std::string& name, const std::string& text) override;
    std::string NodeName() override;
    std::vector<std::string> ChildNodeNames() override;
    std::vector<std::pair<std::string, std::string>> Attributes() override;
    std::vector<THierNode> ChildNodes() override;
    std::string Markup() override;
    // Keeps the markup as a node of its own (see above).
    void AddMarkup(const std::string& markup) override;

    // The stored tree of what was written so far.
    TStoredRef Freeze() const;
    // Adds a child that is a stored tree already (it cannot be written to).
    void AddStored(TStoredRef node);

    struct Element;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    TStoredBuilder(std::shared_ptr<Element> root, Element* element) : root_(std::move(root)), element_(element) {}
    ~TStoredBuilder() override = default;
    std::shared_ptr<Element> root_;  // keeps the whole tree being built
    Element* element_;
};

// What an object writes into an element of that name, as a stored tree.
TStoredRef StoreObject(IPersistObject* object, const std::string& elementName);

// The tree as XML markup, as the XML service renders a document: one
// element a line (an element with text keeps its content on its line),
// indented by a tab a level, lines ended by CR LF; "&", "<", ">" and
// CR escaped in text (a line feed there is written as CR LF, which reads
// back as a line feed), and in attribute values also '"', tab and line
// breaks, so that every value reads back as it was. A node kept as its
// markup is written as it is, on a line of its own at its depth.
std::string StoredMarkup(const TStoredNode& node);

}  // namespace omb
