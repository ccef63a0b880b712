// The build's distribution folder as a Windows path ending in "\". The
// including target defines OMB_DIST_DIR_UNIX, the folder as the build saw it:
// a host path under Wine (drive Z: is the host's root), or a path with a
// drive letter when built on Windows.
#pragma once

#include <string>

namespace omb::test {

// A path as the build saw it, as a Windows path.
inline std::string WindowsPathOf(std::string path) {
    if (path.size() < 2 || path[1] != ':') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

#ifdef OMB_DIST_DIR_UNIX
inline std::string DistFolderFromBuild() {
    std::string path = WindowsPathOf(OMB_DIST_DIR_UNIX);
    if (path.back() != '\\') path += '\\';
    return path;
}
#endif

}  // namespace omb::test
