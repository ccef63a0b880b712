// OmbrelCenter: the background program that installs the hook library on the
// whole desktop and tells every hooked process which rule applies to a window.
#include <windows.h>

#include "center/cc_app.h"
#include "foundation/classes.h"
#include "foundation/handles.h"
#include "foundation/init_language.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "model/window_rules.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace omb;
    // What the units set up before the program runs, in order.
    RegisterSharedMessages();
    CreateClassRegistry();
    RegisterModelClasses();
    SetKeepUnread(false);  // the rules are served, never saved: nothing unread to keep
    CreateMultiLanguages();
    CCApp = new TCCApp();

    ApplicationKind = 1;
    {
        ComInit com;
        InitLanguage();
        if (CCApp->Initialize()) CCApp->Run();
        CCApp->Finalize();
        delete CCApp;
        CCApp = nullptr;
    }
    FreeMultiLanguages();
    FreeClassRegistry();
    return 0;
}
