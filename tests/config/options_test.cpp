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
