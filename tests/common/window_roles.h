// What the child processes of the end-to-end tests tell about their windows.
#pragma once

namespace omb::test {

// A window property that a child's window sets when it receives
// WM_EXTENDER_ATTACHED: a rule of the command center is attached to it.
constexpr const wchar_t* kAttachedProperty = L"OmbTestAttached";

}  // namespace omb::test
