// The wait cursor for as long as a long step runs (a save, a load): such a
// step handles no messages, so the cursor set here stays until it ends.
// Nested ones show it once; the last to go puts the cursor back.
#pragma once

#include <windows.h>

namespace omb::forms {

class TWaitCursor {
public:
    TWaitCursor() {
        // The system's wait cursor (IDC_WAIT); the arrow (IDC_ARROW) when none was set.
        const HCURSOR before = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
        if (Depth()++ == 0) Before() = before;
    }
    ~TWaitCursor() {
        if (--Depth() == 0) ::SetCursor(Before() ? Before() : ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
    }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    static int& Depth() {
        static int depth = 0;
        return depth;
    }
    static HCURSOR& Before() {
        static HCURSOR before = nullptr;
        return before;
    }
};

}  // namespace omb::forms
