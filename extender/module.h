// The module whose resources and window classes the library uses.
#pragma once

#include <windows.h>

namespace omb::ea {

// The instance set by SetLibraryInstance (the hook library's entry sets its
// own), otherwise the module that holds this code.
HINSTANCE LibraryInstance();
void SetLibraryInstance(HINSTANCE instance);

}  // namespace omb::ea
