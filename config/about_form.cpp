#include "config/about_form.h"

#include "config/detail_panel.h"
#include "forms/application.h"
#include "foundation/languages.h"

namespace omb::config {

using namespace forms;

namespace {

// Shown until the real about panel is registered.
class TFallbackAboutPanel : public TDetailPanelFrame {
public:
    TFallbackAboutPanel() {
        BeginLoading();
        SetName("AboutPanel");
        SetBounds(0, 0, 391, 216);
        product_ = new TLabel(this);
        product_->SetParent(this);
        product_->SetBounds(16, 16, 300, 16);
        product_->SetFont(TFontSpec{"MS Sans Serif", -16, true});
        note_ = new TLabel(this);
        note_->SetParent(this);
        note_->SetBounds(16, 48, 359, 40);
        note_->SetAutoSize(false);
        note_->SetWordWrap(true);
        EndLoading();
    }
    const char* ClassName() const override { return "TFallbackAboutPanel"; }
    void UpdateLanguage() override { UpdateView(); }
    void UpdateView() override {
        product_->SetText(GetMLString("AboutPanel_Product", "%appname%"));
        note_->SetText(GetMLString("AboutPanel_Note", "Window rules for every program on the desktop."));
    }

private:
    TLabel* product_;
    TLabel* note_;
};

}  // namespace

void RegisterFallbackAboutPanel() {
    if (!FindDetailPanelClass("AboutPanel")) RegisterDetailPanelClass<TFallbackAboutPanel>("AboutPanel");
}

TAboutForm::TAboutForm(TComponent* owner) : TForm(owner) {
    BeginLoading();
    SetName("AboutForm");
    // A size from the start: laid out in a window of no size, the command
    // panel would shrink to nothing and stay so.
    SetBounds(0, 0, 391, 257);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(TPosition::poOwnerFormCenter);
    CommandPanel = new TPanel(this);
    CommandPanel->SetName("CommandPanel");
    CommandPanel->SetParent(this);
    CommandPanel->SetBounds(0, 216, 391, 41);
    CommandPanel->SetAlign(TAlign::alBottom);
    CloseButton = new TButton(this);
    CloseButton->SetName("CloseButton");
    CloseButton->SetParent(CommandPanel);
    CloseButton->SetBounds(304, 8, 75, 25);
    CloseButton->SetAnchors(akTop | akRight);
    CloseButton->SetModalResult(mrOk);
    CloseButton->SetDefault(true);
    CloseButton->SetCancel(true);
    EndLoading();
    HandleNeeded();
    SetClientWidth(Scaled(391));
    SetClientHeight(Scaled(257));
    // FormCreate
    SetText(GetMLString("AboutForm_Caption", "About") + " " + Application().Title());
    CloseButton->SetText(GetMLString("AboutForm_CloseCommand", "Close"));
}

SIZE ShowAboutDialog(TForm* owner) {
    SIZE size{0, 0};
    TAboutForm dialog(owner);
    std::unique_ptr<TAbstractDetailPanel> panel = CreateDetailPanel("AboutPanel");
    TDetailPanelFrame* frame = TDetailPanelFrame::FromPanel(panel.get());
    if (frame) {
        const int width = frame->DesignWidth(), height = frame->DesignHeight();
        dialog.SetClientWidth(width);
        dialog.SetClientHeight(dialog.CommandPanel->Height() + height);
        frame->SetParent(&dialog);
        panel->UpdateView();
    }
    size.cx = dialog.ClientWidth();
    size.cy = dialog.ClientHeight();
    dialog.ShowModal();
    if (frame) frame->SetParent(nullptr);
    return size;
}

}  // namespace omb::config
