// Running the real command center from a copy of the distribution folder
// with a configuration written the way the editor writes it: shared by the
// end-to-end tests and the desktop benchmark.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "foundation/channel.h"
#include "foundation/handles.h"
#include "foundation/shared.h"
#include "model/root.h"
#include "model/window_rules.h"
#include "tests/foundation/xml_test_support.h"

namespace omb::test {

// Polls the condition every 50 ms; whether it came true in time.
bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds = 8000);
// The build's distribution folder, as a Windows path ending in "\".
std::string DistFolder();
bool BlockExists(const char* name);
HWND WindowOf(const char* className);
// The top-level window of a class and caption (our UTF-8 texts).
HWND WindowOf(const std::string& className, const std::string& caption);
bool TopMost(HWND window);
// The message box a process shows, or nullptr.
HWND MessageBoxOf(DWORD process);
// The text of the message box the process shows, which is then closed with
// its OK button; empty when none came within the time.
std::string CloseMessageBox(DWORD process, DWORD milliseconds = 8000);

// A copy of the distribution folder (a fresh copy of the hook library for
// every run: Wine keeps a hook library loaded as long as its server runs).
class Installation {
public:
    Installation();
    ~Installation();
    std::string Path(const std::string& file) const { return folder_.Path(file); }
    const std::string& Folder() const { return folder_.Name(); }

    // Starts the command center; true once it has hooked. It waits first
    // until the command center of an earlier test has gone, unless told not
    // to; it stops waiting when the program shows a message box.
    bool Start(bool afterPrevious = true);
    // Waits for the program's end: its exit code, or -1 while it runs.
    long Ended(DWORD milliseconds);
    HANDLE Process() const { return process_.get(); }

    // Sends a command on the command channel; the channel's answer.
    static int Command(int32_t code, const std::string& data = std::string(), std::string* reply = nullptr,
                       int32_t* replyCode = nullptr);

private:
    TempFolder folder_;
    UniqueHandle process_;
};

// A configuration built with the rule model and saved as the editor saves.
class Config {
public:
    Config();
    ~Config();
    // A rule for windows of a class; its conditions and actions as the
    // template gives them.
    IBOMObject* Rule(const std::string& name, const std::string& className, bool enabled = true);
    // A rule for windows of a caption, whole or as a substring (no class).
    IBOMObject* CaptionRule(const std::string& name, const std::string& caption, bool exact);
    static void Set(IBOMObject* object, const std::string& path, const std::string& value);
    // Switches an action of the rule on, optionally setting one parameter.
    void Action(IBOMObject* rule, const char* action, const char* param = nullptr,
                const char* value = nullptr);
    bool Save(const std::string& file);
    std::string TextFor(HWND window) { return root_->FindWindowCommand(window); }

private:
    Ref<TTarvelWindows> root_;
};

}  // namespace omb::test
