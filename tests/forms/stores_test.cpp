// Stores of named values: the registry with INI-style sections and INI files
// by full path, the routines over either store, the screen cursors.
#include "forms/app_utils.h"
#include "forms/stores.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/winfuncs.h"
#include "tests/foundation/xml_test_support.h"

namespace {

using namespace omb;
using namespace omb::forms;

const std::string kCyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80";  // Привет, мир

// A throwaway key under HKEY_CURRENT_USER, removed with all it holds.
class TestKey {
public:
    explicit TestKey(const std::string& name)
        : path_("Software\\OmbrelTests\\" + name + "_" + std::to_string(::GetCurrentProcessId())) {
        Remove();
    }
    ~TestKey() {
        Remove();
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OmbrelTests");  // only when empty
    }
    const std::string& Path() const { return path_; }
    bool Exists(const std::string& sub = std::string()) const {
        HKEY key = nullptr;
        const std::string p = sub.empty() ? path_ : path_ + "\\" + sub;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(p).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    DWORD TypeOf(const std::string& sub, const std::string& value) const {
        DWORD type = REG_NONE;
        ::RegGetValueW(HKEY_CURRENT_USER, Utf8ToWide(path_ + "\\" + sub).c_str(), Utf8ToWide(value).c_str(),
                       RRF_RT_ANY, &type, nullptr, nullptr);
        return type;
    }
    void SetRaw(const std::string& sub, const std::string& value, DWORD type, const void* data, DWORD size) {
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path_ + "\\" + sub).c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), Utf8ToWide(value).c_str(), 0, type, static_cast<const BYTE*>(data),
                                   size),
                  ERROR_SUCCESS);
    }

private:
    void Remove() const { ::RegDeleteTreeW(HKEY_CURRENT_USER, Utf8ToWide(path_).c_str()); }
    std::string path_;
};

// The same cases run on both stores, through the routines form placement uses.
class BothStores : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            store_ = std::make_unique<TRegIniFile>(key_.Path());
        else
            store_ = std::make_unique<TIniFile>(folder_.Path("stores.ini"));
    }
    TCustomIniStore* Store() { return store_.get(); }

    TestKey key_{"forms_both"};
    test::TempFolder folder_;
    std::unique_ptr<TCustomIniStore> store_;
};

TEST_P(BothStores, TextsComeBackAsWritten) {
    const std::vector<std::string> texts = {
        "plain", "'x'", "\"quoted\"", "\"", "'", "'mixed\"", "a 'b' c", " leading", "trailing ", "  ", "",
        "100,50,-1,-4", kCyrillic, std::string(5000, 'w') + "end"};
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text #" + std::to_string(i) + " [" + texts[i].substr(0, 20) + "]");
        const std::string ident = "Value" + std::to_string(i);
        WriteIniOrRegString(Store(), "Section", ident, texts[i]);
        EXPECT_EQ(ReadIniOrRegString(Store(), "Section", ident, "default"), texts[i]);
    }
    // Sections and names in other scripts work as well.
    WriteIniOrRegString(Store(), kCyrillic, kCyrillic, "v");
    EXPECT_EQ(ReadIniOrRegString(Store(), kCyrillic, kCyrillic, ""), "v");
}

