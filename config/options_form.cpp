#include "config/options_form.h"

#include "forms/application.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"

namespace omb::config {

using namespace forms;

namespace {

UniqueRegKey OpenKey(const std::string& path, bool write) {
    HKEY key = nullptr;
    LONG rc;
    if (write)
        rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, ToWide(path).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                               nullptr, &key, nullptr);
    else
        rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(path).c_str(), 0, KEY_READ, &key);
    return UniqueRegKey(rc == ERROR_SUCCESS ? key : nullptr);
}

bool ReadString(HKEY key, const char* name, std::string& value) {
    DWORD type = 0, size = 0;
    const std::wstring wname = ToWide(name);
    if (::RegQueryValueExW(key, wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size) !=
        ERROR_SUCCESS)
        return false;
    buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
    value = FromWide(buffer);
    return true;
}

void WriteString(HKEY key, const char* name, const std::string& value) {
    const std::wstring w = ToWide(value);
    ::RegSetValueExW(key, ToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                     DWORD((w.size() + 1) * sizeof(wchar_t)));
}

template <typename T> T* Make(TComponent* owner, TControl* parent, const char* name, int left, int top, int width,
                              int height) {
    T* control = new T(owner);
    control->SetName(name);
    control->SetParent(parent);
    control->SetBounds(left, top, width, height);
    return control;
}

}  // namespace

TOptionsKeys& OptionsKeys() {
    static TOptionsKeys keys;
    return keys;
}

std::string RunValueFor(const std::string& folder) { return "\"" + folder + "OmbrelCenter.exe\""; }

bool RunValueNames(const std::string& value, const std::string& folder) {
    return AnsiUpperCase(value).find(AnsiUpperCase(folder + "OmbrelCenter.exe")) != std::string::npos;
}

// ------------------------------------------------------------------ pages

TAbstractOptionsFrame::TAbstractOptionsFrame(TComponent* owner) : TFrame(owner) {
    SetBounds(0, 0, 391, 216);
}

TGeneralOptionsFrame::TGeneralOptionsFrame(TComponent* owner) : TAbstractOptionsFrame(owner) {
    BeginLoading();
    SetName("GeneralOptionsFrame");
    LoadAtStartupCheckBox = Make<TCheckBox>(this, this, "LoadAtStartupCheckBox", 8, 8, 377, 17);
    LoadAtStartupCheckBox->SetText("Load at startup");
    EnableTrayIconCheckBox = Make<TCheckBox>(this, this, "EnableTrayIconCheckBox", 8, 32, 377, 17);
    EnableTrayIconCheckBox->SetText("Enable tray icon");
    LanguageLabel = Make<TLabel>(this, this, "LanguageLabel", 8, 64, 51, 13);
    LanguageLabel->SetText("Language:");
    LanguageComboBox = Make<TComboBox>(this, this, "LanguageComboBox", 8, 80, 375, 21);
    LanguageComboBox->SetStyle(TComboBoxStyle::csDropDownList);
    LanguageComboBox->SetSorted(true);
    LanguageNoteLabel = Make<TLabel>(this, this, "LanguageNoteLabel", 8, 104, 377, 25);
    LanguageNoteLabel->SetAutoSize(false);
    LanguageNoteLabel->SetWordWrap(true);
    LanguageNoteLabel->SetAnchors(akLeft | akTop | akRight);
    LanguageNoteLabel->SetText("Restart program for language's change to take effect");
    EndLoading();
}

std::string TGeneralOptionsFrame::GetCaption() { return GetMLString("mid_GOF_Caption", "General"); }

