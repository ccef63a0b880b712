// An in-memory hierarchical storage for tests of code that saves and loads
// through IHierStorage, so that it also runs in the native build.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/persistence.h"

namespace omb::test {

// A node kept as its markup is an element of this name with the markup as
// its text.
constexpr char kMemoryMarkup[] = "#markup";

struct MemoryElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in order of writing
    std::string text;
    std::vector<std::shared_ptr<MemoryElement>> children;

    const std::string* Attribute(const std::string& key) const {
        for (auto& a : attributes)
            if (a.first == key) return &a.second;
        return nullptr;
    }
    std::vector<MemoryElement*> Children(const std::string& of) const {
        std::vector<MemoryElement*> r;
        for (auto& c : children)
            if (c->name == of) r.push_back(c.get());
        return r;
    }
    std::string AllText() const {
        std::string t = text;
        for (auto& c : children)
            if (c->name != kMemoryMarkup) t += c->AllText();
        return t;
    }
    // A compact rendering for assertions: name[a=v,...]"text"{children}.
    std::string Dump() const {
        std::string s = name + "[";
        for (size_t i = 0; i < attributes.size(); ++i)
            s += (i ? "," : "") + attributes[i].first + "=" + attributes[i].second;
        s += "]";
        if (!text.empty()) s += "\"" + text + "\"";
        if (!children.empty()) {
            s += "{";
            for (size_t i = 0; i < children.size(); ++i) s += (i ? " " : "") + children[i]->Dump();
            s += "}";
        }
        return s;
    }
};

class MemoryStorage : public TDebugInterfacedObject, public IHierStorage {
public:
    OMB_IUNKNOWN
    explicit MemoryStorage(std::shared_ptr<MemoryElement> element) : element_(std::move(element)) {}
    static Ref<MemoryStorage> NewRoot(const std::string& name) {
        auto e = std::make_shared<MemoryElement>();
        e->name = name;
        return Ref<MemoryStorage>(new MemoryStorage(e));
    }
    MemoryElement& Element() { return *element_; }

    std::string ReadAttribute(const std::string& name, const std::string& fallback) override {
        const std::string* v = element_->Attribute(name);
        return v ? *v : fallback;
    }
    void WriteAttribute(const std::string& name, const std::string& value) override {
        for (auto& a : element_->attributes)
            if (a.first == name) {
                a.second = value;
                return;
            }
        element_->attributes.emplace_back(name, value);
    }
    Ref<IHierStorage> AddChild(const std::string& name) override {
        auto c = std::make_shared<MemoryElement>();
        c->name = name;
        element_->children.push_back(c);
        return Ref<IHierStorage>(new MemoryStorage(c));
    }
    int ChildCount(const std::string& name) override { return int(element_->Children(name).size()); }
    Ref<IHierStorage> GetChild(const std::string& name, int index) override {
        int seen = 0;
        for (auto& c : element_->children)
            if (c->name == name && seen++ == index) return Ref<IHierStorage>(new MemoryStorage(c));
        return nullptr;
    }
    std::string GetText() override { return element_->AllText(); }
    void SetText(const std::string& text) override {
        element_->children.clear();
        element_->text = text;
    }
    std::string ReadChildText(const std::string& name) override {
        Ref<IHierStorage> c = GetChild(name, 0);
        return c ? c->GetText() : std::string();
    }
    void WriteChildText(const std::string& name, const std::string& text) override {
        AddChild(name)->SetText(text);
    }
    std::string NodeName() override { return element_->name; }
    std::vector<std::string> ChildNodeNames() override {
        std::vector<std::string> names;
        for (auto& c : element_->children)
            if (c->name != kMemoryMarkup) names.push_back(c->name);
        return names;
    }
    std::vector<std::pair<std::string, std::string>> Attributes() override { return element_->attributes; }
    std::vector<THierNode> ChildNodes() override {
        std::vector<THierNode> nodes;
        for (auto& c : element_->children)
            nodes.push_back(c->name == kMemoryMarkup ? THierNode{std::string(), c->text} : THierNode{c->name, {}});
        return nodes;
    }
    std::string Markup() override { return element_->Dump(); }
    void AddMarkup(const std::string& markup) override {
        auto c = std::make_shared<MemoryElement>();
        c->name = kMemoryMarkup;
        c->text = markup;
        element_->children.push_back(c);
    }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<IHierStorage>(this, iid, object)) return S_OK;
        return TDebugInterfacedObject::QueryImpl(iid, object);
    }

private:
    std::shared_ptr<MemoryElement> element_;
};

}  // namespace omb::test
