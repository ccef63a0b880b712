#include "foundation/languages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "foundation/handles.h"
#include "foundation/init_language.h"
#include "foundation/resources.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"
#include "xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {

const LPCSTR kRcData = MAKEINTRESOURCEA(10);

// The English text the built-in file must give for keys the screens and
// messages quote; nullptr where the text is the file's own (any non-empty
// text). Which keys the programs read comes from their sources (below).
struct KeyText {
    const char* key;
    const char* english;
};
const KeyText kKeys[] = {
    {"AppCBTitle", "%appname%"},
    {"AppCCTitle", "%appname%"},
    {"Error_COMInitialization", "COM initialization error."},
    {"AppCCMenu_Close", "Close"},
    {"AppCCMenu_HelpContent", "Help"},
    {"AppCCMenu_Config", "Configure..."},
    {"AppCC_ConfigMissing", "The configuration file was not found:"},
    {"AppCC_HookNotInstalled", "The hook library could not be installed:"},
    {"AppCC_RulesKept", "The rules loaded before stay in force."},
    {"AppRootNodeCaption", "Window Rules"},
    {"TW_DeleteWindowRule", "Are you sure you want to delete the Window Rule"},
    {"TW_SaveConfig", "Save changes?"},
    {"TW_SaveFailed", "The configuration was not saved. Check that the file can be written:"},
    {"TW_SaveUnkept", "The file holds what the editor cannot write back. A save leaves out:"},
    {"TW_SaveUnkeptMore", "and %count% more"},
    {"TW_SaveUnkeptAsk", "Save anyway? No leaves the file as it is."},
    {"TW_UnkeptAroundRoot", "%what% outside the root element"},
    {"CBAppForm_OpenFailed", "Could not open"},
    {"CBApp_ConfigNotLoaded", "The configuration could not be loaded:"},
    {"CBApp_ConfigErrorAt", "Line %line%, position %position%."},
    {"CBApp_ConfigLeftAsItIs", "The file was left as it is."},
    {"TW_NotAConfiguration", nullptr},
    {"TW_ElementMissing", nullptr},
    {"Action_STAYONTOPACTION_Caption", "Stay on Top"},
    {"Action_CLOSEWINDOWACTION_Caption", "Close window automatically"},
    {"Action_RUNMODEACTION_Caption", "Run mode"},
    {"Action_SAVESIZEPOSACTION_Caption", "Save window's size and position"},
    {"Action_CLOSEQUERYACTION_Caption", "Prevent accidental close of window"},
    {"Action_CLOSEQUERYACTION_Hint", nullptr},
    {"CQA_CloseQueryMessage", "Are you sure you want to close the window?"},
    {"Command_AppFilesMenu_Caption", "&File"},
    {"Command_AppFilesMenu_Hint", ""},
    {"Command_AppSave_Caption", "Save"},
    {"Command_AppSave_Hint", "Save changes"},
    {"Command_AppExit_Caption", "Exit"},
    {"Command_AppExit_Hint", "Exit"},
    {"Command_WindowRuleMenu_Caption", "Window Rule"},
    {"Command_WindowRuleMenu_Hint", ""},
    {"Command_WindowRuleAdd_Caption", "Add rule"},
    {"Command_WindowRuleAdd_Hint", "Add new rule"},
    {"Command_WindowRuleDelete_Caption", "Delete rule"},
    {"Command_WindowRuleDelete_Hint", "Delete rule"},
    {"Command_ToolsMenu_Caption", "Actions"},
    {"Command_ToolsMenu_Hint", "Actions"},
    {"Command_RunCommandCenter_Caption", "Launch %appname%"},
    {"Command_RunCommandCenter_Hint", "Launch %appname%"},
    {"Command_StopCommandCenter_Caption", "Stop %appname%"},
    {"Command_StopCommandCenter_Hint", "Stop %appname%"},
    {"Command_Options_Caption", "Options..."},
    {"Command_Options_Hint", "Options..."},
    {"Command_HelpMenu_Caption", "&Help"},
    {"Command_HelpMenu_Hint", ""},
    {"Command_HelpContent_Caption", "Contents"},
    {"Command_HelpContent_Hint", "Contents"},
    {"Command_HelpAbout_Caption", "About..."},
    {"Command_HelpAbout_Hint", ""},
    {"AboutForm_Caption", "About"},
    {"AboutForm_CloseCommand", "Close"},
    {"AboutForm_Version", "Version"},
    {"AboutForm_Copyright", nullptr},
    {"AboutForm_AllRights", nullptr},
    {"OptionsForm_Caption", "Options"},
    {"OptionsForm_OKCommand", "OK"},
    {"OptionsForm_CancelCommand", "Cancel"},
    {"mid_GOF_Caption", "General"},
    {"GOF_LoadAtStartup", "Load at startup"},
    {"GOF_EnableTrayIcon", "Enable tray icon"},
    {"WRDP_Caption", "Window rule"},
    {"WRDP_NameHint", nullptr},
    {"WRDP_EnabledHint", nullptr},
    {"WRDP_NameEmpty", "A window rule needs a name."},
    {"WRDP_NameTaken", "Another window rule already has the name"},
    {"WRDP_NameCharacters", "The name of a window rule cannot hold \\ { or }."},
    {"CDP_Caption", "Target window"},
    {"CDP_FindWindowHint", nullptr},
    {"CDP_Description", nullptr},
    {"TWDP_Memo", nullptr},
    {"WClCDP_Caption", "window class:"},
    {"WClCDP_Hint", nullptr},
    {"WCCDP_Caption", "window caption:"},
    {"WCCDP_Hint", nullptr},
    {"WCCDP_ExactMatch", "exact match"},
    {"WCCDP_ExactMatchHint", nullptr},
    {"WCCDP_SubstringMatch", "substring"},
    {"WCCDP_SubstringMatchHint", nullptr},
    {"ASDP_Caption", "Windows actions"},
    {"RMADP_RunModes", "normal=Normal Window;minimize=Minimized Window;maximize=Maximized Window"},
    {"RMADP_RunAs", "Run as:"},
};

