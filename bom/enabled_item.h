// The UI object every item of a window rule derives from: an on/off switch
// kept in the parameter "enabled", shown as the node's state icon, flipped by
// a click on that icon, and a table of detail panels by role.
#pragma once

#include <string>

#include "bom/ui_objects.h"

namespace omb {

class TEnabledItem : public TBOM_UI_Object, public IEnabledItem {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    // Enabled when there is no "enabled" parameter or its value is "yes".
    bool IsEnabled() override;
    void SetOwner(IBOMObjectOwner* owner) override;
    void ChangedFromChild(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender) override;
    std::unique_ptr<TAbstractDetailPanel> CreateDetailPanelFor(const std::string& name) override;
    // A click of any button on the state icon toggles "enabled".
    void MouseUp(ITreeNode* node, int button, int shift, int x, int y) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    void UpdateStateIndex() { stateIndex_ = IsEnabled() ? 2 : 1; }

    // Pairs of panel role "=" registered panel name, separated by ";".
    std::string detailPanelMap_;
    // The "enabled" parameter, read on every match.
    Ref<TBOMParam> enabled_;
};

}  // namespace omb
