// The log-on start value of the options page.
#include <windows.h>

#include <gtest/gtest.h>

#include "config/options_form.h"
#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"

using namespace omb;
using namespace omb::config;

namespace {

const char* kBase = "SOFTWARE\\OmbrelTests\\Options";

std::string ReadValue(const std::string& key, const char* name, DWORD* type = nullptr) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer), t = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, ToWide(key).c_str(), ToWide(name).c_str(), RRF_RT_ANY, &t, buffer, &size) !=
        ERROR_SUCCESS)
        return "<none>";
    if (type) *type = t;
    if (t == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(buffer));
    return FromWide(buffer);
}

struct OptionsTest : ::testing::Test {
    ComInit com;
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(kBase).c_str());
        OptionsKeys() = TOptionsKeys{std::string(kBase) + "\\Command Center", std::string(kBase) + "\\Run", kBase};
        AppPath = "C:\\Program Files\\Ombrel\\";
        CreateMultiLanguages();
        SelectLanguage("");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(kBase).c_str());
        OptionsKeys() = TOptionsKeys{};
        FreeMultiLanguages();
    }
};

TEST_F(OptionsTest, RunValueIsQuotedAndBothFormsAreRecognised) {
    EXPECT_EQ(RunValueFor(AppPath), "\"C:\\Program Files\\Ombrel\\OmbrelCenter.exe\"");
    EXPECT_TRUE(RunValueNames("\"c:\\program files\\ombrel\\ombrelcenter.EXE\"", AppPath));
    EXPECT_TRUE(RunValueNames("C:\\Program Files\\Ombrel\\OmbrelCenter.exe /quiet", AppPath));
    EXPECT_FALSE(RunValueNames("C:\\Other\\OmbrelCenter.exe", AppPath));
}

}  // namespace
