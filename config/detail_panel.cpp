#include "config/detail_panel.h"

namespace omb::config {

TDetailPanelFrame::TDetailPanelFrame() : forms::TFrame(nullptr) {
    SetBounds(0, 0, 108, 20);
    SetAlign(forms::TAlign::alClient);
}

void TDetailPanelFrame::PutAside() {
    ClearObject();
    SetParent(nullptr);
}

void TDetailPanelFrame::Loaded() {
    forms::TFrame::Loaded();
    designWidth_ = Width();
    designHeight_ = Height();
}

}  // namespace omb::config
