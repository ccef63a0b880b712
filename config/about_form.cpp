#include "config/about_form.h"

#include "config/detail_panel.h"
#include "forms/application.h"
#include "foundation/languages.h"

namespace omb::config {

using namespace forms;

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
    TComponentPtr<TAboutForm> holder = MakeComponent<TAboutForm>(owner);
    TAboutForm& dialog = *holder;
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
    FreeDetailPanel(panel.release());
    return size;
}

}  // namespace omb::config
