#include "config/panels/action_panels.h"

#include "forms/application.h"
#include "foundation/errors.h"
#include "foundation/languages.h"
#include "foundation/params.h"

namespace omb::config {

using namespace forms;

const char* const kActionFilter = ";CloseWindow;RunMode;;SaveSizePos;;StayOnTop;;CloseQuery;";

namespace {
const char* const kDefaultRunModes = "normal=Normal Window;minimize=Minimized Window;maximize=Maximized Window";
}

// ---------------------------------------------------------- actions group

TActionsDetailPanel::TActionsDetailPanel() {
    BeginLoading();
    SetName("ActionsDetailPanel");
    SetBounds(0, 0, 128, 40);
    GroupBox = new TGroupBox(this);
    GroupBox->SetName("GroupBox");
    GroupBox->SetParent(this);
    GroupBox->SetAlign(TAlign::alClient);
    GroupBox->SetText(" Windows actions ");
    EndLoading();
}

TActionsDetailPanel::~TActionsDetailPanel() {
    // The rows belong to the action objects: only the inner panel goes.
    content_.reset();
}

void TActionsDetailPanel::SetObject(IBOMObject* object) {
    // The inner panel of an earlier object serves again once its rows have
    // gone (put aside with their objects); one still holding rows is
    // replaced.
    if (!content_ || content_->ControlCount() > 0) content_.reset(new TActionsContentDetailPanel());
    content_->SetAlign(TAlign::alNone);
    content_->SetObject(object);
    TDetailPanelFrame::SetObject(object);
    // The group is as high as its rows plus what its frame and caption
    // really take in its font.
    GroupBox->SetAlign(TAlign::alNone);
    GroupBox->SetHeight(content_->Height() + GroupBoxChromeHeight(GroupBox));
    SetClientHeight(GroupBox->Height());
    content_->SetParent(GroupBox);
    content_->SetAlign(TAlign::alClient);
    GroupBox->SetAlign(TAlign::alClient);
}

void TActionsDetailPanel::ClearObject() {
    if (content_) content_->ClearObject();
    TDetailPanelFrame::ClearObject();
}

bool TActionsDetailPanel::CanRebind(IBOMObject* object) {
    return content_ && content_->ControlCount() > 0 && TDetailPanelFrame::CanRebind(object) &&
           content_->CanRebind(object);
}

void TActionsDetailPanel::Rebind(IBOMObject* object) {
    editedObject_ = object;
    // The rows and the group's caption follow the inner panel.
    content_->Rebind(object);
}

void TActionsDetailPanel::Notify(int code, int value1, int value2) {
    if (content_) content_->Notify(code, value1, value2);
    TDetailPanelFrame::Notify(code, value1, value2);
}

void TActionsDetailPanel::UpdateView() {
    TDetailPanelFrame::UpdateView();
    if (content_) content_->UpdateView();
}

void TActionsDetailPanel::UpdateLanguage() {
    TDetailPanelFrame::UpdateLanguage();
    GroupBox->SetText(GroupCaption(GetTitle()));
}

std::string TActionsDetailPanel::GetTitle() { return content_ ? content_->GetTitle() : title_; }

// --------------------------------------------------------- actions content

TActionsContentDetailPanel::TActionsContentDetailPanel() {
    BeginLoading();
    SetName("ActionsContentDetailPanel");
    SetBounds(0, 0, 128, 0);
    EndLoading();
}

void TActionsContentDetailPanel::SetObject(IBOMObject* object) {
    TDetailPanelFrame::SetObject(object);
    int height = 0;
    for (const Ref<IBOMObject>& item : EmbeddedObjects(object))
        if (TControl* row = EmbedObjectPanel(item.get(), this)) height += row->Height();
    SetClientHeight(height);
}

std::vector<Ref<IBOMObject>> TActionsContentDetailPanel::EmbeddedObjects(IBOMObject* object) {
    std::vector<Ref<IBOMObject>> rows;
    Ref<IBOMCollection> items = object ? Ref<IBOMObject>(object).As<IBOMCollection>() : Ref<IBOMCollection>();
    if (!items) return rows;
    const std::string filter = kActionFilter;
    for (int i = 0; i < items->Count(); ++i) {
        Ref<IBOMObject> item = items->GetItem(Variant(i));
        if (item && filter.find(";" + item->GetName() + ";") != std::string::npos) rows.push_back(item);
    }
    return rows;
}

void TActionsContentDetailPanel::UpdateLanguage() {
    TDetailPanelFrame::UpdateLanguage();
    title_ = GetMLString("ASDP_Caption", "Windows actions");
}

// -------------------------------------------------------------- action row

TActionDetailPanel::TActionDetailPanel(bool endLayout) {
    BeginLoading();
    SetName("ActionDetailPanel");
    SetBounds(0, 0, 181, 24);
    const TEnabledRow row =
        BuildEnabledRow(this, this, "EnabledPanel", {0, 0, 181, 24}, {5, 3, 172, 19}, loading_);
    EnabledPanel = row.panel;
    EnabledCheckBox = row.checkBox;
    EnabledCheckBox->SetAnchors(akLeft | akTop | akRight);
    ActionDetailPanel = new TPanel(this);
    ActionDetailPanel->SetName("ActionDetailPanel");
    ActionDetailPanel->SetParent(this);
    ActionDetailPanel->SetAlign(TAlign::alClient);
    IndentPanel = new TPanel(this);
    IndentPanel->SetName("IndentPanel");
    IndentPanel->SetParent(ActionDetailPanel);
    IndentPanel->SetAlign(TAlign::alLeft);
    IndentPanel->SetWidth(20);
    if (endLayout) EndLoading();
}

void TActionDetailPanel::UpdateView() {
    TDetailPanelFrame::UpdateView();
    TLoadingGuard guard(loading_);
    IBOMObject* object = editedObject_.get();
    std::string value;
    if (ReadParam(object, "enabled", value)) EnabledCheckBox->SetChecked(value == "yes");
    std::string hint = EnabledCheckBox->Hint();
    if (ReadParam(object, "caption", value) || ReadParam(object, "name", value)) {
        SetTextIfNew(EnabledCheckBox, value);
        hint = value;
    }
    if (ReadParam(object, "hint", value)) hint = value;
    SetHintIfNew(EnabledCheckBox, hint);
}

// ---------------------------------------------------------- run-mode row

TRunModeActionDetailPanel::TRunModeActionDetailPanel() : TActionDetailPanel(false) {
    SetName("RunModeActionDetailPanel");
    SetHeight(48);
    RunAsLabel = new TLabel(this);
    RunAsLabel->SetName("RunAsLabel");
    RunAsLabel->SetParent(ActionDetailPanel);
    // Beside the indent, as high as the row, its text centred vertically.
    RunAsLabel->SetAutoSize(false);
    RunAsLabel->SetBounds(20, 0, 40, 24);
    RunAsLabel->SetLayoutCentered(true);
    RunAsLabel->SetText("Run as: ");
    RunAsComboBox = new TComboBox(this);
    RunAsComboBox->SetName("RunAsComboBox");
    RunAsComboBox->SetParent(ActionDetailPanel);
    RunAsComboBox->SetStyle(TComboBoxStyle::csDropDownList);
    RunAsComboBox->SetBounds(64, 2, 114, 21);
    RunAsComboBox->SetAnchors(akLeft | akTop | akRight);
    RunAsComboBox->OnChange = [this](TComponent*) {
        if (!loading_ && editedObject_) RunAsComboBoxChange();
    };
    EndLoading();
}

void TRunModeActionDetailPanel::UpdateLanguage() {
    TActionDetailPanel::UpdateLanguage();
    TTwoArrayOfString pairs;
    ParseKeyValues(GetMLString("RMADP_RunModes", kDefaultRunModes), pairs, ';', '=');
    runModes_.clear();
    for (const auto& p : pairs)
        if (!p[0].empty() || !p[1].empty()) runModes_.push_back(p);
    RunAsLabel->SetText(GetMLString("RMADP_RunAs", "Run as:"));
    // The label is as wide as its text; the list keeps its right edge.
    const int labelWidth = RunAsLabel->TextExtent().cx;
    RunAsLabel->SetWidth(labelWidth);
    const int right = RunAsComboBox->Left() + RunAsComboBox->Width();
    const int left = RunAsLabel->Left() + labelWidth + Scaled(4);
    RunAsComboBox->SetBounds(left, RunAsComboBox->Top(), std::max(0, right - left), RunAsComboBox->Height());
    {
        TLoadingGuard guard(loading_);
        const int index = RunAsComboBox->ItemIndex();
        FillRunModes();
        RunAsComboBox->SetItemIndex(index);
    }
    if (editedObject_) UpdateView();
}

void TRunModeActionDetailPanel::FillRunModes() {
    RunAsComboBox->ClearItems();
    for (const auto& p : runModes_) RunAsComboBox->AddItem(p[1]);
}

void TRunModeActionDetailPanel::SelectRunMode(const std::string& mode) {
    int index = 0;
    for (size_t i = 0; i < runModes_.size(); ++i)
        if (runModes_[i][0] == mode) index = static_cast<int>(i);
    TLoadingGuard guard(loading_);
    // Sent only when another item is to show: the list repaints otherwise.
    const int wanted = runModes_.empty() ? -1 : index;
    if (RunAsComboBox->ItemIndex() != wanted) RunAsComboBox->SetItemIndex(wanted);
}

void TRunModeActionDetailPanel::UpdateView() {
    TActionDetailPanel::UpdateView();
    std::string mode = "normal";
    ReadParam(editedObject_.get(), "run_mode", mode);
    SelectRunMode(mode);
}

void TRunModeActionDetailPanel::RunAsComboBoxChange() {
    std::string current;
    if (!ReadParam(editedObject_.get(), "run_mode", current)) return;
    const int index = RunAsComboBox->ItemIndex();
    const std::string text = index >= 0 ? RunAsComboBox->Item(index) : RunAsComboBox->Text();
    for (const auto& p : runModes_)
        if (p[1] == text) SetObjectParam("run_mode", Variant(p[0]));
    UpdateView();
}

}  // namespace omb::config
