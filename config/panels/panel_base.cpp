#include "config/panels/panel_base.h"

#include <algorithm>

#include "forms/extra_controls.h"

namespace omb::config {

TEnabledRow BuildEnabledRow(TDetailPanelFrame* frame, forms::TControl* container, const char* panelName,
                            const forms::TBounds& panelBounds, const forms::TBounds& checkBoxBounds,
                            const bool& loading) {
    auto* panel = new forms::TPanel(frame);
    panel->SetName(panelName);
    panel->SetParent(container);
    panel->SetAlign(forms::TAlign::alTop);
    panel->SetBounds(panelBounds.left, panelBounds.top, panelBounds.width, panelBounds.height);
    auto* box = new TPanelCheckBox(frame);
    box->SetName("EnabledCheckBox");
    box->SetParent(panel);
    box->SetBounds(checkBoxBounds.left, checkBoxBounds.top, checkBoxBounds.width, checkBoxBounds.height);
    box->OnClick = [frame, box, &loading](forms::TComponent*) {
        if (loading || !frame->EditedObject()) return;
        std::string value;
        if (!ReadParam(frame->EditedObject(), "enabled", value)) return;
        frame->SetObjectParam("enabled", Variant(std::string(box->Checked() ? "yes" : "no")));
        frame->UpdateView();
    };
    return TEnabledRow{panel, box};
}

forms::TControl* EmbedObjectPanel(IBOMObject* child, forms::TControl* container) {
    if (!child || !container) return nullptr;
    Ref<IUIElement> element = child->QueryRole("UIElement").As<IUIElement>();
    if (!element) return nullptr;
    forms::TControl* panel = PanelControl(element->GetDetailPanel("DefaultDetailPanel"));
    if (!panel) return nullptr;
    panel->SetAlign(forms::TAlign::alTop);
    // Top-aligned children stack in list order: the new one goes last, and
    // its top below the others keeps it there in the layout too.
    int bottom = 0;
    for (size_t i = 0; i < container->ControlCount(); ++i) {
        forms::TControl* c = container->Control(i);
        if (c != panel && c->Align() == forms::TAlign::alTop) bottom = std::max(bottom, c->Top() + c->Height());
    }
    panel->SetTop(bottom);
    // An aligned child gets no more than the room left: make the room
    // first, up to the panel being built (it is sized to its rows after).
    if (!dynamic_cast<forms::TScrollBox*>(container)) {
        const RECT area = container->ClientRectForChildren();
        const int deficit = bottom + panel->Height() - static_cast<int>(area.bottom - area.top);
        for (forms::TControl* c = container; c && deficit > 0; c = c->Parent()) {
            c->SetHeight(c->Height() + deficit);
            if (dynamic_cast<TDetailPanelFrame*>(c)) break;
        }
    }
    panel->SetParent(container);
    panel->SetVisible(true);
    for (forms::TControl* c = container; c; c = c->Parent())
        if (auto* frame = dynamic_cast<TDetailPanelFrame*>(c)) {
            frame->NoteEmbedded(child);
            break;
        }
    return panel;
}

void SetTextIfNew(forms::TControl* control, const std::string& text) {
    if (control->Text() != text) control->SetText(text);
}

void SetHintIfNew(forms::TControl* control, const std::string& hint) {
    if (control->Hint() != hint) control->SetHint(hint);
}

forms::TControl* EmbedChildPanel(IBOMObject* object, const std::string& path, forms::TControl* container) {
    if (!object) return nullptr;
    Ref<IBOMObject> child = object->GetObject(path);
    return EmbedObjectPanel(child.get(), container);
}

bool ReadParam(IBOMObject* object, const std::string& name, std::string& value) {
    if (!object) return false;
    Ref<IBOMParam> param = object->GetObject("params/" + name).As<IBOMParam>();
    if (!param) return false;
    value = param->GetValue().ToText();
    return true;
}

std::string TrimCaption(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    return text.substr(b, e - b);
}

std::string GroupCaption(const std::string& text) { return " " + text + " "; }

int GroupBoxChromeHeight(forms::TGroupBox* box) {
    const RECT in = box->FrameInsets();
    return in.top + in.bottom;
}

}  // namespace omb::config
