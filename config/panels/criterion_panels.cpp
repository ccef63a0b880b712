#include "config/panels/criterion_panels.h"

#include <algorithm>

#include "forms/application.h"
#include "foundation/languages.h"
#include "foundation/winfuncs.h"

namespace omb::config {

using namespace forms;

// ------------------------------------------------------------------ base

TAbstractCriterionDetailPanel::TAbstractCriterionDetailPanel() {
    // The concrete panels add their controls and end the layout.
    BeginLoading();
    SetName("AbstractCriterionDetailPanel");
    SetBounds(0, 0, 245, 28);
    EnabledCheckBox = new TPanelCheckBox(this);
    EnabledCheckBox->SetName("EnabledCheckBox");
    EnabledCheckBox->SetParent(this);
    EnabledCheckBox->SetBounds(8, 6, 17, 17);
    EnabledCheckBox->OnClick = [this](TComponent*) {
        if (loading_ || !editedObject_) return;
        std::string value;
        if (ReadParam(editedObject_.get(), "enabled", value))
            SetObjectParam("enabled", Variant(std::string(EnabledCheckBox->Checked() ? "yes" : "no")));
    };
}

void TAbstractCriterionDetailPanel::UpdateView() {
    TDetailPanelFrame::UpdateView();
    TLoadingGuard guard(loading_);
    std::string value;
    if (ReadParam(editedObject_.get(), "enabled", value)) EnabledCheckBox->SetChecked(value == "yes");
}

void TAbstractCriterionDetailPanel::PlaceComboAfterLabel(TLabel* label, TControl* combo, int gap) {
    const int labelWidth = label->TextExtent().cx;
    label->SetWidth(labelWidth);
    const int right = combo->Left() + combo->Width();
    const int left = label->Left() + labelWidth + Scaled(gap);
    combo->SetBounds(left, combo->Top(), std::max(0, right - left), combo->Height());
}

void TAbstractCriterionDetailPanel::BuildValueRow(const char* labelName, const char* labelCaption,
                                                  const char* comboName, int comboWidth, TLabel*& label,
                                                  TPanelComboBox*& combo) {
    EnabledCheckBox->SetTop(9);
    label = new TLabel(this);
    label->SetName(labelName);
    label->SetParent(this);
    // As wide as its text (set with the layout), as high as the combo box.
    label->SetAutoSize(false);
    label->SetBounds(30, 7, 78, 21);
    label->SetLayoutCentered(true);
    label->SetText(labelCaption);
    combo = new TPanelComboBox(this);
    combo->SetName(comboName);
    combo->SetParent(this);
    combo->SetBounds(111, 7, comboWidth, 21);
    combo->SetAnchors(akLeft | akTop | akRight);
    combo->SetAutoHistory(true);
    combo->SetAutoCompletion(true);
    combo->SetCapacity(0);
    TPanelComboBox* box = combo;
    combo->OnExit = [this](TComponent*) {
        if (!loading_ && editedObject_) StoreValue();
    };
    combo->OnKeyPress = [this, box](TComponent*, wchar_t& key) {
        if (key != 13 || loading_ || !editedObject_) return;
        const int start = box->SelStart(), length = box->SelLength();
        StoreValue();
        box->SetSel(start, length);
        key = 0;
    };
}

void TAbstractCriterionDetailPanel::LoadCombo(TPanelComboBox* combo, const std::string& param) {
    std::string value;
    if (!ReadParam(editedObject_.get(), param, value)) return;
    SetTextIfNew(combo, value);
    combo->AddToHistory();
}

// ----------------------------------------------------------- window class

TWindowClassCriterionDetailPanel::TWindowClassCriterionDetailPanel() {
    SetName("WindowClassCriterionDetailPanel");
    SetBounds(0, 0, 246, 28);
    BuildValueRow("WindowClassLabel", "window class:  ", "WindowClassComboBox", 132, WindowClassLabel,
                  WindowClassComboBox);
    EndLoading();
}

void TWindowClassCriterionDetailPanel::UpdateView() {
    TAbstractCriterionDetailPanel::UpdateView();
    TLoadingGuard guard(loading_);
    LoadCombo(WindowClassComboBox, "window_class_name");
}

void TWindowClassCriterionDetailPanel::UpdateLanguage() {
    TAbstractCriterionDetailPanel::UpdateLanguage();
    WindowClassLabel->SetText(GetMLString("WClCDP_Caption", WindowClassLabel->Text()));
    WindowClassLabel->SetHint(GetMLString("WClCDP_Hint", WindowClassLabel->Hint()));
    WindowClassComboBox->SetHint(WindowClassLabel->Hint());
    PlaceComboAfterLabel(WindowClassLabel, WindowClassComboBox, 5);
}

void TWindowClassCriterionDetailPanel::SetFromWindow(HWND window) {
    WindowClassComboBox->SetText(GetWindowClassName(window));
    StoreClassName();
}

void TWindowClassCriterionDetailPanel::StoreClassName() {
    SetObjectParam("window_class_name", Variant(WindowClassComboBox->Text()));
}

// --------------------------------------------------------- window caption

TWindowCaptionCriterionDetailPanel::TWindowCaptionCriterionDetailPanel() {
    SetName("WindowCaptionCriterionDetailPanel");
    SetBounds(0, 0, 211, 65);
    BuildValueRow("WindowCaptionLabel", "window caption:  ", "WindowCaptionComboBox", 97, WindowCaptionLabel,
                  WindowCaptionComboBox);
    auto radio = [this](const char* name, int top, const char* caption) {
        auto* r = new TRadioButton(this);
        r->SetName(name);
        r->SetParent(this);
        r->SetBounds(32, top, 176, 17);
        r->SetAnchors(akLeft | akTop | akRight);
        r->SetText(caption);
        r->OnClick = [this](TComponent*) {
            if (!loading_ && editedObject_) StoreExactSearch();
        };
        return r;
    };
    ExactSearchTrueRadioButton = radio("ExactSearchTrueRadioButton", 30, "exact match");
    ExactSearchFalseRadioButton = radio("ExactSearchFalseRadioButton", 48, "substring");
    EndLoading();
}

void TWindowCaptionCriterionDetailPanel::UpdateView() {
    TAbstractCriterionDetailPanel::UpdateView();
    TLoadingGuard guard(loading_);
    LoadCombo(WindowCaptionComboBox, "window_caption");
    std::string exact;
    if (ReadParam(editedObject_.get(), "exact_search", exact)) {
        // The guard keeps the radio buttons' clicks from writing back. The
        // buttons show what the matcher does: only "no" searches for a
        // substring, any other value (a hand-written "No" too) compares the
        // whole caption. The value stays as it is until the user picks.
        ExactSearchTrueRadioButton->SetChecked(exact != "no");
        ExactSearchFalseRadioButton->SetChecked(exact == "no");
    }
}

void TWindowCaptionCriterionDetailPanel::UpdateLanguage() {
    TAbstractCriterionDetailPanel::UpdateLanguage();
    WindowCaptionLabel->SetText(GetMLString("WCCDP_Caption", WindowCaptionLabel->Text()));
    WindowCaptionLabel->SetHint(GetMLString("WCCDP_Hint", WindowCaptionLabel->Hint()));
    WindowCaptionComboBox->SetHint(WindowCaptionLabel->Hint());
    PlaceComboAfterLabel(WindowCaptionLabel, WindowCaptionComboBox, 5);
    WindowCaptionComboBox->SetHint(GetMLString("WCCDP_Hint", WindowCaptionComboBox->Hint()));
    ExactSearchTrueRadioButton->SetText(GetMLString("WCCDP_ExactMatch", ExactSearchTrueRadioButton->Text()));
    ExactSearchTrueRadioButton->SetHint(GetMLString("WCCDP_ExactMatchHint", ExactSearchTrueRadioButton->Hint()));
    ExactSearchFalseRadioButton->SetText(GetMLString("WCCDP_SubstringMatch", ExactSearchFalseRadioButton->Text()));
    ExactSearchFalseRadioButton->SetHint(
        GetMLString("WCCDP_SubstringMatchHint", ExactSearchFalseRadioButton->Hint()));
}

void TWindowCaptionCriterionDetailPanel::SetFromWindow(HWND window) {
    WindowCaptionComboBox->SetText(GetWindowCaption(window));
    StoreCaption();
}

void TWindowCaptionCriterionDetailPanel::StoreCaption() {
    SetObjectParam("window_caption", Variant(WindowCaptionComboBox->Text()));
}

void TWindowCaptionCriterionDetailPanel::StoreExactSearch() {
    SetObjectParam("exact_search", Variant(std::string(ExactSearchTrueRadioButton->Checked() ? "yes" : "no")));
}

}  // namespace omb::config