// The keys the programs read, found in their sources: every literal key
// handed to GetMLString; the caption and hint of every command of the
// built-in command documents but separators; the caption of every action
// kind. `optional` gets the keys read with a default that stands for them
// (an action's hint defaults to its caption).
struct SourceKeys {
    std::set<std::string> required, optional;
};
std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
void SourceFiles(const std::string& folder, std::vector<std::string>& files) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            SourceFiles(folder + "\\" + name, files);
        else if (name.size() > 4 && (name.substr(name.size() - 4) == ".cpp" || name.substr(name.size() - 2) == ".h"))
            files.push_back(folder + "\\" + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}
SourceKeys KeysTheSourcesRead() {
    SourceKeys keys;
    std::vector<std::string> files;
    for (const char* folder : {"foundation", "bom", "model", "config", "center", "forms", "extender"})
        SourceFiles(std::string("Z:") + OMB_SOURCE_DIR + "/" + folder, files);
    const std::regex literal(R"re(GetMLString\(\s*"([A-Za-z0-9_]+)"\s*,)re");
    const std::regex command(R"re(<command name=\\"([A-Za-z0-9_]+)\\"><params>(<param name=\\"type\\">separator)?)re");
    const std::regex kind(R"re(SetKind\("([A-Z]+)"\))re");
    for (const std::string& file : files) {
        const std::string text = ReadText(file);
        for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it)
            keys.required.insert((*it)[1]);
        for (std::sregex_iterator it(text.begin(), text.end(), command), end; it != end; ++it)
            if (!(*it)[2].matched) {
                keys.required.insert("Command_" + (*it)[1].str() + "_Caption");
                keys.required.insert("Command_" + (*it)[1].str() + "_Hint");
            }
        for (std::sregex_iterator it(text.begin(), text.end(), kind), end; it != end; ++it) {
            keys.required.insert("Action_" + (*it)[1].str() + "_Caption");
            keys.optional.insert("Action_" + (*it)[1].str() + "_Hint");
        }
    }
    return keys;
}

// The "string" keys of a language file, in file order.
std::vector<std::string> KeysOf(const std::string& fileName) {
    std::vector<std::string> keys;
    Ref<IHierStorage> root = OpenXMLFile(fileName);
    Ref<IHierStorage> strings = root ? root->GetChild("strings", 0) : nullptr;
    if (!strings) return keys;
    for (int i = 0; i < strings->ChildCount("string"); ++i)
        keys.push_back(strings->GetChild("string", i)->ReadAttribute("name", ""));
    return keys;
}