TEST_P(BothStores, MissingValuesAndNumbers) {
    // A missing value gives the default exactly; an empty value is a value.
    EXPECT_EQ(ReadIniOrRegString(Store(), "S", "none", "  default  "), "  default  ");
    EXPECT_FALSE(Store()->ValueExists("S", "none"));
    EXPECT_FALSE(Store()->SectionExists("S"));
    Store()->WriteString("S", "empty", "");
    EXPECT_TRUE(Store()->ValueExists("S", "empty"));
    EXPECT_TRUE(Store()->SectionExists("S"));
    EXPECT_EQ(Store()->ReadString("S", "empty", "default"), "");

    struct Case { const char* text; int expected; };
    const std::vector<Case> cases = {{"$1F", 31}, {"-12", -12}, {"42", 42}, {"abc", 7},
                                     {"", 7},     {"1.5", 7},   {"12x", 7}, {"$FFFFFFFF", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Store()->WriteString("N", "v", c.text);
        EXPECT_EQ(ReadIniOrRegInteger(Store(), "N", "v", 7), c.expected);
    }
    EXPECT_EQ(ReadIniOrRegInteger(Store(), "N", "missing", -3), -3);
    WriteIniOrRegInteger(Store(), "N", "neg", -2147483647 - 1);
    EXPECT_EQ(Store()->ReadString("N", "neg", ""), "-2147483648");
    EXPECT_EQ(ReadIniOrRegInteger(Store(), "N", "neg", 0), -2147483647 - 1);
    Store()->WriteBool("N", "on", true);
    Store()->WriteBool("N", "off", false);
    EXPECT_EQ(Store()->ReadString("N", "on", ""), "1");
    EXPECT_EQ(Store()->ReadString("N", "off", ""), "0");
    EXPECT_TRUE(Store()->ReadBool("N", "on", false));
    EXPECT_FALSE(Store()->ReadBool("N", "off", true));
    EXPECT_TRUE(Store()->ReadBool("N", "missing", true));
}

TEST_P(BothStores, EraseSectionRemovesOnlyIt) {
    Store()->WriteString("Gone", "a", "1");
    Store()->WriteString("Gone", "b", "2");
    Store()->WriteString("Kept", "a", "3");
    Store()->EraseSection("Gone");
    EXPECT_FALSE(Store()->SectionExists("Gone"));
    EXPECT_EQ(Store()->ReadString("Gone", "a", "none"), "none");
    EXPECT_EQ(Store()->ReadString("Kept", "a", "none"), "3");
    Store()->EraseSection("Never there");  // nothing to do, no failure
}

TEST_P(BothStores, NoStoreGivesDefaultsAndWritesNothing) {
    WriteIniOrRegString(nullptr, "S", "v", "x");
    WriteIniOrRegInteger(nullptr, "S", "v", 1);
    WriteScreenValue(nullptr, "S", "NormPos", "1,2,3,4");
    EXPECT_EQ(ReadIniOrRegString(nullptr, "S", "v", "d"), "d");
    EXPECT_EQ(ReadIniOrRegInteger(nullptr, "S", "v", 9), 9);
    EXPECT_EQ(ReadScreenValue(nullptr, "S", "NormPos"), "");
}

TEST_P(BothStores, ScreenValues) {
    const std::string suffix = ScreenSizeSuffix();
    EXPECT_EQ(suffix, "(" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                          std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ")");
    WriteScreenValue(Store(), "F", "MinMaxPos", "-1,-1,-4,-4");
    EXPECT_EQ(Store()->ReadString("F", "MinMaxPos" + suffix, ""), "-1,-1,-4,-4");
    EXPECT_EQ(Store()->ReadString("F", "MinMaxPos", ""), "-1,-1,-4,-4");
    EXPECT_EQ(ReadScreenValue(Store(), "F", "MinMaxPos"), "-1,-1,-4,-4");
    // Another screen size was stored: only the plain value applies.
    Store()->WriteString("F", "NormPos(1x1)", "9,9,9,9");
    Store()->WriteString("F", "NormPos", "100,50");
    EXPECT_EQ(ReadScreenValue(Store(), "F", "NormPos"), "100,50");
    // An empty value for this size falls back to the plain one too.
    Store()->WriteString("F", "NormPos" + suffix, "");
    EXPECT_EQ(ReadScreenValue(Store(), "F", "NormPos"), "100,50");
}

INSTANTIATE_TEST_SUITE_P(Stores, BothStores, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Registry" : "IniFile");
                         });

TEST(IniFile, QuotesAroundValuesAreTheReasonForWrapping) {
    test::TempFolder folder;
    TIniFile ini(folder.Path("quotes.ini"));
    ini.WriteString("S", "raw", "'x'");
    EXPECT_EQ(ini.ReadString("S", "raw", ""), "x");  // the platform strips the pair
    ini.WriteString("S", "blanks", " x ");
    EXPECT_EQ(ini.ReadString("S", "blanks", ""), "x");  // and the blanks around a value
    WriteIniOrRegString(&ini, "S", "wrapped", "'x'");
    EXPECT_EQ(ini.ReadString("S", "wrapped", ""), "'x'");
    EXPECT_NE(test::ReadBytes(folder.Path("quotes.ini")).find(std::string("\"\0'\0x\0'\0\"\0", 10)),
              std::string::npos)
        << "stored as \"'x'\" in a UTF-16 file";
}

