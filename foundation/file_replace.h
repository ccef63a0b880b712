// Replacing a file with new content so that a failure never costs the last
// good copy, and never a file that the save did not make.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "foundation/handles.h"

namespace omb {

// The file calls with which a save makes its own files beside the target
// and puts the new one in the target's place, the system's unless
// replaced. Tests put failing ones here to see what a failed save keeps.
struct TSaveFileCalls {
    BOOL(WINAPI* replaceFile)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) = ::ReplaceFileW;
    BOOL(WINAPI* moveFile)(LPCWSTR, LPCWSTR, DWORD) = ::MoveFileExW;
    DWORD(WINAPI* fileAttributes)(LPCWSTR) = ::GetFileAttributesW;
    // The attempt-th name to try for a file of the save's own in the folder
    // (which ends with a separator). Whatever it answers, the save takes
    // only a name under which it could make a new file.
    std::wstring (*newName)(const std::wstring& folder, const wchar_t* prefix, unsigned attempt) = nullptr;
};
TSaveFileCalls& SaveFileCalls();

// A new, empty file in the folder (which ends with a separator), opened for
// writing, its name made of the prefix, a number and ".tmp": never a file
// that is there, whatever SaveFileCalls().newName proposes. Its name goes to
// `name`. Raises EOSError naming the folder and `purpose` (what the file is
// for, in words) when no new file can be made there.
UniqueHandle CreateNewFileIn(const std::string& folder, const wchar_t* prefix, const std::string& purpose,
                             std::wstring& name);

// Writes the bytes to a new file beside the file, lets `readsBack` check
// the new file (it answers false when what was written does not read
// back), then puts it in the file's place. The file keeps its security and
// attributes, readers that hold it open do not stop the save, and a link
// is saved through to the file it leads to. Raises EOSError (EOleError
// when the new file does not read back) with a message in words; the
// existing file is then left whole, except where a replacement stopped
// half-way and took it away: then the new content stays in its file, the
// old goes back in its place, and the message names where each is.
void ReplaceFileWith(const std::string& fileName, const std::string& bytes,
                     const std::function<bool(const std::string& written)>& readsBack);

}  // namespace omb
