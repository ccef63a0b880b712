// Helpers of the XML and language tests: COM for the test thread, a
// temporary folder of real files, byte-exact file access.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace omb::test {

// A new folder under the system's temporary folder, removed with all its
// content when the object goes. Name() ends in "\".
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Name() const { return name_; }
    std::string Path(const std::string& file) const { return name_ + file; }

private:
    std::string name_;
};

std::string ReadBytes(const std::string& fileName);
void WriteBytes(const std::string& fileName, const std::string& bytes);
bool FileExists(const std::string& fileName);
// Names of the files in the folder (ending in "\") that match the pattern.
std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern);

}  // namespace omb::test