std::string LanguageFile(const char* id, const char* name, const char* nativeName,
                         const std::string& strings) {
    std::string attributes = std::string(" id=\"") + id + "\" name=\"" + name + "\"";
    if (nativeName) attributes += std::string(" original_name=\"") + nativeName + "\"";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><language" + attributes + "><strings>" + strings +
           "</strings></language>";
}


class LanguageTables : public ::testing::Test {
protected:
    void SetUp() override {
        savedAppPath_ = AppPath;
        AppPath = folder.Name();
        ASSERT_TRUE(CreateDirectoryA(Languages().c_str(), nullptr));
        CreateMultiLanguages();
    }
    void TearDown() override {
        FreeMultiLanguages();
        AppPath = savedAppPath_;
    }

    std::string Languages() const { return folder.Path("Languages\\"); }
    void InstallGerman(const std::string& fileName = "de.lng") {
        ASSERT_TRUE(
            SaveResourceToFile(GetModuleHandleA(nullptr), "TESTLNG_DE", kRcData, Languages() + fileName));
    }
    void Write(const std::string& fileName, const std::string& text) {
        WriteBytes(Languages() + fileName, text);
    }

    TempFolder folder;

private:
    std::string savedAppPath_;
};

}  // namespace

TEST_F(LanguageTables, TheBuiltInFileHoldsEveryKeyTheProgramsRead) {
    ASSERT_TRUE(SelectLanguage(""));
    TMLStrings& strings = MultiLanguages()->Strings();
    const SourceKeys read = KeysTheSourcesRead();
    ASSERT_GT(read.required.size(), 60u) << "the sources were not found at " << OMB_SOURCE_DIR;
    for (const std::string& key : read.required) EXPECT_TRUE(strings.Exists(key)) << key;
    for (const KeyText& k : kKeys) {
        ASSERT_TRUE(strings.Exists(k.key)) << k.key;
        EXPECT_TRUE(read.required.count(k.key) || read.optional.count(k.key)) << k.key << " is read nowhere";
        if (k.english)
            EXPECT_EQ(strings.Get(k.key), k.english) << k.key;
        else
            EXPECT_FALSE(strings.Get(k.key).empty()) << k.key;
    }
    EXPECT_EQ(strings.Count(), int(sizeof(kKeys) / sizeof(kKeys[0])));
    // Nothing more than what the programs read.
    const std::string english = folder.Path("en.lng");
    ASSERT_TRUE(SaveResourceToFile(GetModuleHandleA(nullptr), kDefaultLanguageResource, kRcData, english));
    for (const std::string& key : KeysOf(english))
        EXPECT_TRUE(read.required.count(key) || read.optional.count(key)) << key << " is read nowhere";
    // Of the action hints only the close query's exists: the others equal
    // their captions through the default.
    EXPECT_FALSE(strings.Exists("Action_STAYONTOPACTION_Hint"));
    EXPECT_FALSE(strings.Exists("Action_RUNMODEACTION_Hint"));

    // The texts as the screens show them.
    SetMLVariable("appname", "Ombrel");
    EXPECT_EQ(GetMLString("AppCBTitle", ""), "Ombrel");
    EXPECT_EQ(GetMLString("Command_RunCommandCenter_Caption", "Launch Command Center"), "Launch Ombrel");
    EXPECT_EQ(GetMLString("Command_ToolsMenu_Caption", "&Tools"), "Actions");
    const std::string memo = GetMLString("TWDP_Memo", "");
    EXPECT_NE(memo.find("Ombrel"), std::string::npos);
    EXPECT_NE(memo.find("\n\n"), std::string::npos) << "the memo keeps its paragraphs";
    EXPECT_EQ(memo.find('%'), std::string::npos);
}

TEST_F(LanguageTables, TheShippedTranslationCoversEveryKey) {
    const std::string english = folder.Path("en.lng");
    ASSERT_TRUE(SaveResourceToFile(GetModuleHandleA(nullptr), kDefaultLanguageResource, kRcData, english));
    InstallGerman();
    std::vector<std::string> en = KeysOf(english), de = KeysOf(Languages() + "de.lng");
    ASSERT_EQ(en.size(), sizeof(kKeys) / sizeof(kKeys[0]));
    for (const std::string& key : KeysTheSourcesRead().required)
        EXPECT_NE(std::find(de.begin(), de.end(), key), de.end()) << key << " is not translated";
    EXPECT_EQ(std::set<std::string>(de.begin(), de.end()), std::set<std::string>(en.begin(), en.end()));
    EXPECT_EQ(de.size(), en.size()) << "a key given twice";

    ScanLanguages();
    ASSERT_TRUE(SelectLanguage("de"));
    for (const KeyText& k : kKeys) {
        if (k.english && !*k.english) continue;
        EXPECT_FALSE(GetMLString(k.key, "").empty()) << k.key;
    }
    EXPECT_EQ(GetMLString("AppCCMenu_Close", "Close"), FromWide(L"Schlie\u00dfen"));
}

