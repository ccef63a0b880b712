// Every program carries the programs' manifest (resources/app.manifest) with
// the UTF-8 active code page, once; the test program built without it
// carries none.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "foundation/handles.h"
#include "foundation/winfuncs.h"
#include "tests/common/dist_folder.h"

using namespace omb;
using namespace omb::test;

namespace {

const char kEntry[] =
    "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>";

struct Manifests {
    int count = 0;     // RT_MANIFEST resources of id 1, in every language
    int others = 0;    // RT_MANIFEST resources of other ids
    std::string text;  // the first one
    bool loaded = false;
};

Manifests ManifestsOf(const std::string& program) {
    Manifests m;
    UniqueModule module(::LoadLibraryExW(ToWide(program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return m;
    m.loaded = true;
    ::EnumResourceNamesW(
        module.get(), MAKEINTRESOURCEW(24),
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            if (!IS_INTRESOURCE(name) || reinterpret_cast<ULONG_PTR>(name) != 1)
                ++reinterpret_cast<Manifests*>(param)->others;
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&m));
    ::EnumResourceLanguagesW(
        module.get(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR param) -> BOOL {
            ++reinterpret_cast<Manifests*>(param)->count;
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&m));
    if (HRSRC found = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const DWORD size = ::SizeofResource(module.get(), found);
        HGLOBAL loaded = ::LoadResource(module.get(), found);
        if (const void* data = loaded ? ::LockResource(loaded) : nullptr)
            m.text.assign(static_cast<const char*>(data), size);
    }
    return m;
}

std::vector<std::string> ProgramsWithTheManifest() {
    std::vector<std::string> programs;
    std::ifstream list(WindowsPathOf(OMB_MANIFEST_PROGRAMS));
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) programs.push_back(WindowsPathOf(line));
    return programs;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(Manifest, EveryProgramCarriesTheUTF8CodePageOnce) {
    const std::vector<std::string> programs = ProgramsWithTheManifest();
    bool center = false, control = false, bench = false;
    for (const std::string& program : programs) {
        center |= EndsWith(program, "\\OmbrelCenter.exe");
        control |= EndsWith(program, "\\ombrelctl.exe");
        bench |= EndsWith(program, "\\hook_bench.exe");
        const Manifests m = ManifestsOf(program);
        ASSERT_TRUE(m.loaded) << program;
        EXPECT_EQ(m.count, 1) << program << ": one manifest of id 1 (no second one of the toolchain's)";
        EXPECT_EQ(m.others, 0) << program;
        EXPECT_NE(m.text.find(kEntry), std::string::npos) << program << "\n" << m.text;
        EXPECT_NE(
            m.text.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"),
            std::string::npos)
            << program;
    }
    EXPECT_TRUE(center && control && bench) << "the list names the programs";
    EXPECT_GE(programs.size(), 12u);
}

TEST(Manifest, TheTestProgramOfAOneByteCodePageCarriesNoEntry) {
    const Manifests m = ManifestsOf(WindowsPathOf(OMB_ANSI_PROGRAM));
    ASSERT_TRUE(m.loaded) << OMB_ANSI_PROGRAM;
    EXPECT_EQ(m.text.find("activeCodePage"), std::string::npos) << m.text;
}
