// One message of a window, as the library's window methods see it.
#pragma once

#include <windows.h>

namespace omb::ea {

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;  // what the system gets back
};

}  // namespace omb::ea
