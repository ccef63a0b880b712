#include "extender/save_size_pos_action.h"

#include "extender/lifetime.h"
#include "extender/operations.h"
#include "foundation/handles.h"

namespace omb::ea {

const char* const kPlacementValueSuffixes[9] = {
    "_showCmdSuffix",     "_MinPositionX",        "_MinPositionY",
    "_MaxPositionX",      "_MaxPositionY",        "_NormalPositionLeft",
    "_NormalPositionTop", "_NormalPositionRight", "_NormalPositionBottom",
};

namespace {
// The placement's fields in the order of the values.
LONG* Fields(WINDOWPLACEMENT& p, int i) {
    switch (i) {
        case 0:
            return reinterpret_cast<LONG*>(&p.showCmd);
        case 1:
            return &p.ptMinPosition.x;
        case 2:
            return &p.ptMinPosition.y;
        case 3:
            return &p.ptMaxPosition.x;
        case 4:
            return &p.ptMaxPosition.y;
        case 5:
            return &p.rcNormalPosition.left;
        case 6:
            return &p.rcNormalPosition.top;
        case 7:
            return &p.rcNormalPosition.right;
        default:
            return &p.rcNormalPosition.bottom;
    }
}
}  // namespace

void TSaveSizePosAction::CreateOperations() {
    Ref<IOperation> save = AddOperation(kSaveSizePosOperation);
    Ref<IOperation> restore = AddOperation(kRestoreSizePosOperation);
    SetOperations(restore, save);
}

bool TSaveSizePosAction::ApplyOperation(const std::string& name) {
    bool applied = false;
    try {
        if (name == "SAVESIZEPOS") {
            SavePlacement();
            applied = true;
        } else if (name == "RESTORESIZEPOS") {
            RestorePlacement();
            applied = true;
        }
    } catch (...) {
    }
    return applied;
}

void TSaveSizePosAction::SavePlacement() {
    try {
        Ref<IWindowHandler> handler = WindowHandler();
        if (!handler) return;
        const HWND window = handler->GetWindow();
        UniqueRegKey opened = OpenWindowRulesKey(handler->GetRuleName(), true);
        if (!opened) return;
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);  // 44
        if (!::GetWindowPlacement(window, &placement)) return;
        for (int i = 0; i < 9; ++i) {
            const std::wstring value = RegistryValueName(name_ + kPlacementValueSuffixes[i]);
            const DWORD data = static_cast<DWORD>(*Fields(placement, i));
            if (::RegSetValueExW(opened.get(), value.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&data), sizeof(data)) != ERROR_SUCCESS)
                return;  // the values written so far stay
        }
    } catch (...) {
    }
}

void TSaveSizePosAction::RestorePlacement() {
    try {
        Ref<IWindowHandler> handler = WindowHandler();
        if (!handler) return;
        const HWND window = handler->GetWindow();
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        placement.flags = 0;
        {
            UniqueRegKey opened = OpenWindowRulesKey(handler->GetRuleName(), false);
            if (!opened) return;
            for (int i = 0; i < 9; ++i) {
                const std::wstring value = RegistryValueName(name_ + kPlacementValueSuffixes[i]);
                DWORD type = 0, data = 0, size = sizeof(data);
                if (::RegQueryValueExW(opened.get(), value.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
                    type != REG_DWORD || size != sizeof(data))
                    return;  // nothing is applied
                *Fields(placement, i) = static_cast<LONG>(data);
            }
        }
        // Setting the placement sends messages to the window's thread:
        // made on that thread only.
        if (!MayWaitForWindow() || !IsWindowThread(window)) return;
        ::SetWindowPlacement(window, &placement);
    } catch (...) {
    }
}

}  // namespace omb::ea
