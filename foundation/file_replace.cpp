#include "foundation/file_replace.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <vector>

#include "foundation/errors.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb {

namespace {

// Deletes a file of the save's own when it goes out of scope unless told to
// keep it.
class FileRemover {
public:
    FileRemover() = default;
    ~FileRemover() {
        if (!name_.empty()) ::DeleteFileW(name_.c_str());
    }
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;
    void Own(std::wstring name) { name_ = std::move(name); }
    void Keep() { name_.clear(); }

private:
    std::wstring name_;
};

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }
std::string Quoted(const std::wstring& name) { return "\"" + FromWide(name) + "\""; }

// A name that differs from one call to the next, from one process to
// another and from one start to the next; whether it is free is for the
// file's creation to tell.
std::wstring ProposedName(const std::wstring& folder, const wchar_t* prefix, unsigned attempt) {
    static std::atomic<unsigned> made{0};
    unsigned value = ::GetCurrentProcessId() * 2654435761u;
    value ^= unsigned(::GetTickCount64()) * 40503u;
    value ^= (made.fetch_add(1, std::memory_order_relaxed) + attempt) * 0x9E3779B9u;
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%08X", value);
    return folder + prefix + digits + L".tmp";
}

std::string FolderOf(const std::string& fileName) {
    char full[MAX_PATH * 4];
    char* namePart = nullptr;
    DWORD n = ::GetFullPathNameA(fileName.c_str(), DWORD(sizeof(full)), full, &namePart);
    if (n == 0 || n >= sizeof(full) || !namePart)
        throw EOSError(LastErrorText(("The file name " + Quoted(fileName) + " cannot be used").c_str()));
    return std::string(full, size_t(namePart - full));
}

bool NotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Something of that name is there for certain.
bool Present(const std::wstring& name) {
    return SaveFileCalls().fileAttributes(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteAll(HANDLE file, const std::string& bytes, const std::string& fileName) {
    auto failed = [&] {
        throw EOSError(LastErrorText(("The new content could not be written beside " + Quoted(fileName)).c_str()));
    };
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20)), written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) failed();
        done += written;
    }
    if (!::FlushFileBuffers(file)) failed();
}

