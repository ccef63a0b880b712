// The editor's application object: one editor at a time, COM, the
// application title, the configuration loaded into the model, and the run
// of the root's editor role.
#pragma once

#include <string>

#include "foundation/com.h"
#include "foundation/xml_storage.h"
#include "model/root.h"

namespace omb::config {

// The form library's start in the editor, before any window: whether the
// user's dates show four-digit years, the library's screen cursors, and
// the program's icon ("MAINICON") on every window it shows.
void InitEditorForms(HINSTANCE instance);

class TCBApp {
public:
    TCBApp();
    ~TCBApp();
    TCBApp(const TCBApp&) = delete;
    TCBApp& operator=(const TCBApp&) = delete;

    // False when another editor runs (it is brought forward), COM failed or
    // the configuration did not load.
    bool Initialize();
    // False when the configuration file did not load, which is said in a
    // message box: a file that is missing, or one that is there and does
    // not load (LoadFailureMessage).
    bool LoadModel();
    void Run();
    void ReleaseModel();
    void Done();

    IBOMObjectSlave* Root() const { return root_.get(); }
    // The program's exit code: 1 when it could not start (COM, or a
    // configuration that did not load); 0 otherwise, also when another
    // editor was brought forward.
    int ExitCode() const { return failed_ ? 1 : 0; }

private:
    Ref<IBOMObjectSlave> root_;
    bool comInitialized_ = false;
    bool failed_ = false;
};

}  // namespace omb::config
