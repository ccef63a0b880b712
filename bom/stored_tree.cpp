#include "bom/stored_tree.h"

#include <functional>
#include <mutex>
#include <unordered_set>

namespace omb {

// ---- the table of interned nodes ---------------------------------------------

struct TStoredTable {
    struct Hash {
        size_t operator()(const TStoredNode* n) const { return n->hash_; }
    };
    struct Same {
        bool operator()(const TStoredNode* a, const TStoredNode* b) const {
            return a->hash_ == b->hash_ && a->name_ == b->name_ && a->text_ == b->text_ &&
                   a->attributes_ == b->attributes_ && a->children_ == b->children_;
        }
    };
    std::mutex lock;
    std::unordered_set<const TStoredNode*, Hash, Same> nodes;

    static TStoredTable& Get() {
        // Never destroyed: nodes may be freed by objects that outlive every
        // static of the program.
        static TStoredTable* table = new TStoredTable();
        return *table;
    }
};

namespace {
size_t Mix(size_t seed, size_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}
}  // namespace

TStoredRef::TStoredRef(const TStoredRef& o) : node_(o.node_) {
    if (node_) node_->AddRef();
}

TStoredRef::~TStoredRef() {
    if (const TStoredNode* n = node_) {
        node_ = nullptr;
        n->Release();
    }
}

void TStoredNode::Release() const {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    // Nobody takes a reference from zero (the table does not hand out a
    // node whose count is zero), so this is the node's last owner.
    {
        TStoredTable& table = TStoredTable::Get();
        std::lock_guard<std::mutex> guard(table.lock);
        if (inTable_) {
            table.nodes.erase(this);
            inTable_ = false;
        }
    }
    delete this;
}

TStoredRef TStoredNode::Make(std::string name, std::vector<Attribute> attributes, std::string text,
                             std::vector<TStoredRef> children) {
    std::hash<std::string> hashText;
    size_t h = Mix(hashText(name), hashText(text));
    for (const Attribute& a : attributes) h = Mix(Mix(h, hashText(a.first)), hashText(a.second));
    for (const TStoredRef& c : children) h = Mix(h, c->hash_);
    std::unique_ptr<TStoredNode> made(new TStoredNode());
    made->hash_ = h;
    made->name_ = std::move(name);
    made->text_ = std::move(text);
    made->attributes_ = std::move(attributes);
    made->children_ = std::move(children);

    TStoredTable& table = TStoredTable::Get();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.nodes.find(made.get());
    if (found != table.nodes.end()) {
        const TStoredNode* node = *found;
        long refs = node->refs_.load(std::memory_order_relaxed);
        while (refs > 0 && !node->refs_.compare_exchange_weak(refs, refs + 1, std::memory_order_acq_rel)) {
        }
        if (refs > 0) return TStoredRef::Adopt(node);
        // Going away: its releaser finds it out of the table.
        node->inTable_ = false;
        table.nodes.erase(found);
    }
    made->refs_ = 1;
    made->inTable_ = true;
    const TStoredNode* node = made.release();
    table.nodes.insert(node);
    return TStoredRef::Adopt(node);
}

size_t TStoredNode::Count() {
    TStoredTable& table = TStoredTable::Get();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.nodes.size();
}

const std::string* TStoredNode::FindAttribute(const std::string& name) const {
    for (const Attribute& a : attributes_)
        if (a.first == name) return &a.second;
    return nullptr;
}

std::string TStoredNode::AllText() const {
    if (children_.empty()) return text_;
    std::string all = text_;
    for (const TStoredRef& c : children_)
        if (!c->IsMarkup()) all += c->AllText();
    return all;
}

namespace {
void Markup(std::string& out, const TStoredNode& node, size_t depth, bool formatted);

// The children as IHierStorage::ChildNodes gives them.
std::vector<THierNode> NodesOf(const std::vector<TStoredRef>& children) {
    std::vector<THierNode> nodes;
    nodes.reserve(children.size());
    for (const TStoredRef& c : children) {
        if (c->IsMarkup())
            nodes.push_back(THierNode{std::string(), c->Text()});
        else
            nodes.push_back(THierNode{c->Name(), std::string()});
    }
    return nodes;
}

// The node as markup on one line.
std::string PlainMarkup(const TStoredNode& node) {
    std::string out;
    Markup(out, node, 0, false);
    return out;
}
}  // namespace

// ---- reading -------------------------------------------------------------------

Ref<TStoredStorage> TStoredStorage::Create(TStoredRef node) {
    return Ref<TStoredStorage>(new TStoredStorage(std::move(node)));
}

HRESULT TStoredStorage::QueryImpl(REFIID iid, void** object) {
    if (Offer<IHierStorage>(this, iid, object)) return S_OK;
    return TDebugInterfacedObject::QueryImpl(iid, object);
}

std::string TStoredStorage::ReadAttribute(const std::string& name, const std::string& fallback) {
    const std::string* value = node_ ? node_->FindAttribute(name) : nullptr;
    return value ? *value : fallback;
}

int TStoredStorage::ChildCount(const std::string& name) {
    if (!node_) return 0;
    int count = 0;
    for (const TStoredRef& c : node_->Children())
        if (c->Name() == name) ++count;
    return count;
}

Ref<IHierStorage> TStoredStorage::GetChild(const std::string& name, int index) {
    if (!node_ || index < 0) return nullptr;
    for (const TStoredRef& c : node_->Children())
        if (c->Name() == name && index-- == 0) return Create(c);
    return nullptr;
}

std::string TStoredStorage::GetText() {
    return node_ ? node_->AllText() : std::string();
}

std::string TStoredStorage::ReadChildText(const std::string& name) {
    Ref<IHierStorage> child = GetChild(name, 0);
    return child ? child->GetText() : std::string();
}

std::string TStoredStorage::NodeName() {
    return node_ ? node_->Name() : std::string();
}

std::vector<std::string> TStoredStorage::ChildNodeNames() {
    std::vector<std::string> names;
    if (node_)
        for (const TStoredRef& c : node_->Children())
            if (!c->IsMarkup()) names.push_back(c->Name());
    return names;
}

std::vector<std::pair<std::string, std::string>> TStoredStorage::Attributes() {
    return node_ ? node_->Attributes() : std::vector<std::pair<std::string, std::string>>();
}

std::vector<THierNode> TStoredStorage::ChildNodes() {
    std::vector<THierNode> nodes;
    if (node_) nodes = NodesOf(node_->Children());
    return nodes;
}

std::string TStoredStorage::Markup() {
    return node_ ? PlainMarkup(*node_.get()) : std::string();
}

void TStoredStorage::AddMarkup(const std::string&) {
    throw EStoredTreeError("a stored tree cannot be written to");
}

void TStoredStorage::WriteAttribute(const std::string&, const std::string&) {
    throw EStoredTreeError("a stored tree cannot be written to");
}
Ref<IHierStorage> TStoredStorage::AddChild(const std::string&) {
    throw EStoredTreeError("a stored tree cannot be written to");
}
void TStoredStorage::SetText(const std::string&) {
    throw EStoredTreeError("a stored tree cannot be written to");
}
void TStoredStorage::WriteChildText(const std::string&, const std::string&) {
    throw EStoredTreeError("a stored tree cannot be written to");
}

// ---- writing -------------------------------------------------------------------

struct TStoredBuilder::Element {
    std::string name;
    std::vector<TStoredNode::Attribute> attributes;
    std::string text;
    std::vector<std::unique_ptr<Element>> children;
    TStoredRef stored;  // set: the element is this stored tree