TEST_F(LanguageTables, ScanningListsEachLanguageFileOnce) {
    InstallGerman("de.lng");
    InstallGerman("de_copy.lng");  // the same id again: skipped
    Write("fr.lng", LanguageFile("fr", "French",
                                 "Fran\xC3\xA7"
                                 "ais",
                                 ""));  // UTF-8
    Write("it.lngx", LanguageFile("it", "Italian", nullptr, ""));
    Write("es.lng.bak", LanguageFile("es", "Spanish", nullptr, ""));
    Write("noid.lng", LanguageFile("", "Nameless", nullptr, ""));
    Write("noname.lng", LanguageFile("xx", "", nullptr, ""));
    Write("broken.lng", "<language id=\"br\" name=\"Broken\"><strings>");
    ASSERT_TRUE(CreateDirectoryA((Languages() + "folder.lng").c_str(), nullptr));

    ScanLanguages();
    TLanguages* languages = GetLanguages();
    ASSERT_TRUE(languages);
    ASSERT_EQ(languages->Count(), 2);
    TLanguage* de = languages->Get(Variant("DE"));  // ids are case-insensitive
    ASSERT_TRUE(de);
    EXPECT_EQ(de->Name, "German");
    EXPECT_EQ(de->DisplayName(), "German - Deutsch");
    EXPECT_TRUE(de->FileName == Languages() + "de.lng" || de->FileName == Languages() + "de_copy.lng");
    TLanguage* fr = languages->Get(Variant("fr"));
    ASSERT_TRUE(fr);
    EXPECT_EQ(fr->DisplayName(), FromWide(L"French - Fran\u00e7ais"));
    EXPECT_FALSE(languages->Get(Variant("it")));
    EXPECT_FALSE(languages->Get(Variant(2)));
    EXPECT_FALSE(languages->Get(Variant(-1)));
    EXPECT_TRUE(languages->Get(Variant(0)));

    // Scanning again adds only new ids and removes nothing.
    Write("pl.lng", LanguageFile("pl", "Polish", nullptr, ""));
    DeleteFileA((Languages() + "fr.lng").c_str());
    ScanLanguages();
    EXPECT_EQ(languages->Count(), 3);
    EXPECT_TRUE(languages->Get(Variant("fr")));

    EXPECT_TRUE(IsLanguageFileName("C:\\x\\a.LNG"));
    EXPECT_FALSE(IsLanguageFileName("a.lngx"));
    EXPECT_FALSE(IsLanguageFileName("C:\\dir.lng\\file"));
}

TEST_F(LanguageTables, SelectingFallsBackToTheBuiltInEnglish) {
    InstallGerman();
    Write("empty.lng", LanguageFile("em", "Empty", nullptr, ""));
    Write("nostrings.lng", "<language id=\"ns\" name=\"No strings\"/>");
    Write("late.lng",
          LanguageFile("late", "Breaks later", nullptr, "<string name=\"AppCCMenu_Close\">Late</string>"));
    ScanLanguages();
    ASSERT_EQ(GetLanguages()->Count(), 4);

    ASSERT_TRUE(SelectLanguage("de"));
    EXPECT_EQ(GetMLString("TW_SaveConfig", ""), FromWide(L"\u00c4nderungen speichern?"));
    ASSERT_TRUE(SelectLanguage("unknown"));
    EXPECT_EQ(GetMLString("TW_SaveConfig", ""), "Save changes?");

    // An empty "strings" element selects, and every text is its default.
    ASSERT_TRUE(SelectLanguage("em"));
    EXPECT_EQ(GetMLString("TW_SaveConfig", "default"), "default");
    EXPECT_EQ(MultiLanguages()->Strings().Count(), 0);

    // No "strings" element, or a file broken after the scan: English.
    ASSERT_TRUE(SelectLanguage("ns"));
    EXPECT_EQ(GetMLString("TW_SaveConfig", ""), "Save changes?");
    Write("late.lng", "<language id=\"late\"");
    ASSERT_TRUE(SelectLanguage("late"));
    EXPECT_EQ(GetMLString("AppCCMenu_Close", ""), "Close");

    // Nothing at all to load: every text is its default.
    EXPECT_FALSE(MultiLanguages()->Select("unknown", GetModuleHandleA("kernel32.dll")));
    EXPECT_EQ(GetMLString("TW_SaveConfig", "default"), "default");
}

