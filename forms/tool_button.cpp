// Tool buttons: the items of a tool bar (caption, image, style, a drop-down
// menu), kept in the object and shown through the bar.
#include "forms/toolbar.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/toolbar_shared.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

// -------------------------------------------------------------- TToolButton

const TPropTable& TToolButton::StaticProps() {
    static const TPropTable table{
        &TComponent::StaticProps(),
        {StrProp<TToolButton>("Caption", &TToolButton::Caption, &TToolButton::SetCaption),
         StrProp<TToolButton>("Hint", &TToolButton::Hint, &TToolButton::SetHint),
         IntProp<TToolButton, int>("ImageIndex", &TToolButton::ImageIndex, &TToolButton::SetImageIndex),
         BoolProp<TToolButton>("Enabled", &TToolButton::Enabled, &TToolButton::SetEnabled),
         BoolProp<TToolButton>("Visible", &TToolButton::Visible, &TToolButton::SetVisible),
         EnumProp<TToolButton, TToolButtonStyle>("Style", {"tbsButton", "tbsSeparator", "tbsDropDown", "tbsCheck"},
                                                 &TToolButton::Style, &TToolButton::SetStyle),
         BoolProp<TToolButton>("AutoSize", &TToolButton::AutoSize, &TToolButton::SetAutoSize),
         IntProp<TToolButton, int>("Width", &TToolButton::Width, &TToolButton::SetWidth),
         BoolProp<TToolButton>("Grouped", &TToolButton::Grouped, &TToolButton::SetGrouped)}};
    return table;
}

TToolButton::TToolButton(TComponent* owner) : TComponent(owner) {}

TToolButton::~TToolButton() {
    MarkDestroying();
    if (menu_) menu_->RemoveFreeNotification(this);
    if (bar_) bar_->RemoveButton(this);
}

void TToolButton::SetToolBar(TToolBar* bar) {
    if (bar == bar_) return;
    if (bar_) bar_->RemoveButton(this);
    if (bar) bar->InsertButton(this);
}

int TToolButton::Index() const { return bar_ ? bar_->IndexOf(this) : -1; }

void TToolButton::Changed() {
    if (bar_) bar_->ButtonChanged(this);
}

void TToolButton::SetCaption(const std::string& value) {
    if (value == caption_) return;
    caption_ = value;
    Changed();
}

void TToolButton::SetImageIndex(int value) {
    if (value == imageIndex_) return;
    imageIndex_ = value;
    Changed();
}

void TToolButton::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (bar_ && bar_->WindowHandle())
        ::SendMessageW(bar_->WindowHandle(), TB_ENABLEBUTTON, static_cast<WPARAM>(command_), MAKELONG(value, 0));
}

void TToolButton::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    if (bar_ && bar_->WindowHandle()) {
        ::SendMessageW(bar_->WindowHandle(), TB_HIDEBUTTON, static_cast<WPARAM>(command_), MAKELONG(!value, 0));
        bar_->AdjustSize();
    }
}

bool TToolButton::Down() const {
    if (bar_ && bar_->WindowHandle() && style_ == TToolButtonStyle::tbsCheck)
        return ::SendMessageW(bar_->WindowHandle(), TB_ISBUTTONCHECKED, static_cast<WPARAM>(command_), 0) != 0;
    return down_;
}

void TToolButton::SetDown(bool value) {
    down_ = value;
    if (bar_ && bar_->WindowHandle())
        ::SendMessageW(bar_->WindowHandle(), TB_CHECKBUTTON, static_cast<WPARAM>(command_), MAKELONG(value, 0));
}

void TToolButton::SetStyle(TToolButtonStyle value) {
    if (value == style_) return;
    style_ = value;
    Changed();
}

void TToolButton::SetAutoSize(bool value) {
    if (value == autoSize_) return;
    autoSize_ = value;
    Changed();
}

void TToolButton::SetWidth(int value) {
    value = std::max(0, value);
    if (value == width_) return;
    width_ = value;
    Changed();
}

void TToolButton::SetDropdownMenu(TPopupMenu* menu) {
    if (menu == menu_) return;
    if (menu_) menu_->RemoveFreeNotification(this);
    menu_ = menu;
    if (menu_) menu_->FreeNotification(this);
}

void TToolButton::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == menu_) {
        if (TPopupMenu::Current() == menu_) TPopupMenu::CloseCurrent();
        menu_ = nullptr;
    }
}

RECT TToolButton::BoundsRect() const {
    RECT r{0, 0, 0, 0};
    if (bar_ && bar_->WindowHandle() && visible_)
        ::SendMessageW(bar_->WindowHandle(), TB_GETRECT, static_cast<WPARAM>(command_), reinterpret_cast<LPARAM>(&r));
    return r;
}

bool TToolButton::Click() {
    if (!enabled_) return false;
    Fire(OnClick, this);
    return true;
}

}  // namespace omb::forms
