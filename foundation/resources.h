// Routines on the program's resources.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// Writes the named resource of the given type in the module to the file,
// replacing it. True when the resource was found and written whole; a file
// that could not be written whole is removed.
bool SaveResourceToFile(HMODULE module, LPCSTR resourceName, LPCSTR resourceType,
                        const std::string& fileName);

}  // namespace omb