TEST_F(LanguageTables, KeysIgnoreCaseAndTheFirstTextOfAKeyStays) {
    Write("t.lng",
          LanguageFile("t", "Test", nullptr,
                       "<string name=\"Greeting\">first</string><string name=\"GREETING\">second</string>"
                       "<string>no key</string><string name=\"\">empty key</string>"
                       "<other name=\"Other\">not a string</other><string name=\"Two\">a<b>b</b></string>"));
    ScanLanguages();
    ASSERT_TRUE(SelectLanguage("T"));
    EXPECT_EQ(MultiLanguages()->Strings().Count(), 2);
    EXPECT_EQ(GetMLString("greeting", ""), "first");
    EXPECT_EQ(GetMLString("Other", "default"), "default");
    EXPECT_EQ(GetMLString("two", ""), "ab");
}

TEST_F(LanguageTables, VariablesAreSubstitutedIgnoringCaseAndAlwaysEnd) {
    ASSERT_TRUE(SelectLanguage(""));
    SetMLVariable("appname", "Ombrel");
    EXPECT_EQ(GetMLString("AppCBTitle", ""), "Ombrel");
    EXPECT_EQ(GetMLString("missing key", "%APPNAME% and %AppName%"), "Ombrel and Ombrel");
    SetMLVariable("APPNAME", "Other");  // the same variable
    EXPECT_EQ(GetMLString("AppCBTitle", ""), "Other");
    EXPECT_EQ(GetMLString("missing key", "100% sure %unknown%"), "100% sure %unknown%");

    // Substitution follows the order of definition; redefining moves a
    // variable to the end.
    SetMLVariable("outer", "[%inner%]");
    SetMLVariable("inner", "x");
    EXPECT_EQ(GetMLString("k", "%outer%"), "[x]");
    SetMLVariable("inner", "y");
    SetMLVariable("outer", "[%inner%]");
    EXPECT_EQ(GetMLString("k", "%outer%"), "[%inner%]");

    // Values that name their own variable, or each other, end.
    SetMLVariable("self", "<%self%>");
    EXPECT_EQ(GetMLString("k", "%self%%self%"), "<%self%><%self%>");
    SetMLVariable("ping", "%pong%");
    SetMLVariable("pong", "%ping%");
    EXPECT_EQ(GetMLString("k", "%ping%"), "%ping%");
}

TEST_F(LanguageTables, TranslationsInEveryScriptKeepEveryCharacter) {
    // A UTF-8 file and a windows-1251 file (its Cyrillic in one-byte codes,
    // the rest as references): the same texts.
    Write("ru.lng",
          LanguageFile(
              "ru", "Russian", u8"\u0420\u0443\u0441\u0441\u043a\u0438\u0439",
              u8"<string name=\"AppCCMenu_Close\">\u0417\u0430\u043a\u0440\u044b\u0442\u044c "
              u8"\U0001F642</string>"
              u8"<string name=\"AppCCTitle\">%\u0418\u041c\u042f% \u2014 %appname% \u4e2d\u6587</string>"));
    Write(
        "r1.lng",
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><language id=\"r1\" name=\"Russian 1251\"><strings>"
        "<string name=\"AppCCMenu_Close\">\xC7\xE0\xEA\xF0\xFB\xF2\xFC "
        "&#x1F642;</string></strings></language>");
    ScanLanguages();
    ASSERT_TRUE(SelectLanguage("ru"));
    EXPECT_EQ(GetLanguages()->Get(Variant("ru"))->DisplayName(),
              u8"Russian - \u0420\u0443\u0441\u0441\u043a\u0438\u0439");
    EXPECT_EQ(GetMLString("AppCCMenu_Close", ""), u8"\u0417\u0430\u043a\u0440\u044b\u0442\u044c \U0001F642");
    // Variable names beyond ASCII ignore case too; the texts around them stay.
    SetMLVariable("appname", u8"\u041e\u043c\u0431\u0440\u0435\u043b\u044c");
    SetMLVariable(u8"\u0438\u043c\u044f", u8"\u03a9");
    EXPECT_EQ(GetMLString("AppCCTitle", ""),
              u8"\u03a9 \u2014 \u041e\u043c\u0431\u0440\u0435\u043b\u044c \u4e2d\u6587");
    ASSERT_TRUE(SelectLanguage("r1"));
    EXPECT_EQ(GetMLString("AppCCMenu_Close", ""), u8"\u0417\u0430\u043a\u0440\u044b\u0442\u044c \U0001F642");
}

