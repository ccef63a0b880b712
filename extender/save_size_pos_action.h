// The action that keeps a window's placement (show state, minimized and
// maximized positions, normal rectangle) in the current user's registry under
// the rule's name, and puts it back later.
#pragma once

#include "extender/actions.h"

namespace omb::ea {

// The nine REG_DWORD values, each the action's name followed by its suffix,
// in the order they are written and read.
extern const char* const kPlacementValueSuffixes[9];

// Registered as "SAVESIZEPOSACTION". Operations SAVESIZEPOS (next) and
// RESTORESIZEPOS (current).
class TSaveSizePosAction : public TAction {
public:
    bool ApplyOperation(const std::string& name) override;

    // Both do nothing without an owner or a window handler, and drop every
    // failure. Restoring applies nothing unless all nine values are present
    // and of type REG_DWORD.
    void SavePlacement();
    void RestorePlacement();

protected:
    void CreateOperations() override;
};

}  // namespace omb::ea
