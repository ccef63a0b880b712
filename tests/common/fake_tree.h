// A tree view without a window, for tests of the objects that fill one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bom/ui_interfaces.h"

namespace omb::test {

class FakeNode : public ITreeNode {
public:
    explicit FakeNode(FakeNode* parent = nullptr) : parent_(parent) {}
    ~FakeNode() {
        // The view forgets a node's element before it frees the payload.
        children_.clear();
        if (data_ && data_->element) data_->element->ClearNode();
    }

    void SetText(const std::string& text) override { text_ = text; }
    void SetImageIndex(int index) override { image_ = index; }
    void SetSelectedIndex(int index) override { selected_ = index; }
    void SetStateIndex(int index) override { state_ = index; }
    void SetHasChildren(bool value) override { hasChildren_ = value; }
    bool HasChildren() override { return hasChildren_; }
    int ChildCount() override { return int(children_.size()); }
    ITreeNode* Parent() override { return parent_; }
    ITreeNode* AddChild(const std::string& text) override {
        children_.emplace_back(new FakeNode(this));
        children_.back()->text_ = text;
        return children_.back().get();
    }
    void SetData(std::unique_ptr<TTNStruct> data) override { data_ = std::move(data); }
    TTNStruct* Data() override { return data_.get(); }
    bool IsStateIconAt(int x, int) override { return x < stateIconRight; }

    FakeNode* Child(int i) { return children_[size_t(i)].get(); }
    const std::string& Text() const { return text_; }
    int Image() const { return image_; }
    int Selected() const { return selected_; }
    int State() const { return state_; }

    int stateIconRight = 16;  // points left of it lie on the state icon

private:
    FakeNode* parent_;
    std::vector<std::unique_ptr<FakeNode>> children_;
    std::unique_ptr<TTNStruct> data_;
    std::string text_;
    int image_ = -2, selected_ = -2, state_ = -2;
    bool hasChildren_ = false;
};

// The user interface an object tree is attached to.
class FakeUI : public TDebugInterfacedObject, public IUI {
public:
    OMB_IUNKNOWN

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<IUI>(this, iid, object)) return S_OK;
        return TDebugInterfacedObject::QueryImpl(iid, object);
    }
};

}  // namespace omb::test
