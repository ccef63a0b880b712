// Rule actions as the editor and the command center see them: what a rule
// does to a matched window, described and saved; carrying it out is the hook
// library's work.
#pragma once

#include <string>

#include "bom/enabled_item.h"

namespace omb {

// Role "Action".
struct IAction : IUnknown {
    virtual bool IsEnabled() = 0;
    virtual std::string CommandText() = 0;

protected:
    ~IAction() = default;
};

class TAction : public TEnabledItem, public IAction {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    bool IsEnabled() override { return TEnabledItem::IsEnabled(); }
    // TYPE{\NAME=...\SAVECURRENTOPERATION=...\extra}
    std::string CommandText() override;
    // The kind's own keys after the common ones.
    virtual std::string CommandExtra() { return std::string(); }
    void UpdateLanguage() override;
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;

    const std::string& CommandTypeName() const { return commandTypeName_; }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    void LoadContent(IHierStorage* node, bool readName) override;
    // Registered type name, command type name and language keys of a kind.
    void SetKind(const char* typeName);

    std::string commandTypeName_;
};

class TStayOnTopAction : public TAction {
public:
    void Initialize() override;
};

class TCloseWindowAction : public TAction {
public:
    void Initialize() override;
};

class TRunModeAction : public TAction {
public:
    void Initialize() override;
    std::string CommandExtra() override;
};

class TSaveSizePosAction : public TAction {
public:
    void Initialize() override;
};

class TCloseQueryAction : public TAction {
public:
    void Initialize() override;
    std::string CommandExtra() override;
};

class TActions : public TBOM_UI_Collection {
public:
    void Initialize() override;
    std::string GetCaption() override { return "Actions"; }
    std::unique_ptr<TAbstractDetailPanel> CreateDetailPanelFor(const std::string& name) override;
    bool AcceptsItem(IBOMObject* item) override { return item->SupportsRole("Action"); }
};

}  // namespace omb

OMB_DECLARE_IID(omb::IAction, "{A526569B-2490-45E3-A31D-DA283ED6DF75}")
