// The panels of a rule's actions: one group of rows, a check box per action
// with the action's caption, and for the run-mode action a second row with
// a drop-down list of the run modes.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "config/panels/panel_base.h"

namespace omb::config {

// The actions that get a row: a name shows when ";" + name + ";" occurs in
// this text (exact case).
extern const char* const kActionFilter;

class TActionsContentDetailPanel;

// The group box around the rows; the rows live in an inner content panel
// this panel creates, binds and frees.
class TActionsDetailPanel : public TDetailPanelFrame {
public:
    TActionsDetailPanel();
    ~TActionsDetailPanel() override;
    const char* ClassName() const override { return "TActionsDetailPanel"; }
    void SetObject(IBOMObject* object) override;
    void ClearObject() override;
    bool CanRebind(IBOMObject* object) override;
    void Rebind(IBOMObject* object) override;
    void Notify(int code, int value1, int value2) override;
    void UpdateView() override;
    void UpdateLanguage() override;
    std::string GetTitle() override;

    forms::TGroupBox* GroupBox = nullptr;
    TActionsContentDetailPanel* Content() const { return content_.get(); }

private:
    forms::TComponentPtr<TActionsContentDetailPanel> content_;
};

// The stacked rows of the actions that pass the filter.
class TActionsContentDetailPanel : public TDetailPanelFrame {
public:
    TActionsContentDetailPanel();
    const char* ClassName() const override { return "TActionsContentDetailPanel"; }
    void SetObject(IBOMObject* object) override;
    void UpdateLanguage() override;

protected:
    std::vector<Ref<IBOMObject>> EmbeddedObjects(IBOMObject* object) override;
};

class TActionDetailPanel : public TDetailPanelFrame {
public:
    TActionDetailPanel() : TActionDetailPanel(true) {}
    const char* ClassName() const override { return "TActionDetailPanel"; }
    void UpdateView() override;

    forms::TPanel* EnabledPanel = nullptr;
    TPanelCheckBox* EnabledCheckBox = nullptr;
    forms::TPanel* ActionDetailPanel = nullptr;
    forms::TPanel* IndentPanel = nullptr;

protected:
    // A subclass that adds controls ends the layout itself.
    explicit TActionDetailPanel(bool endLayout);
    bool loading_ = false;
};

class TRunModeActionDetailPanel : public TActionDetailPanel {
public:
    TRunModeActionDetailPanel();
    const char* ClassName() const override { return "TRunModeActionDetailPanel"; }
    void UpdateView() override;
    void UpdateLanguage() override;
    void FillRunModes();
    // The index of the last pair whose key equals the mode exactly; 0 when
    // none does.
    void SelectRunMode(const std::string& mode);
    // Key and display text of each run mode, in list order.
    const std::vector<std::array<std::string, 2>>& RunModes() const { return runModes_; }

    forms::TLabel* RunAsLabel = nullptr;
    forms::TComboBox* RunAsComboBox = nullptr;

private:
    void RunAsComboBoxChange();
    std::vector<std::array<std::string, 2>> runModes_;
};

}  // namespace omb::config
