// Hierarchical storage: a tree of named elements with attributes and text,
// and the objects that write themselves into it and read themselves back.
// The configuration file, the built-in rule template and command documents,
// and the language files all go through it (see xml_storage.h).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "foundation/com.h"

namespace omb {

// A child node of an element as a reader of the storage sees it: an element,
// by its name, or any other node worth keeping (a comment, a processing
// instruction, a CDATA section, text that is not blank), by its markup.
// Blank text between elements is no node: whoever writes lays out the lines.
struct THierNode {
    std::string name;    // an element's name; empty for any other node
    std::string markup;  // any other node's markup
};

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
    // The element's attributes, names and values, in document order; none
    // without an element.
    virtual std::vector<std::pair<std::string, std::string>> Attributes() = 0;
    // The element's child nodes in document order (see THierNode); none
    // without an element.
    virtual std::vector<THierNode> ChildNodes() = 0;
    // The element with everything in it as markup; empty without an element.
    virtual std::string Markup() = 0;
    // Appends the node that the markup stands for (an element with its
    // content, or any node ChildNodes gives as markup).
    virtual void AddMarkup(const std::string& markup) = 0;

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