void TGeneralOptionsFrame::Load() {
    caption_ = GetMLString("mid_GOF_Caption", "General");
    LoadAtStartupCheckBox->SetText(GetMLString("GOF_LoadAtStartup", "Load at startup"));
    EnableTrayIconCheckBox->SetText(GetMLString("GOF_EnableTrayIcon", "Enable tray icon"));
    bool tray = true;
    std::string runValue, storedId;
    try {
        if (UniqueRegKey key = OpenKey(OptionsKeys().centerKey, false)) {
            DWORD type = 0, value = 0, size = sizeof(value);
            if (::RegQueryValueExW(key.get(), L"trayicon", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD)
                tray = value != 0;
        }
        if (UniqueRegKey key = OpenKey(OptionsKeys().runKey, false)) ReadString(key.get(), "Ombrel", runValue);
        if (UniqueRegKey key = OpenKey(OptionsKeys().languageKey, false)) ReadString(key.get(), "Language", storedId);
    } catch (const std::exception&) {
        tray = true;
        runValue.clear();
    }
    EnableTrayIconCheckBox->SetChecked(tray);
    LoadAtStartupCheckBox->SetChecked(RunValueNames(runValue, AppPath));
    FillLanguages(storedId);
}

void TGeneralOptionsFrame::FillLanguages(const std::string& storedId) {
    LanguageComboBox->ClearItems();
    TLanguages* languages = GetLanguages();
    if (!languages) return;
    TLanguage* selected = nullptr;
    for (int i = 0; i < languages->Count(); ++i) {
        TLanguage* language = languages->Get(Variant(i));
        if (!language) continue;
        LanguageComboBox->AddItem(language->DisplayName(), language);
        if (language->Id == storedId) selected = language;
    }
    for (int i = 0; selected && i < LanguageComboBox->ItemCount(); ++i)
        if (LanguageComboBox->ItemObject(i) == selected) LanguageComboBox->SetItemIndex(i);
}

void TGeneralOptionsFrame::Save() {
    if (UniqueRegKey key = OpenKey(OptionsKeys().centerKey, true)) {
        const DWORD value = EnableTrayIconCheckBox->Checked() ? 1 : 0;
        ::RegSetValueExW(key.get(), L"trayicon", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    if (UniqueRegKey key = OpenKey(OptionsKeys().runKey, true)) {
        if (LoadAtStartupCheckBox->Checked())
            WriteString(key.get(), "Ombrel", RunValueFor(AppPath));
        else
            ::RegDeleteValueW(key.get(), L"Ombrel");
    }
    const int index = LanguageComboBox->ItemIndex();
    if (index >= 0)
        if (auto* language = static_cast<TLanguage*>(LanguageComboBox->ItemObject(index)))
            if (UniqueRegKey key = OpenKey(OptionsKeys().languageKey, true))
                WriteString(key.get(), "Language", language->Id);
}

// ----------------------------------------------------------------- dialog

TOptionsForm::TOptionsForm(TComponent* owner) : TForm(owner) {
    BeginLoading();
    SetName("OptionsForm");
    // A size from the start: laid out in a window of no size, the command
    // panel would shrink to nothing and stay so.
    SetBounds(0, 0, 391, 257);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(TPosition::poOwnerFormCenter);
    CommandPanel = Make<TPanel>(this, this, "CommandPanel", 0, 216, 391, 41);
    CommandPanel->SetAlign(TAlign::alBottom);
    OKButton = Make<TButton>(this, CommandPanel, "OKButton", 216, 8, 75, 25);
    OKButton->SetModalResult(mrOk);
    OKButton->SetDefault(true);
    OKButton->SetAnchors(akTop | akRight);
    CancelButton = Make<TButton>(this, CommandPanel, "CancelButton", 304, 8, 75, 25);
    CancelButton->SetModalResult(mrCancel);
    CancelButton->SetCancel(true);
    CancelButton->SetAnchors(akTop | akRight);
    EndLoading();
    HandleNeeded();
    SetClientWidth(Scaled(391));
    SetClientHeight(Scaled(257));
    FormCreate();
}

void TOptionsForm::FormCreate() {
    SetText(GetMLString("OptionsForm_Caption", "Options"));
    OKButton->SetText(GetMLString("OptionsForm_OKCommand", "OK"));
    CancelButton->SetText(GetMLString("OptionsForm_CancelCommand", "Cancel"));
    Page = new TGeneralOptionsFrame(this);
    Page->Load();
    Page->SetParent(this);
    Page->SetAlign(TAlign::alClient);
    OKButton->OnClick = [this](TComponent*) { Page->Save(); };
}

TOptionsForm::~TOptionsForm() {
    if (Page) Page->Cancel();
}

}  // namespace omb::config