// The file a path leads to, through any links; the path itself when it
// names no file yet or cannot be resolved.
std::string FinalPathOf(const std::string& fileName) {
    UniqueHandle file(::CreateFileW(ToWide(fileName).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return fileName;
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = ::GetFinalPathNameByHandleW(file.get(), buffer, DWORD(MAX_PATH * 4), FILE_NAME_NORMALIZED);
    if (n == 0 || n >= MAX_PATH * 4) return fileName;
    std::wstring path(buffer, n);
    // "\\?\C:\..." and "\\?\UNC\server\..." back to their usual forms.
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        path = L"\\\\" + path.substr(8);
    else if (path.compare(0, 4, L"\\\\?\\") == 0)
        path = path.substr(4);
    return FromWide(path);
}

// The new file takes the security and the attributes of the file whose
// place it takes.
void TakeSecurityAndAttributes(const std::wstring& from, const std::wstring& source, DWORD kept) {
    DWORD size = 0;
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    ::GetFileSecurityW(source.c_str(), what, nullptr, 0, &size);
    if (size > 0) {
        std::vector<BYTE> security(size);
        if (::GetFileSecurityW(source.c_str(), what, security.data(), size, &size))
            ::SetFileSecurityW(from.c_str(), what, security.data());
    }
    ::SetFileAttributesW(from.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
}

// Whether the file set aside holds the old content: the save made it empty
// to hold the name, and only a replacement that moved the old file there
// fills it.
bool HoldsOldContent(const std::wstring& aside) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(aside.c_str(), GetFileExInfoStandard, &data)) return Present(aside);
    return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

// Puts the new file in the place of the target. An existing target is
// replaced in the way that keeps what belongs to the file rather than to its
// content (its security, its attributes such as hidden, its creation time)
// and that lets readers holding it open go on reading the old content; where
// that cannot serve (a file system without it), the new file takes the
// target's security and attributes and is moved over it. The old file is
// set aside under the name `aside` (a file of the save's own) while it is
// replaced.
// False with the system's error when it did not go through; `gone` then
// says that the target is no longer there (a replacement that stopped
// half-way moved it aside or removed it) and the new content could not take
// its place either: the new file is then the only copy of it.
bool ReplaceWithNew(const std::wstring& to, const std::wstring& from, const std::wstring& backup, bool& gone) {
    const TSaveFileCalls& calls = SaveFileCalls();
    gone = false;
    DWORD attributes = calls.fileAttributes(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Unless it is known that nothing is there, nothing is touched.
        if (!NotFound(::GetLastError())) return false;
        if (calls.moveFile(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
        if (::GetLastError() != ERROR_ALREADY_EXISTS && ::GetLastError() != ERROR_FILE_EXISTS) return false;
        // Made meanwhile: replaced as any other.
        attributes = calls.fileAttributes(to.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {  // never a folder in a file's place
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    bool replaced = calls.replaceFile(to.c_str(), from.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                                      nullptr, nullptr) != FALSE;
    if (!replaced) {
        const DWORD error = ::GetLastError();
        // Where the target was left as it was, the new file is moved over
        // it. Otherwise it is gone (set aside, or removed) or already the
        // new file.
        if (Present(to) && (error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                            error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
                            error == ERROR_INVALID_PARAMETER)) {
            TakeSecurityAndAttributes(from, to, kept);
            replaced = calls.moveFile(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
                       FALSE;
        }
        // The target gone, the new content takes its place.
        if (!replaced && !Present(to)) {
            if (HoldsOldContent(backup)) TakeSecurityAndAttributes(from, backup, kept);
            replaced = calls.moveFile(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
            gone = !replaced && !Present(to);
        }
        if (!replaced) {
            ::SetLastError(error);
            return false;
        }
    }
    // Some implementations of the replacement carry the content only.
    const DWORD now = calls.fileAttributes(to.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kept) != kept) ::SetFileAttributesW(to.c_str(), now | kept);
    return true;
}

// Whether another program holds the file open without letting it be
// replaced.
bool HeldByAnotherProgram(const std::wstring& name) {
    UniqueHandle file(::CreateFileW(name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const DWORD error = file ? 0 : ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Why the target could not be replaced, for the calling thread's last
// error.
std::string ReplaceFailure(const std::string& fileName, const std::wstring& target) {
    DWORD error = ::GetLastError();
    std::string what = Quoted(fileName) + " could not be replaced";
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || HeldByAnotherProgram(target)) {
        if (error != ERROR_LOCK_VIOLATION) error = ERROR_SHARING_VIOLATION;
        what = "Another program is using " + Quoted(fileName) + ", so it could not be replaced";
    }
    return what + ": " + SystemErrorText(error);
}

}  // namespace

TSaveFileCalls& SaveFileCalls() {
    static TSaveFileCalls calls;
    return calls;
}

UniqueHandle CreateNewFileIn(const std::string& folder, const wchar_t* prefix, const std::string& purpose,
                             std::wstring& name) {
    const TSaveFileCalls& calls = SaveFileCalls();
    const std::wstring where = ToWide(folder);
    constexpr unsigned kAttempts = 64;
    for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
        name = calls.newName ? calls.newName(where, prefix, attempt) : ProposedName(where, prefix, attempt);
        // CREATE_NEW fails when anything of that name is there.
        UniqueHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        const DWORD error = ::GetLastError();
        // A name taken by a file or a folder: the next one. (A folder, or a
        // file on its way out, may answer "access denied".)
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        if (error == ERROR_ACCESS_DENIED && ::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        ::SetLastError(error);
        throw EOSError(LastErrorText(("No file can be made in the folder " + Quoted(folder) + " " + purpose).c_str()));
    }
    name.clear();
    throw EOSError("No file can be made in the folder " + Quoted(folder) + " " + purpose +
                   ": every new name tried there is taken by a file that is there.");
}

void ReplaceFileWith(const std::string& fileName, const std::string& bytes,
                     const std::function<bool(const std::string& written)>& readsBack) {
    // A link is saved through: the file it leads to is replaced, beside it.
    const std::string target = FinalPathOf(fileName);
    const std::string folder = FolderOf(target);
    FileRemover newContent, oldContent;
    std::wstring temp, aside;
    const std::string beside = "beside " + Quoted(fileName);
    {
        UniqueHandle file = CreateNewFileIn(folder, L"~xs", beside, temp);
        newContent.Own(temp);
        WriteAll(file.get(), bytes, fileName);
    }
    // What was written must read back before it may replace anything.
    if (!readsBack(FromWide(temp)))
        throw EOleError("The document written for " + Quoted(fileName) + " does not read back.");
    // The name under which the old file is set aside while it is replaced,
    // held by an empty file of the save's own: a replacement that stops
    // half-way leaves the old content there, where it can be found again.
    CreateNewFileIn(folder, L"~xo", beside, aside);
    oldContent.Own(aside);
    const std::wstring to = ToWide(target);
    bool gone = false;
    if (ReplaceWithNew(to, temp, aside, gone)) {
        newContent.Keep();  // it is the file now
        return;
    }
    std::string message = ReplaceFailure(fileName, to);
    if (gone) {
        // Neither copy may be lost: the new content stays where it is, and
        // the old content goes back in its place, or stays where it was set.
        newContent.Keep();
        message += " The new content is kept in " + Quoted(temp) + ".";
        if (HoldsOldContent(aside)) {
            oldContent.Keep();  // moved back, or the only copy of the old content
            if (!SaveFileCalls().moveFile(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
                message += " The previous content is in " + Quoted(aside) + ".";
        }
    }
    throw EOSError(message);
}

}  // namespace omb
