// Hierarchical storage: a tree of named elements with attributes and text,
// and the objects that write themselves into it and read themselves back.
// The configuration file, the built-in rule template and command documents,
// and the language files all go through it (see xml_storage.h).
#pragma once

#include <string>
#include <vector>

#include "foundation/com.h"

namespace omb {

struct IHierStorage : IUnknown {
    // The attribute's value, also when empty; `fallback` when absent or when
    // the storage has no element.
    virtual std::string ReadAttribute(const std::string& name, const std::string& fallback) = 0;
    // Creates or replaces the attribute.
    virtual void WriteAttribute(const std::string& name, const std::string& value) = 0;
    // Appends a new child element; the result refers to the same document.
    virtual Ref<IHierStorage> AddChild(const std::string& name) = 0;
    // Direct children of that element name; 0 without an element.
    virtual int ChildCount(const std::string& name) = 0;
    // The child at index among the direct children of that name, or empty.
    virtual Ref<IHierStorage> GetChild(const std::string& name, int index) = 0;
    // The text of the element and all its descendants.
    virtual std::string GetText() = 0;
    // Replaces the element's content with the text.
    virtual void SetText(const std::string& text) = 0;
    // GetText of the first child of that name; empty when there is none.
    virtual std::string ReadChildText(const std::string& name) = 0;
    // Always appends a new child (an existing one is not reused).
    virtual void WriteChildText(const std::string& name, const std::string& text) = 0;
    // The element's own name; empty without an element.
    virtual std::string NodeName() = 0;
    // The names of the element's direct child elements in document order,
    // one for each child; none without an element.
    virtual std::vector<std::string> ChildNodeNames() = 0;

protected:
    ~IHierStorage() = default;
};

struct IPersistObject : IUnknown {
    virtual void SaveTo(IHierStorage* storage) = 0;
    virtual void LoadFrom(IHierStorage* storage) = 0;
    // The element name under which the object is stored.
    virtual std::string GetElementName() = 0;

protected:
    ~IPersistObject() = default;
};

}  // namespace omb

OMB_DECLARE_IID(omb::IHierStorage, "{613CB9EE-2D99-4247-9F20-7568DE5516E4}")
OMB_DECLARE_IID(omb::IPersistObject, "{512B5AD9-8E7A-4961-A3D0-B918BFB14613}")