TEST_F(LanguageTables, WithoutTheTableTheRoutinesAnswerTheirDefaults) {
    FreeMultiLanguages();
    SetMLVariable("appname", "Ombrel");
    EXPECT_EQ(GetMLString("AppCBTitle", "%appname%"), "%appname%");
    ScanLanguages();
    EXPECT_FALSE(SelectLanguage(""));
    EXPECT_EQ(GetLanguages(), nullptr);
    CreateMultiLanguages();
    EXPECT_NE(GetLanguages(), nullptr);
}

TEST_F(LanguageTables, TheBuiltInFileLeavesNoTemporaryFileAndTouchesNoOther) {
    // A temporary folder of the test's own (other programs use the system's
    // meanwhile), where the first name proposed is that of a file that is
    // there. Both are put back however the test ends.
    const std::string temp = folder.Path("");
    WriteBytes(folder.Path("~ln00000000.tmp"), "not the language's");
    struct OwnTemporaryFolder {
        char saved[MAX_PATH + 1] = {};
        bool had = false;
        const TSaveFileCalls calls = SaveFileCalls();
        explicit OwnTemporaryFolder(const std::string& folder) {
            had = GetEnvironmentVariableA("TMP", saved, DWORD(sizeof(saved))) > 0;
            SetEnvironmentVariableA("TMP", folder.c_str());
            SaveFileCalls().newName = [](const std::wstring& where, const wchar_t* prefix, unsigned attempt) {
                return where + prefix + (attempt == 0 ? L"00000000" : std::to_wstring(10000000 + attempt)) + L".tmp";
            };
        }
        ~OwnTemporaryFolder() {
            SaveFileCalls() = calls;
            SetEnvironmentVariableA("TMP", had ? saved : nullptr);
        }
    };
    {
        OwnTemporaryFolder own(temp);
        ASSERT_TRUE(SelectLanguage(""));
        EXPECT_NE(GetMLString("AppCBTitle", "?"), "?") << "the built-in language loaded";
        EXPECT_FALSE(MultiLanguages()->Select("", GetModuleHandleA("kernel32.dll")));  // no such resource
        ASSERT_TRUE(SelectLanguage("none"));
    }
    EXPECT_EQ(FilesMatching(temp, "~ln*.tmp"), std::vector<std::string>{"~ln00000000.tmp"});
    EXPECT_EQ(ReadBytes(folder.Path("~ln00000000.tmp")), "not the language's");
}

TEST_F(LanguageTables, ResourcesAreWrittenWhole) {
    const std::string file = folder.Path("out.lng");
    WriteBytes(file, std::string(100000, 'x'));  // replaced, not overwritten in part
    ASSERT_TRUE(SaveResourceToFile(GetModuleHandleA(nullptr), "TESTLNG_DE", kRcData, file));
    const std::string bytes = ReadBytes(file);
    EXPECT_EQ(bytes.compare(0, 5, "<?xml"), 0);
    EXPECT_EQ(bytes.find("xxxx"), std::string::npos);
    EXPECT_EQ(bytes.find("</language>"), bytes.size() - std::string("</language>\n").size());

    EXPECT_FALSE(
        SaveResourceToFile(GetModuleHandleA(nullptr), "NO_SUCH_RESOURCE", kRcData, folder.Path("none")));
    EXPECT_FALSE(FileExists(folder.Path("none")));
    EXPECT_FALSE(
        SaveResourceToFile(GetModuleHandleA(nullptr), "TESTLNG_DE", kRcData, folder.Path("no\\such\\x")));
}

