#include "xml_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/handles.h"

namespace omb::test {

namespace {

// Every test of this binary uses the XML service on the main thread.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { com_ = new ComInit(); }
    void TearDown() override {
        delete com_;
        com_ = nullptr;
    }

private:
    ComInit* com_ = nullptr;
};

const ::testing::Environment* const g_com = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

void RemoveTree(const std::string& folder) {
    for (const std::string& name : FilesMatching(folder, "*")) {
        const std::string path = folder + name;
        DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(path + "\\");
        } else {
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        }
    }
    ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
    char base[MAX_PATH + 1];
    ::GetTempPathA(DWORD(sizeof(base)), base);
    for (unsigned i = 0; i < 1000 && name_.empty(); ++i) {
        std::string candidate = std::string(base) + "omb_xml_" + std::to_string(::GetCurrentProcessId()) +
                                "_" + std::to_string(::GetTickCount()) + "_" + std::to_string(i);
        if (::CreateDirectoryA(candidate.c_str(), nullptr)) name_ = candidate + "\\";
    }
    if (name_.empty()) throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
    RemoveTree(name_);
}

std::string ReadBytes(const std::string& fileName) {
    UniqueHandle file(
        ::CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) throw std::runtime_error("cannot read " + fileName);
    std::string bytes;
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(file.get(), buffer, DWORD(sizeof(buffer)), &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    return bytes;
}

void WriteBytes(const std::string& fileName, const std::string& bytes) {
    UniqueHandle file(::CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    if (!file || !::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &n, nullptr) ||
        n != bytes.size())
        throw std::runtime_error("cannot write " + fileName);
}

bool FileExists(const std::string& fileName) {
    return ::GetFileAttributesA(fileName.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(::FindFirstFileA((folder + pattern).c_str(), &found));
    if (!search) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(search.get(), &found));
    return names;
}

}  // namespace omb::test
