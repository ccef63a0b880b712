// The one-row panels of a condition's criteria: a check box switching the
// criterion on or off, a label and a history combo box with the value; the
// caption criterion also chooses between an exact and a substring match.
// The condition panel lets each of them take its value from a window the
// user picked with the finder.
#pragma once

#include <windows.h>

#include "config/panels/panel_base.h"

namespace omb::config {

class TAbstractCriterionDetailPanel : public TDetailPanelFrame {
public:
    TAbstractCriterionDetailPanel();
    const char* ClassName() const override { return "TAbstractCriterionDetailPanel"; }
    void UpdateView() override;
    // Takes the criterion's value from a live window and stores it at once.
    virtual void SetFromWindow(HWND window) { (void)window; }

    TPanelCheckBox* EnabledCheckBox = nullptr;

protected:
    // The label keeps its place; the combo box keeps its right edge and
    // starts `gap` design pixels right of the label.
    static void PlaceComboAfterLabel(forms::TLabel* label, forms::TControl* combo, int gap);
    // Builds a label and a history combo box of the row; the combo box
    // stores its text on leaving, on Enter (keeping the caret) and when a
    // form commits the edit in progress.
    void BuildValueRow(const char* labelName, const char* labelCaption, const char* comboName, int comboWidth,
                       forms::TLabel*& label, TPanelComboBox*& combo);
    virtual void StoreValue() {}
    void LoadCombo(TPanelComboBox* combo, const std::string& param);
    bool loading_ = false;
};

class TWindowClassCriterionDetailPanel : public TAbstractCriterionDetailPanel {
public:
    TWindowClassCriterionDetailPanel();
    const char* ClassName() const override { return "TWindowClassCriterionDetailPanel"; }
    void UpdateView() override;
    void UpdateLanguage() override;
    void SetFromWindow(HWND window) override;
    void StoreClassName();

    forms::TLabel* WindowClassLabel = nullptr;
    TPanelComboBox* WindowClassComboBox = nullptr;

protected:
    void StoreValue() override { StoreClassName(); }
};

class TWindowCaptionCriterionDetailPanel : public TAbstractCriterionDetailPanel {
public:
    TWindowCaptionCriterionDetailPanel();
    const char* ClassName() const override { return "TWindowCaptionCriterionDetailPanel"; }
    void UpdateView() override;
    void UpdateLanguage() override;
    void SetFromWindow(HWND window) override;
    void StoreCaption();
    void StoreExactSearch();

    forms::TLabel* WindowCaptionLabel = nullptr;
    TPanelComboBox* WindowCaptionComboBox = nullptr;
    forms::TRadioButton* ExactSearchTrueRadioButton = nullptr;
    forms::TRadioButton* ExactSearchFalseRadioButton = nullptr;

protected:
    void StoreValue() override { StoreCaption(); }
};

}  // namespace omb::config
