// OmbrelConfig: the configuration editor. The user writes window rules
// here; the command center carries them out.
#include <windows.h>

#include <commctrl.h>

#include "config/about_form.h"
#include "config/cb_app.h"
#include "config/cb_app_form.h"
#include "config/detail_panel.h"
#include "config/panels/rule_panels.h"
#include "foundation/classes.h"
#include "foundation/handles.h"
#include "foundation/init_language.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "model/window_rules.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace omb;
    // Common controls (version 6 through the manifest) before any window.
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                              ICC_COOL_CLASSES | ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    config::InitEditorForms(::GetModuleHandleW(nullptr));
    RegisterSharedMessages();
    CreateClassRegistry();
    RegisterModelClasses();
    CreateDetailPanelRegistry();
    config::RegisterEditorPanels();
    CreateMultiLanguages();
    SetEditorWindowFactory(&config::CreateEditorWindow);

    ApplicationKind = 2;
    // The application object takes the program folder, where the languages
    // are, before they are scanned: the working folder may be any other.
    auto app = std::make_unique<config::TCBApp>();
    int exitCode = 0;
    {
        ComInit com;
        InitLanguage();
        if (app->Initialize()) app->Run();
        app->Done();
        exitCode = app->ExitCode();
        app.reset();
    }
    SetEditorWindowFactory(nullptr);
    FreeMultiLanguages();
    FreeDetailPanelRegistry();
    FreeClassRegistry();
    return exitCode;
}
