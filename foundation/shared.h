// Declarations every deliverable compiles in: the registered window messages
// and the process-wide values that say which program runs and where it lives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace omb {

// Registered window messages (fall-back numbers until RegisterSharedMessages
// runs, and when registration fails).
extern UINT WM_TRAY_CALLBACK;
extern UINT WM_EXTENDER_ATTACHED;
extern UINT WM_APPLY_RULES;
extern UINT WM_CONFIG_CHANGED;
extern UINT WM_WNDPROC_REPLACED;
// WM_CONFIG_CHANGED's wParam for a window that a rule still answers for
// after a reload: its new rule follows (WM_APPLY_RULES), so what the old one
// did to it stays until the new one is there. 0: no rule follows.
constexpr WPARAM kConfigChangedRuleFollows = 1;

// Registers the five messages, in their documented order.
void RegisterSharedMessages();

extern const char* const ProductName;           // "Ombrel"
extern const char* const TrayDefaultIconName;   // "TRAYDEFAULT"
extern const char* const TraySelectedIconName;  // "TRAYSELECTED" + frame 1 to 3

// 0 in the hook library, 1 in the command center, 2 in the editor.
extern uint8_t ApplicationKind;
// Folder of the running program, ending in "\"; empty until set.
extern std::string AppPath;
// "Ombrel.ini" once the program's application object has set it.
extern std::string SettingsFileName;

constexpr const char* kSettingsFileName = "Ombrel.ini";
constexpr const char* kChannelName = "{C72EF911-6833-49E6-90F4-2A0DB00F501F}";
constexpr const char* kHookHandleBlockName = "{8E33D106-0EF5-406F-9D5E-E932A36EE33D}";
constexpr const char* kConfigInstanceName = "{46EF0219-E5CA-4C90-BCF2-8F3673C60AA0}";
constexpr const char* kCenterInstanceName = "{40F45976-FC44-4D7D-A60E-E476059A9079}";
constexpr const char* kRegistryRoot = "SOFTWARE\\Quennet\\Ombrel";

// The folder of the given module's file, ending in "\".
std::string ModuleFolder(HMODULE module);

}  // namespace omb
