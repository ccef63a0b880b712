#include "forms/placement_values.h"

#include <cstdio>

#include "forms/application.h"
#include "forms/str_utils.h"

namespace omb::forms {

namespace {

std::string FourInts(long a, long b, long c, long d) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%ld,%ld,%ld,%ld", a, b, c, d);
    return buffer;
}

// Word n of a placement text as an integer; the default when it is missing
// or not a number.
int IntWord(int n, const std::string& text, int defaultValue) {
    int value = 0;
    return TryStrToInt(GetWord(n, text, TCharSet(" ,")), value) ? value : defaultValue;
}

bool IsMainOrNoMain(const TForm* form) {
    return Application().MainForm() == form || Application().MainForm() == nullptr;
}

}  // namespace

std::string ComponentSectionName(const TComponent* component) {
    if (!component) return std::string();
    if (dynamic_cast<const TForm*>(component)) return component->ClassName();
    if (auto* control = dynamic_cast<const TControl*>(component)) {
        if (TForm* form = const_cast<TControl*>(control)->ParentForm())
            return form->ClassName() + control->Name();
        if (control->Parent()) return control->Parent()->Name() + control->Name();
        return control->Name();
    }
    if (dynamic_cast<const TForm*>(component->Owner()))
        return std::string(component->Owner()->ClassName()) + "." + component->Name();
    return component->Name();
}

void WriteFormPlacementValues(TForm* form, TCustomIniStore* store, const std::string& section) {
    HWND h = form->Handle();
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(h, &wp);
    // The main form stands for the application: minimized with it.
    if (Application().MainForm() == form && ::IsIconic(h)) wp.showCmd = SW_SHOWMINIMIZED;
    WriteIniOrRegInteger(store, section, "Flags", int(wp.flags));
    WriteIniOrRegInteger(store, section, "ShowCmd", int(wp.showCmd));
    WriteIniOrRegInteger(store, section, "PixelsPerInch", Screen().PixelsPerInch());
    WriteScreenValue(
        store, section, "MinMaxPos",
        FourInts(wp.ptMinPosition.x, wp.ptMinPosition.y, wp.ptMaxPosition.x, wp.ptMaxPosition.y));
    WriteScreenValue(store, section, "NormPos",
                     FourInts(wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
                              wp.rcNormalPosition.bottom));
}

void ReadFormPlacementValues(TForm* form, TCustomIniStore* store, const std::string& section,
                             bool restoreState, bool restorePosition) {
    if (!restoreState && !restorePosition) return;
    HWND h = form->Handle();
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(h, &wp);
    if (!::IsWindowVisible(h)) wp.showCmd = SW_HIDE;
    if (restorePosition) {
        bool read = false;
        wp.flags = UINT(ReadIniOrRegInteger(store, section, "Flags", int(wp.flags)));
        std::string text = ReadScreenValue(store, section, "MinMaxPos");
        if (!text.empty()) {
            wp.ptMinPosition = {IntWord(1, text, 0), IntWord(2, text, 0)};
            wp.ptMaxPosition = {IntWord(3, text, 0), IntWord(4, text, 0)};
            read = true;
        }
        text = ReadScreenValue(store, section, "NormPos");
        if (!text.empty()) {
            wp.rcNormalPosition = {IntWord(1, text, form->Left()), IntWord(2, text, form->Top()),
                                   IntWord(3, text, form->Left() + form->Width()),
                                   IntWord(4, text, form->Top() + form->Height())};
            read = true;
        }
        const int ppi = Screen().PixelsPerInch();
        if (ReadIniOrRegInteger(store, section, "PixelsPerInch", ppi) != ppi) read = false;
        if (read) {
            const TFormBorderStyle border = form->BorderStyle();
            if (border != TFormBorderStyle::bsSizeable && border != TFormBorderStyle::bsSizeToolWin) {
                wp.rcNormalPosition.right = wp.rcNormalPosition.left + form->Width();
                wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + form->Height();
            }
            if (wp.rcNormalPosition.right > wp.rcNormalPosition.left) {
                // A centred form would be centred again: it keeps the
                // position it is given now.
                if (form->Position() == TPosition::poScreenCenter ||
                    form->Position() == TPosition::poDesktopCenter)
                    form->SetPosition(TPosition::poDesigned);
                ::SetWindowPlacement(h, &wp);
            }
        }
    }
    if (restoreState) {
        TWindowState state = TWindowState::wsNormal;
        if (IsMainOrNoMain(form) && form->Position() == TPosition::poDefault)
            state = TWindowState::wsMaximized;
        switch (ReadIniOrRegInteger(store, section, "ShowCmd", SW_HIDE)) {
            case SW_SHOWNORMAL:
            case SW_SHOW:
            case SW_RESTORE:
                state = TWindowState::wsNormal;
                break;
            case SW_SHOWMINIMIZED:
            case SW_MINIMIZE:
            case SW_SHOWMINNOACTIVE:
                state = TWindowState::wsMinimized;
                break;
            case SW_SHOWMAXIMIZED:
                state = TWindowState::wsMaximized;
                break;
            default:
                break;
        }
        if (state == TWindowState::wsMinimized && IsMainOrNoMain(form)) {
            form->RecordWindowState(TWindowState::wsNormal);
            // The application has no window of its own: its main form, or
            // this form while there is none, stands for it.
            if (Application().MainForm() == form)
                Application().Minimize();
            else
                ::PostMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        }
        form->SetWindowState(state);
    }
    if (form->HandleAllocated()) form->Repaint();
}

void StoreFormPlacementToRegistry(TForm* form, TRegIniFile* store, const std::string& section) {
    WriteFormPlacementValues(form, store, section);
}

void StoreFormPlacementToIni(TForm* form, TIniFile* store, const std::string& section) {
    WriteFormPlacementValues(form, store, section);
}

void RestoreFormPlacementFromRegistry(TForm* form, TRegIniFile* store, const std::string& section,
                                      bool restoreState, bool restorePosition) {
    ReadFormPlacementValues(form, store, section, restoreState, restorePosition);
}

void RestoreFormPlacementFromIni(TForm* form, TIniFile* store, const std::string& section, bool restoreState,
                                 bool restorePosition) {
    ReadFormPlacementValues(form, store, section, restoreState, restorePosition);
}

}  // namespace omb::forms