TEST(IniFile, FileNameInAnotherScriptAndNoFolder) {
    test::TempFolder folder;
    const std::string name = folder.Path(kCyrillic + ".ini");
    {
        TIniFile ini(name);
        ini.WriteString(kCyrillic, "v", kCyrillic);
        EXPECT_EQ(TIniFile(name).ReadString(kCyrillic, "v", ""), kCyrillic);
    }
    EXPECT_TRUE(::DeleteFileW(Utf8ToWide(name).c_str()));
    TIniFile nowhere(folder.Path("missing\\sub\\x.ini"));
    EXPECT_EQ(nowhere.ReadString("S", "v", "d"), "d");
    EXPECT_THROW(nowhere.WriteString("S", "v", "x"), EIniFileException);
    nowhere.EraseSection("S");  // no file: nothing to erase
}

// A bare name (the placement's default) is one file for every call: the
// one the profile calls read, in the Windows folder, made there with its
// byte-order mark before the first write; nothing lands in the current
// folder.
TEST(IniFile, ABareNameIsOneFileInTheWindowsFolder) {
    const std::string bare = "omb_forms_store_test_bare.ini";
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::wstring inWindows = std::wstring(windows) + L"\\" + Utf8ToWide(bare);
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring inCurrent = std::wstring(current) + L"\\" + Utf8ToWide(bare);
    ::DeleteFileW(inWindows.c_str());
    ::DeleteFileW(inCurrent.c_str());
    {
        TIniFile ini(bare);
        EXPECT_EQ(ini.FileName(), bare);
        ini.WriteString("S", "v", kCyrillic);
        EXPECT_EQ(TIniFile(bare).ReadString("S", "v", ""), kCyrillic);
    }
    EXPECT_EQ(::GetFileAttributesW(inCurrent.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::string bytes = test::ReadBytes(Utf8FromWide(inWindows));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
    ::DeleteFileW(inWindows.c_str());
    ::DeleteFileW(inCurrent.c_str());
}

TEST(RegIniFile, ValuesAreTextsAndOtherTypesFailTheirRead) {
    TestKey key("forms_types");
    TRegIniFile reg(key.Path());
    EXPECT_TRUE(key.Exists()) << "opening creates the key";
    reg.WriteString("Form", "Text", "x");
    reg.WriteInteger("Form", "Number", 5);
    reg.WriteBool("Form", "Flag", true);
    for (const char* name : {"Text", "Number", "Flag"}) EXPECT_EQ(key.TypeOf("Form", name), DWORD(REG_SZ)) << name;

    const DWORD dword = 3;
    key.SetRaw("Form", "Flags", REG_DWORD, &dword, sizeof(dword));
    try {
        reg.ReadString("Form", "Flags", "");
        ADD_FAILURE() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Flags'");
    }
    EXPECT_THROW(reg.ReadInteger("Form", "Flags", 0), ERegistryException);
    EXPECT_THROW(reg.ReadBool("Form", "Flags", false), ERegistryException);
    const BYTE binary[] = {1, 2};
    key.SetRaw("Form", "Bin", REG_BINARY, binary, sizeof(binary));
    EXPECT_THROW(reg.ReadString("Form", "Bin", ""), ERegistryException);
    EXPECT_TRUE(reg.ValueExists("Form", "Flags"));

    // An expandable text reads unchanged, without expansion.
    const std::wstring expand = L"%TEMP%\\x";
    key.SetRaw("Form", "Path", REG_EXPAND_SZ, expand.c_str(), DWORD((expand.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(reg.ReadString("Form", "Path", ""), "%TEMP%\\x");
    // Stored without a terminating zero.
    key.SetRaw("Form", "NoZero", REG_SZ, L"abc", 3 * sizeof(wchar_t));
    EXPECT_EQ(reg.ReadString("Form", "NoZero", ""), "abc");
}

TEST(RegIniFile, EraseSectionTakesNestedKeys) {
    TestKey key("forms_erase");
    TRegIniFile reg(key.Path());
    reg.WriteString("Form\\Nested", "a", "1");
    reg.WriteString("Form", "b", "2");
    reg.EraseSection("Form");
    EXPECT_FALSE(key.Exists("Form"));
    EXPECT_TRUE(key.Exists());
}

TEST(RegIniFile, ReadOnlyNeverCreatesSections) {
    TestKey key("forms_readonly");
    {
        TRegIniFile reg(key.Path(), true);
        EXPECT_TRUE(key.Exists()) << "the key itself is created also for reading";
        EXPECT_EQ(reg.ReadString("Form", "v", "d"), "d");
        EXPECT_EQ(reg.ReadInteger("Form", "v", 4), 4);
        EXPECT_FALSE(reg.SectionExists("Form"));
        EXPECT_THROW(reg.WriteString("Form", "v", "x"), ERegistryException);
        EXPECT_THROW(reg.EraseSection("Form"), ERegistryException);
        EXPECT_FALSE(key.Exists("Form"));
    }
    TRegIniFile writer(key.Path());
    writer.WriteString("Form", "v", kCyrillic);
    TRegIniFile reader(key.Path(), true);
    EXPECT_EQ(reader.ReadString("Form", "v", ""), kCyrillic);
}

TEST(RegIniFile, AnotherRootCreatesTheKeyOnlyForWriting) {
    // The path is opened under the current user first, then under the root.
    const std::wstring path = Utf8ToWide("OmbrelTests_forms_root_" + std::to_string(::GetCurrentProcessId()));
    auto exists = [&](HKEY root) {
        HKEY k = nullptr;
        if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
        ::RegCloseKey(k);
        return true;
    };
    const std::string name = Utf8FromWide(path);
    {
        TRegIniFile reg(name, true);
        reg.SetRoot(HKEY_CLASSES_ROOT);
        EXPECT_FALSE(reg.IsOpen());
        EXPECT_FALSE(exists(HKEY_CLASSES_ROOT));
        EXPECT_EQ(reg.ReadString("S", "v", "d"), "d");
        EXPECT_THROW(reg.WriteString("S", "v", "x"), ERegistryException);
    }
    {
        TRegIniFile reg(name);
        reg.SetRoot(HKEY_CLASSES_ROOT);
        EXPECT_EQ(reg.Root(), HKEY_CLASSES_ROOT);
        EXPECT_TRUE(exists(HKEY_CLASSES_ROOT));
        reg.WriteString("S", "v", "x");
        EXPECT_EQ(TRegIniFile(HKEY_CLASSES_ROOT, name, true).ReadString("S", "v", ""), "x");
        EXPECT_EQ(TRegIniFile(HKEY_CURRENT_USER, name, true).ReadString("S", "v", "none"), "none");
    }
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

TEST(AppUtils, DefaultNames) {
    EXPECT_EQ(DefaultIniFileName(), "forms_store_test.INI");
    EXPECT_EQ(DefaultRegistryKey(), "Software\\forms_store_test");
    IniNameCallback = [] { return std::string("C:\\elsewhere\\my.ini"); };
    EXPECT_EQ(DefaultIniFileName(), "C:\\elsewhere\\my.ini");
    IniNameCallback = nullptr;

    std::string title;
    ApplicationTitleProvider = [&title] { return title; };
    RegistryKeyUsesTitle = true;
    EXPECT_EQ(DefaultRegistryKey(), "Software\\forms_store_test") << "an empty title is not used";
    title = "Ombrel Config";
    EXPECT_EQ(DefaultRegistryKey(), "Software\\Ombrel Config");
    RegistryKeyPrefix = "Quennet";
    EXPECT_EQ(DefaultRegistryKey(), "Software\\Quennet\\Ombrel Config");
    RegistryKeyUsesTitle = false;
    EXPECT_EQ(DefaultRegistryKey(), "Software\\Quennet\\forms_store_test");
    RegistryKeyPrefix.clear();
    ApplicationTitleProvider = nullptr;
}

TEST(AppUtils, FourDigitYears) {
    struct Case { const char* format; bool four; };
    for (const Case& c : {Case{"dd.MM.yyyy", true}, Case{"M/d/yy", false}, Case{"YYYY-MM-DD", true},
                          Case{"d/M/yyy", false}, Case{"", false}}) {
        EXPECT_EQ(DateFormatHasFourDigitYear(c.format), c.four) << c.format;
    }
}

TEST(AppUtils, ScreenCursors) {
    ASSERT_TRUE(RegisterScreenCursors(::GetModuleHandleW(nullptr)));
    struct Case { int id; DWORD hotX, hotY; };
    for (const Case& c : {Case{kHandCursor, 5, 0}, Case{kDragCursor, 0, 0}}) {
        SCOPED_TRACE(c.id);
        const HCURSOR cursor = ScreenCursor(c.id);
        ASSERT_NE(cursor, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(::GetIconInfo(cursor, &info));
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, c.hotX);
        EXPECT_EQ(info.yHotspot, c.hotY);
        BITMAP bm = {};
        ::GetObjectW(info.hbmMask, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, 32);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
    }
    EXPECT_EQ(ScreenCursor(13999), nullptr);
    FreeScreenCursors();
    EXPECT_EQ(ScreenCursor(kHandCursor), nullptr);
}

}  // namespace