    TStoredRef Freeze() const {
        if (stored) return stored;
        std::vector<TStoredRef> frozen;
        frozen.reserve(children.size());
        for (const auto& c : children) frozen.push_back(c->Freeze());
        return TStoredNode::Make(name, attributes, text, std::move(frozen));
    }
    std::string AllText() const {
        if (stored) return stored->AllText();
        std::string all = text;
        for (const auto& c : children)
            if (c->name != kStoredMarkupName) all += c->AllText();
        return all;
    }
};

Ref<TStoredBuilder> TStoredBuilder::Create(const std::string& elementName) {
    auto root = std::make_shared<Element>();
    root->name = elementName;
    Element* element = root.get();
    return Ref<TStoredBuilder>(new TStoredBuilder(std::move(root), element));
}

HRESULT TStoredBuilder::QueryImpl(REFIID iid, void** object) {
    if (Offer<IHierStorage>(this, iid, object)) return S_OK;
    return TDebugInterfacedObject::QueryImpl(iid, object);
}

std::string TStoredBuilder::ReadAttribute(const std::string& name, const std::string& fallback) {
    for (const auto& a : element_->attributes)
        if (a.first == name) return a.second;
    return fallback;
}

void TStoredBuilder::WriteAttribute(const std::string& name, const std::string& value) {
    for (auto& a : element_->attributes)
        if (a.first == name) {
            a.second = value;
            return;
        }
    element_->attributes.emplace_back(name, value);
}

Ref<IHierStorage> TStoredBuilder::AddChild(const std::string& name) {
    element_->children.emplace_back(new Element());
    Element* child = element_->children.back().get();
    child->name = name;
    return Ref<IHierStorage>(new TStoredBuilder(root_, child));
}

int TStoredBuilder::ChildCount(const std::string& name) {
    int count = 0;
    for (const auto& c : element_->children)
        if (c->name == name) ++count;
    return count;
}

Ref<IHierStorage> TStoredBuilder::GetChild(const std::string& name, int index) {
    if (index < 0) return nullptr;
    for (const auto& c : element_->children)
        if (c->name == name && index-- == 0) return Ref<IHierStorage>(new TStoredBuilder(root_, c.get()));
    return nullptr;
}

std::string TStoredBuilder::GetText() {
    return element_->AllText();
}

void TStoredBuilder::SetText(const std::string& text) {
    element_->children.clear();
    element_->text = text;
}

std::string TStoredBuilder::ReadChildText(const std::string& name) {
    Ref<IHierStorage> child = GetChild(name, 0);
    return child ? child->GetText() : std::string();
}

void TStoredBuilder::WriteChildText(const std::string& name, const std::string& text) {
    AddChild(name)->SetText(text);
}

std::string TStoredBuilder::NodeName() {
    return element_->name;
}

std::vector<std::string> TStoredBuilder::ChildNodeNames() {
    std::vector<std::string> names;
    if (element_->stored) {
        for (const TStoredRef& c : element_->stored->Children())
            if (!c->IsMarkup()) names.push_back(c->Name());
    } else {
        for (const auto& c : element_->children)
            if (c->name != kStoredMarkupName) names.push_back(c->name);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> TStoredBuilder::Attributes() {
    return element_->stored ? element_->stored->Attributes() : element_->attributes;
}

std::vector<THierNode> TStoredBuilder::ChildNodes() {
    if (element_->stored) return NodesOf(element_->stored->Children());
    std::vector<THierNode> nodes;
    for (const auto& c : element_->children) {
        if (c->name == kStoredMarkupName)
            nodes.push_back(THierNode{std::string(), c->text});
        else
            nodes.push_back(THierNode{c->name, std::string()});
    }
    return nodes;
}

std::string TStoredBuilder::Markup() {
    return PlainMarkup(*element_->Freeze().get());
}

void TStoredBuilder::AddMarkup(const std::string& markup) {
    element_->children.emplace_back(new Element());
    Element* child = element_->children.back().get();
    child->name = kStoredMarkupName;
    child->text = markup;
}

TStoredRef TStoredBuilder::Freeze() const {
    return element_->Freeze();
}

void TStoredBuilder::AddStored(TStoredRef node) {
    if (!node) return;
    element_->children.emplace_back(new Element());
    Element* child = element_->children.back().get();
    child->name = node->Name();
    child->stored = std::move(node);
}

namespace {
void Escape(std::string& out, const std::string& text, bool attribute) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        case '"':
            if (attribute) out += "&quot;";
            else out += c;
            break;
        case '\n':
            if (attribute) out += "&#10;";
            else out += "\r\n";  // read back as a line feed
            break;
        case '\t':
            if (attribute) out += "&#9;";
            else out += c;
            break;
        default: out += c;
        }
    }
}

void Markup(std::string& out, const TStoredNode& node, size_t depth, bool formatted) {
    if (formatted) out.append(depth, '\t');
    if (node.IsMarkup()) {
        out += node.Text();
        if (formatted) out += "\r\n";
        return;
    }
    out += '<';
    out += node.Name();
    for (const TStoredNode::Attribute& a : node.Attributes()) {
        out += ' ';
        out += a.first;
        out += "=\"";
        Escape(out, a.second, true);
        out += '"';
    }
    if (node.Text().empty() && node.Children().empty()) {
        out += "/>";
    } else {
        out += '>';
        // Text in an element keeps its children on its line.
        const bool inner = formatted && node.Text().empty();
        Escape(out, node.Text(), false);
        if (inner) out += "\r\n";
        for (const TStoredRef& c : node.Children()) Markup(out, *c.get(), depth + 1, inner);
        if (inner) out.append(depth, '\t');
        out += "</";
        out += node.Name();
        out += '>';
    }
    if (formatted) out += "\r\n";
}
}  // namespace

std::string StoredMarkup(const TStoredNode& node) {
    std::string out;
    Markup(out, node, 0, true);
    return out;
}

TStoredRef StoreObject(IPersistObject* object, const std::string& elementName) {
    Ref<TStoredBuilder> builder = TStoredBuilder::Create(elementName);
    object->SaveTo(builder.get());
    return builder->Freeze();
}

}  // namespace omb