namespace {

// A registry key of this test run, removed with its values at the end.
class TestKey {
public:
    TestKey() : path_("Software\\OmbrelTests\\languages_" + std::to_string(GetCurrentProcessId())) {
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(),
                        nullptr);
    }
    ~TestKey() {
        key_.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OmbrelTests");  // only when empty
    }
    const std::string& Path() const { return path_; }
    void Set(DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExA(key_.get(), "Language", 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    void SetString(const std::string& id) { Set(REG_SZ, id.c_str(), DWORD(id.size() + 1)); }

private:
    std::string path_;
    UniqueRegKey key_;
};

// Keeps the user's real "Language" value and puts it back.
class SavedLanguageValue {
public:
    SavedLanguageValue() {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryRoot, 0, KEY_QUERY_VALUE, key_.put()) != ERROR_SUCCESS)
            return;
        keyExisted_ = true;
        DWORD size = 0;
        if (RegQueryValueExA(key_.get(), "Language", nullptr, &type_, nullptr, &size) != ERROR_SUCCESS)
            return;
        data_.resize(size);
        present_ = RegQueryValueExA(key_.get(), "Language", nullptr, &type_,
                                    reinterpret_cast<BYTE*>(data_.data()), &size) == ERROR_SUCCESS;
    }
    ~SavedLanguageValue() {
        UniqueRegKey key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryRoot, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            key.put(), nullptr) != ERROR_SUCCESS)
            return;
        if (present_)
            RegSetValueExA(key.get(), "Language", 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                           DWORD(data_.size()));
        else
            RegDeleteValueA(key.get(), "Language");
        key.reset();
        if (!keyExisted_) {  // remove what the test created; keys still in use stay
            RegDeleteKeyA(HKEY_CURRENT_USER, kRegistryRoot);
            RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Quennet");
        }
    }

private:
    bool keyExisted_ = false;
    UniqueRegKey key_;
    DWORD type_ = 0;
    std::vector<char> data_;
    bool present_ = false;
};

}  // namespace

TEST_F(LanguageTables, StartUpSelectsTheStoredLanguage) {
    InstallGerman();
    TestKey key;
    key.SetString("de");
    EXPECT_EQ(ReadLanguageId(HKEY_CURRENT_USER, key.Path()), "de");
    InitLanguageFrom(HKEY_CURRENT_USER, key.Path());
    EXPECT_EQ(GetMLString("Command_RunCommandCenter_Caption", ""), "Ombrel starten");
    EXPECT_EQ(GetMLString("AppCCTitle", ""), "Ombrel");
    EXPECT_EQ(GetLanguages()->Count(), 1);

    // A string stored without its terminating zero reads the same.
    key.Set(REG_SZ, "de", 2);
    EXPECT_EQ(ReadLanguageId(HKEY_CURRENT_USER, key.Path()), "de");
}

TEST_F(LanguageTables, StartUpFallsBackToEnglish) {
    InstallGerman();
    TestKey key;
    const DWORD number = 7;
    key.Set(REG_DWORD, &number, sizeof(number));  // a value of the wrong type
    EXPECT_EQ(ReadLanguageId(HKEY_CURRENT_USER, key.Path()), "");
    InitLanguageFrom(HKEY_CURRENT_USER, key.Path());
    EXPECT_EQ(GetMLString("Command_RunCommandCenter_Caption", ""), "Launch Ombrel");

    key.Set(REG_BINARY, "de", 3);
    EXPECT_EQ(ReadLanguageId(HKEY_CURRENT_USER, key.Path()), "");
    key.SetString("");
    EXPECT_EQ(ReadLanguageId(HKEY_CURRENT_USER, key.Path()), "");
    key.SetString("xx");  // no file has it
    InitLanguageFrom(HKEY_CURRENT_USER, key.Path());
    EXPECT_EQ(GetMLString("TW_SaveConfig", ""), "Save changes?");
    EXPECT_EQ(ReadLanguageId(HKEY_CURRENT_USER, key.Path() + "\\missing"), "");
    InitLanguageFrom(HKEY_CURRENT_USER, key.Path() + "\\missing");
    EXPECT_EQ(GetMLString("AppCBTitle", ""), "Ombrel");
}

TEST_F(LanguageTables, StartUpReadsTheUsersLanguageValue) {
    InstallGerman();
    SavedLanguageValue saved;
    {
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryRoot, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.get(), "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("de"), 3),
                  ERROR_SUCCESS);
    }
    InitLanguage();
    EXPECT_EQ(GetMLString("Command_StopCommandCenter_Caption", ""), "Ombrel beenden");
}
