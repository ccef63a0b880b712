// The options dialog with its one page: start at log-on, the command
// center's tray icon and the user-interface language.
#pragma once

#include <string>

#include "forms/controls.h"
#include "forms/form.h"

namespace omb::config {

// A page of the options dialog (391 x 216).
class TAbstractOptionsFrame : public forms::TFrame {
public:
    explicit TAbstractOptionsFrame(forms::TComponent* owner);
    const char* ClassName() const override { return "TAbstractOptionsFrame"; }
    // Fills the controls from the stored settings and translates them.
    virtual void Load() {}
    // The dialog is going.
    virtual void Cancel() {}
    // Writes the controls to the stored settings.
    virtual void Save() {}
    virtual std::string GetCaption() { return caption_; }

protected:
    std::string caption_;
};

// Where the general page keeps its values (tests point it elsewhere).
struct TOptionsKeys {
    std::string centerKey = "SOFTWARE\\Quennet\\Ombrel\\Command Center";
    std::string runKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    std::string languageKey = "SOFTWARE\\Quennet\\Ombrel";
};
TOptionsKeys& OptionsKeys();

// The log-on start value for the command center in `folder` (ending in
// "\"): quoted, so a folder with blanks never starts another program.
std::string RunValueFor(const std::string& folder);
// Whether a stored log-on value names the command center of `folder`,
// quoted or not, in any letter case.
bool RunValueNames(const std::string& value, const std::string& folder);

class TGeneralOptionsFrame : public TAbstractOptionsFrame {
public:
    explicit TGeneralOptionsFrame(forms::TComponent* owner);
    const char* ClassName() const override { return "TGeneralOptionsFrame"; }
    void Load() override;
    void Save() override;
    std::string GetCaption() override;
    void FillLanguages(const std::string& storedId);

    forms::TCheckBox* LoadAtStartupCheckBox;
    forms::TCheckBox* EnableTrayIconCheckBox;
    forms::TLabel* LanguageLabel;
    forms::TComboBox* LanguageComboBox;
    forms::TLabel* LanguageNoteLabel;
};

class TOptionsForm : public forms::TForm {
public:
    explicit TOptionsForm(forms::TComponent* owner);
    ~TOptionsForm() override;
    const char* ClassName() const override { return "TOptionsForm"; }

    forms::TPanel* CommandPanel;
    forms::TButton* OKButton;
    forms::TButton* CancelButton;
    TGeneralOptionsFrame* Page = nullptr;

private:
    void FormCreate();
};

}  // namespace omb::config
