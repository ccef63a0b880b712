#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/channel.h"
#include "foundation/shared.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"
#include "model_test_support.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {
// Counts the commands that arrive on the system's command channel while it
// lives, answering each with code 1.
class CommandListener {
public:
    CommandListener() : thread_([this] { Serve(); }) {}
    ~CommandListener() {
        stop_ = true;
        thread_.join();
    }
    int Count(int32_t code) const { return code == 2 ? saved_.load() : 0; }

private:
    void Serve() {
        TProcessesCommunication server(kChannelName);
        server.SetTimeout(50);
        while (!stop_) {
            int32_t code = 0;
            std::string data;
            if (server.WaitForCommand(code, data) != 0) continue;
            if (code == 2) ++saved_;
            server.SendReply(1, std::string());
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> saved_{0};
    std::thread thread_;
};

const char* kHandWritten =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
    "<tarvel_windows>"
    " <window_rules name=\"renamed by hand\"><content>"
    "  <window_rule name=\"Old editor rule\" type=\"WINDOWRULE\">"
    "   <params><param name=\"enabled\">yes</param></params>"
    "   <conditions><content><condition name=\"DefaultCondition\"><criterions><content>"
    "    <criterion name=\"WINDOWCLASSNAMECRITERION\" type=\"WINDOWCLASSNAMECRITERION\">"
    "     <params><param name=\"window_class_name\">Notepad</param></params></criterion>"
    "   </content></criterions></condition></content></conditions>"
    "   <actions><content>"
    "    <action name=\"CloseWindow\" type=\"CLOSEWINDOWACTION\"><params><param name=\"enabled\">yes</param>"
    "     </params></action>"
    "   </content></actions>"
    "  </window_rule>"
    " </content></window_rules>"
    "</tarvel_windows>";

struct Root : ModelTest {
    Ref<TTarvelWindows> Load(const std::string& file) {
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        if (!storage->LoadFromFile(file)) return nullptr;
        Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "");
        storage->LoadObject(static_cast<IPersistObject*>(root.get()));
        root->SetOwner(nullptr);
        return root;
    }
    TempFolder folder;
};
}  // namespace

TEST_F(Root, AFileOverlaysTheTemplate) {
    WriteBytes(folder.Path("Ombrel.ini"), kHandWritten);
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->Modified());
    EXPECT_TRUE(root->GetObject("window_rules"));  // the fixed child keeps its name
    Ref<IBOMObject> rule = root->GetObject("window_rules/Old editor rule");
    ASSERT_TRUE(rule);
    EXPECT_EQ(Get(rule.get(), "actions/CloseWindow/params/enabled"), "yes");
    // What the file lacks is there, as the template gives it.
    EXPECT_EQ(Get(rule.get(), "actions/CloseQuery/params/enabled"), "no");
    EXPECT_EQ(Get(rule.get(), "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/enabled"),
              "no");
    EXPECT_TRUE(rule->GetObject("triggers/WMDestroyMessageTrigger/agents/SaveSizePosAgent"));
    EXPECT_EQ(Get(rule.get(), "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/"
                              "window_class_name"),
              "Notepad");
    // The editor's command sets come from the built-in documents.
    EXPECT_TRUE(root->GetObject("menu/ToolsMenu/commands/Options"));
    EXPECT_TRUE(root->GetObject("toolbar/WindowRuleDelete"));
    rule = nullptr;
    root->Disconnect();
}

TEST_F(Root, ModifiedFlag) {
    WriteBytes(folder.Path("Ombrel.ini"), kHandWritten);
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    Set(root.get(), "menu/AppFilesMenu/params/caption", "Changed");  // command sets do not count
    EXPECT_FALSE(root->Modified());
    root->Broadcast(1, 0, 0);  // re-translation does not count
    EXPECT_FALSE(root->Modified());
    Set(root.get(), "window_rules/Old editor rule/params/enabled", "no");
    EXPECT_TRUE(root->Modified());
    root->Broadcast(1, 0, 0);
    EXPECT_TRUE(root->Modified());  // and does not clear it either
    root->SetModified(false);
    Ref<IBOMObjectSlave> rule = root->GetObject("window_rules/Old editor rule").As<IBOMObjectSlave>();
    root->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(rule.get(), "New name");
    EXPECT_TRUE(root->Modified());
    rule = nullptr;
    root->Disconnect();
}

TEST_F(Root, SaveWritesOnlyTheRulesAndTellsTheCommandCenter) {
    WriteBytes(folder.Path("Ombrel.ini"), kHandWritten);
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    TestWindow notepad("Notepad", "Untitled - Notepad");
    const std::string before = root->FindWindowCommand(notepad.get());
    EXPECT_NE(before, "");
    {
        CommandListener listener;
        const std::string out = folder.Path("saved.ini");
        EXPECT_TRUE(root->SaveConfiguration(out));  // not modified: nothing at all
        EXPECT_FALSE(FileExists(out));
        Set(root.get(), "window_rules/Old editor rule/actions/StayOnTop/params/enabled", "yes");
        EXPECT_TRUE(root->SaveConfiguration(out));
        EXPECT_FALSE(root->Modified());
        ASSERT_TRUE(FileExists(out));
        DeleteFileA(out.c_str());
        EXPECT_TRUE(root->SaveConfiguration(out));  // a second save does nothing
        EXPECT_FALSE(FileExists(out));
        Set(root.get(), "window_rules/Old editor rule/params/enabled", "yes");
        EXPECT_TRUE(root->SaveConfiguration(out));
        Sleep(300);
        EXPECT_EQ(listener.Count(2), 2);

        const std::string text = ReadBytes(out);
        EXPECT_NE(text.find("<tarvel_windows"), std::string::npos);
        EXPECT_NE(text.find("window_rules"), std::string::npos);
        EXPECT_EQ(text.find("\"menu\""), std::string::npos);
        EXPECT_EQ(text.find("toolbar"), std::string::npos);
        Ref<TTarvelWindows> again = Load(out);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->FindWindowCommand(notepad.get()), root->FindWindowCommand(notepad.get()));
        EXPECT_NE(again->FindWindowCommand(notepad.get()), before);  // the change was saved
        again->Disconnect();
    }
    root->Disconnect();
}

TEST_F(Root, AFailedSaveKeepsTheFlagAndSendsNothing) {
    WriteBytes(folder.Path("Ombrel.ini"), kHandWritten);
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    const std::string target = folder.Path("readonly.ini");
    WriteBytes(target, "<old/>");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    Set(root.get(), "window_rules/Old editor rule/params/enabled", "no");
    {
        CommandListener listener;
        EXPECT_FALSE(root->SaveConfiguration(target));
        EXPECT_FALSE(root->SaveConfiguration(folder.Path("no such folder\\x.ini")));
        Sleep(200);
        EXPECT_EQ(listener.Count(2), 0);
    }
    EXPECT_TRUE(root->Modified());
    EXPECT_EQ(ReadBytes(target), "<old/>");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    root->Disconnect();
}

namespace {
// Rule names, class names and captions in every script.
struct ScriptRule {
    std::string name, className, caption;
};
const ScriptRule kScriptRules[] = {
    {u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642",
     u8"\u041e\u043a\u043d\u043e\u041a\u043b\u0430\u0441\u0441",
     u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642 \u2014 caf\u00e9"},
    {u8"\u0393\u03b5\u03b9\u03ac \u03c3\u03bf\u03c5", u8"\u03a0\u03b1\u03c1\u03ac\u03b8\u03c5\u03c1\u03bf",
     u8"\u0393\u03b5\u03b9\u03ac \u03c3\u03bf\u03c5 \u03ba\u03cc\u03c3\u03bc\u03b5"},
    {u8"\u4f60\u597d \u4e16\u754c \U0001F600", u8"\u7a97\u53e3\u7c7b",
     u8"\u4f60\u597d \U0001F600 \u00c4rger"},
};

// Our UTF-8 text as a hand-written windows-1252 file holds it: what the
// page has as its bytes, the rest as character references.
std::string As1252(const std::string& text) {
    const std::wstring wide = ToWide(text);
    std::string out;
    for (size_t i = 0; i < wide.size();) {
        const size_t n = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() ? 2 : 1;
        std::string piece;
        if (ToCodePageExact(1252, wide.data() + i, n, piece)) {
            out += piece;
        } else {
            const unsigned code =
                n == 2 ? 0x10000u + ((unsigned(wide[i]) - 0xD800u) << 10) + (unsigned(wide[i + 1]) - 0xDC00u)
                       : unsigned(wide[i]);
            char reference[16];
            std::snprintf(reference, sizeof(reference), "&#%u;", code);  // as a person might write it
            out += reference;
        }
        i += n;
    }
    return out;
}

std::string ScriptConfiguration(bool windows1252) {
    auto text = [&](const std::string& s) { return windows1252 ? As1252(s) : s; };
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"") +
                      (windows1252 ? "windows-1252" : "UTF-8") +
                      "\"?>\r\n<tarvel_windows><window_rules><content>";
    for (const ScriptRule& r : kScriptRules)
        xml += "<window_rule name=\"" + text(r.name) +
               "\" type=\"WINDOWRULE\"><params><param name=\"enabled\">yes</param></params>"
               "<conditions><content><condition name=\"DefaultCondition\"><criterions><content>"
               "<criterion name=\"WINDOWCLASSNAMECRITERION\" type=\"WINDOWCLASSNAMECRITERION\"><params>"
               "<param name=\"window_class_name\">" +
               text(r.className) +
               "</param></params></criterion>"
               "<criterion name=\"WINDOWCaptionCriterion\" type=\"WINDOWCaptionCriterion\"><params>"
               "<param name=\"enabled\">yes</param><param name=\"window_caption\">" +
               text(r.caption) +
               "</param></params></criterion>"
               "</content></criterions></condition></content></conditions>"
               "<actions><content><action name=\"StayOnTop\" type=\"STAYONTOPACTION\"><params>"
               "<param name=\"enabled\">yes</param></params></action></content></actions></window_rule>";
    return xml + "</content></window_rules></tarvel_windows>\r\n";
}
}  // namespace

TEST_F(Root, RuleTextsInEveryScriptSurviveLoadAndSaveUnderEitherDeclaration) {
    std::vector<std::unique_ptr<TestWindow>> windows;
    for (const ScriptRule& r : kScriptRules)
        windows.push_back(std::make_unique<TestWindow>(r.className, r.caption));
    for (bool windows1252 : {true, false}) {
        SCOPED_TRACE(windows1252 ? "windows-1252" : "UTF-8");
        const std::string declaration = std::string("<?xml version=\"1.0\" encoding=\"") +
                                        (windows1252 ? "windows-1252" : "UTF-8") + "\"?>";
        const std::string file = folder.Path(windows1252 ? "ansi.ini" : "utf8.ini");
        WriteBytes(file, ScriptConfiguration(windows1252));
        std::vector<std::string> texts;
        {
            Ref<TTarvelWindows> root = Load(file);
            ASSERT_TRUE(root);
            Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
            ASSERT_EQ(rules->Count(), 3);
            for (size_t i = 0; i < 3; ++i) {
                const ScriptRule& r = kScriptRules[i];
                Ref<IBOMObject> rule = rules->GetItem(Variant(int(i)));
                EXPECT_EQ(rule->GetName(), r.name);
                EXPECT_EQ(Get(rule.get(),
                              "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/"
                              "window_class_name"),
                          r.className);
                EXPECT_EQ(Get(rule.get(),
                              "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/"
                              "window_caption"),
                          r.caption);
                // The live window of that class and caption gets its rule, and only it.
                texts.push_back(root->FindWindowCommand(windows[i]->get()));
                EXPECT_EQ(texts.back(), rule->QueryRole("WindowRule").As<IWindowRule>()->CommandText());
                EXPECT_EQ(texts.back().rfind("\\WINDOWRULENAME=" + r.name + "\\", 0), 0u) << texts.back();
            }
            // The editor's save rewrites the very file.
            root->SetModified(true);
            EXPECT_TRUE(root->SaveConfiguration(file));
            root->Disconnect();
        }
        const std::string saved = ReadBytes(file);
        EXPECT_EQ(saved.rfind(declaration, 0), 0u) << saved.substr(0, 80);
        if (windows1252) {
            EXPECT_NE(saved.find("&#x41F;&#x440;&#x438;&#x432;&#x435;&#x442; &#x1F642;"), std::string::npos)
                << saved;
            EXPECT_NE(saved.find("caf\xE9"), std::string::npos);
            EXPECT_EQ(saved.find("\xD0\x9F"), std::string::npos)
                << "UTF-8 bytes under a windows-1252 declaration";
        } else {
            EXPECT_NE(saved.find(kScriptRules[2].caption), std::string::npos);
            EXPECT_EQ(saved.find("&#"), std::string::npos);
        }

        Ref<TTarvelWindows> again = Load(file);
        ASSERT_TRUE(again);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(again->FindWindowCommand(windows[i]->get()), texts[i]);
        again->SetModified(true);
        EXPECT_TRUE(again->SaveConfiguration(file));
        EXPECT_EQ(ReadBytes(file), saved) << "a second round changes no byte";
        again->Disconnect();
    }
}

namespace {
// A rule of a hand-written file: its name, the class of the windows it is
// for and, when given, their exact caption.
std::string RuleElement(const std::string& name, const std::string& className, const std::string& caption = "") {
    std::string xml = "<window_rule name=\"" + name +
                      "\" type=\"WINDOWRULE\"><params><param name=\"enabled\">yes</param></params>"
                      "<conditions><content><condition name=\"DefaultCondition\"><criterions><content>"
                      "<criterion name=\"WINDOWCLASSNAMECRITERION\" type=\"WINDOWCLASSNAMECRITERION\"><params>"
                      "<param name=\"enabled\">" +
                      std::string(className.empty() ? "no" : "yes") + "</param><param name=\"window_class_name\">" +
                      className + "</param></params></criterion>";
    if (!caption.empty())
        xml += "<criterion name=\"WINDOWCaptionCriterion\" type=\"WINDOWCaptionCriterion\"><params>"
               "<param name=\"enabled\">yes</param><param name=\"window_caption\">" +
               caption + "</param><param name=\"exact_search\">yes</param></params></criterion>";
    return xml + "</content></criterions></condition></content></conditions></window_rule>";
}

std::string RulesFile(const std::string& rules) {
    return "<tarvel_windows>\n\t<window_rules>\n\t\t<content>\n" + rules +
           "\n\t\t</content>\n\t</window_rules>\n</tarvel_windows>\n";
}

std::string RuleNames(TTarvelWindows* root) {
    std::string names;
    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    for (int i = 0; rules && i < rules->Count(); ++i) names += rules->GetItem(Variant(i))->GetName() + "|";
    return names;
}
}  // namespace

TEST_F(Root, ARenamedRuleKeepsItsPlaceInTheLookupAndTheFile) {
    // Two rules for one window: the first one in the file answers.
    WriteBytes(folder.Path("Ombrel.ini"),
               RulesFile(RuleElement("First", "OmbOrder") + RuleElement("Second", "OmbOrder") +
                         RuleElement("Third", "OmbOther")));
    TestWindow window("OmbOrder", "order");
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->FindWindowCommand(window.get()).rfind("\\WINDOWRULENAME=First\\", 0), 0u);
    Ref<IBOMObjectSlave> first = root->GetObject("window_rules/First").As<IBOMObjectSlave>();
    root->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(first.get(), "Renamed");
    EXPECT_EQ(RuleNames(root.get()), "Renamed|Second|Third|");
    EXPECT_EQ(root->FindWindowCommand(window.get()).rfind("\\WINDOWRULENAME=Renamed\\", 0), 0u)
        << root->FindWindowCommand(window.get());
    EXPECT_TRUE(root->GetObject("window_rules/renamed"));
    EXPECT_FALSE(root->GetObject("window_rules/First"));
    EXPECT_TRUE(root->SaveConfiguration(folder.Path("Ombrel.ini")));
    first = nullptr;
    root->Disconnect();

    Ref<TTarvelWindows> again = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(again);
    EXPECT_EQ(RuleNames(again.get()), "Renamed|Second|Third|");
    EXPECT_EQ(again->FindWindowCommand(window.get()).rfind("\\WINDOWRULENAME=Renamed\\", 0), 0u);
    // A rule may change only the capitals of its own name.
    first = again->GetObject("window_rules/Renamed").As<IBOMObjectSlave>();
    again->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(first.get(), "RENAMED");
    EXPECT_EQ(RuleNames(again.get()), "RENAMED|Second|Third|");
    EXPECT_TRUE(again->Modified());
    EXPECT_TRUE(again->SaveConfiguration(folder.Path("Ombrel.ini")));
    first = nullptr;
    again->Disconnect();
    again = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(again);
    EXPECT_EQ(RuleNames(again.get()), "RENAMED|Second|Third|");
    again->Disconnect();
}

// A well-formed document of another shape does not load: another root
// element, or the rules' container missing while an unknown element stands
// in its place. Read as it stands it would open empty, and its first save
// would destroy it. A short configuration still loads.
TEST_F(Root, AFileOfAnotherShapeDoesNotLoadAShortOneDoes) {
    const std::string rule = RuleElement("One", "OmbShape");
    const struct {
        std::string text, said;
    } refused[] = {
        {"<other_root/>", "<other_root>"},
        {"<tarvel_window><window_rules><content>" + rule + "</content></window_rules></tarvel_window>",
         "<tarvel_window>"},
        {"<tarvel_windows><window_rulez><content>" + rule + "</content></window_rulez></tarvel_windows>",
         "<window_rulez>"},
        {"<tarvel_windows><params/><window_rules><contents>" + rule + "</contents></window_rules></tarvel_windows>",
         "<contents>"},
        {"<tarvel_windows><window_rules><content><window_rulez/><window_rulez/></content></window_rules>"
         "</tarvel_windows>",
         "<window_rulez>"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.text.substr(0, 40));
        WriteBytes(folder.Path("Ombrel.ini"), c.text);
        std::string said;
        try {
            if (Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"))) root->Disconnect();
        } catch (const ENotAConfiguration& e) {
            said = e.what();
        }
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
    for (const char* text : {"<tarvel_windows/>", "<tarvel_windows name=\"x\"><params/><!-- none --></tarvel_windows>",
                             "<tarvel_windows><window_rules><params/></window_rules><later/></tarvel_windows>",
                             "<tarvel_windows><window_rules><content/></window_rules></tarvel_windows>"}) {
        SCOPED_TRACE(text);
        WriteBytes(folder.Path("Ombrel.ini"), text);
        Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
        ASSERT_TRUE(root);
        EXPECT_EQ(RuleNames(root.get()), "");
        root->Disconnect();
    }
    // One rule among unknown elements is a configuration.
    WriteBytes(folder.Path("Ombrel.ini"), "<tarvel_windows><window_rules><content><window_rulez/>" + rule +
                                              "</content></window_rules></tarvel_windows>");
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    EXPECT_EQ(RuleNames(root.get()), "One|");
    root->Disconnect();
}

TEST_F(Root, RulesOfOneNameAreAllKeptUnderFreeNamesInTheirPlaces) {
    // Hand-edited: "Twin" three times, and a rule that already holds the
    // first name a renamed twin would get.
    WriteBytes(folder.Path("Ombrel.ini"),
               RulesFile(RuleElement("Twin", "OmbTwinA") + RuleElement("Other", "OmbOther") +
                         RuleElement("twin", "OmbTwinB") + RuleElement("Twin (2)", "OmbTwinC") +
                         RuleElement("Twin", "OmbTwinD")));
    Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(root);
    EXPECT_EQ(RuleNames(root.get()), "Twin|Other|twin (3)|Twin (2)|Twin (4)|");
    // Each keeps its own settings, and the name parameter follows the name.
    const char* classes[] = {"OmbTwinA", "OmbOther", "OmbTwinB", "OmbTwinC", "OmbTwinD"};
    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    for (int i = 0; i < 5; ++i) {
        Ref<IBOMObject> rule = rules->GetItem(Variant(i));
        EXPECT_EQ(Get(rule.get(), "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/"
                                  "window_class_name"),
                  classes[i]);
        EXPECT_EQ(Get(rule.get(), "params/name"), rule->GetName());
    }
    TestWindow b("OmbTwinB", "b");
    EXPECT_EQ(root->FindWindowCommand(b.get()).rfind("\\WINDOWRULENAME=twin (3)\\", 0), 0u);
    // The configuration is not what the file holds: a save writes the names.
    EXPECT_TRUE(root->Modified());
    EXPECT_TRUE(root->SaveConfiguration(folder.Path("Ombrel.ini")));
    root->Disconnect();

    Ref<TTarvelWindows> again = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(again);
    EXPECT_EQ(RuleNames(again.get()), "Twin|Other|twin (3)|Twin (2)|Twin (4)|");
    EXPECT_FALSE(again->Modified());
    again->Disconnect();

    // Other collections keep the grammar's rule: a second element of a name
    // overlays the item (the template's items are overlaid the same way).
    std::string rule = RuleElement("Single", "OmbSingle");
    const std::string twice =
        "<actions><content>"
        "<action name=\"StayOnTop\" type=\"STAYONTOPACTION\"><params><param name=\"enabled\">yes</param>"
        "</params></action><action name=\"StayOnTop\" type=\"STAYONTOPACTION\"><params>"
        "<param name=\"enabled\">no</param></params></action></content></actions></window_rule>";
    rule.replace(rule.size() - std::string("</window_rule>").size(), std::string::npos, twice);
    WriteBytes(folder.Path("Ombrel.ini"), RulesFile(rule));
    Ref<TTarvelWindows> single = Load(folder.Path("Ombrel.ini"));
    ASSERT_TRUE(single);
    EXPECT_EQ(single->GetObject("window_rules/Single/actions").As<IBOMCollection>()->Count(), 5);
    EXPECT_EQ(Get(single.get(), "window_rules/Single/actions/StayOnTop/params/enabled"), "no");
    EXPECT_FALSE(single->Modified());
    single->Disconnect();
}

TEST_F(Root, ACaptionEndingInABlankKeepsItAndItsMatch) {
    const std::string caption = "Untitled - Notepad ";
    WriteBytes(folder.Path("Ombrel.ini"), RulesFile(RuleElement("Blank", "", caption)));
    TestWindow blank("OmbBlankCaption", caption);
    TestWindow trimmed("OmbBlankCaption", "Untitled - Notepad");
    const std::string path = "window_rules/Blank/conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/"
                             "params/window_caption";
    std::string saved;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Ref<TTarvelWindows> root = Load(folder.Path("Ombrel.ini"));
        ASSERT_TRUE(root);
        EXPECT_EQ(Get(root.get(), path), caption);
        EXPECT_EQ(root->FindWindowCommand(blank.get()).rfind("\\WINDOWRULENAME=Blank\\", 0), 0u);
        EXPECT_EQ(root->FindWindowCommand(trimmed.get()), "");
        root->SetModified(true);
        EXPECT_TRUE(root->SaveConfiguration(folder.Path("Ombrel.ini")));
        root->Disconnect();
        const std::string bytes = ReadBytes(folder.Path("Ombrel.ini"));
        EXPECT_NE(bytes.find(">" + caption + "<"), std::string::npos);
        if (round == 1) {
            EXPECT_EQ(bytes, saved) << "a file saved and loaded again holds the same values";
        }
        saved = bytes;
    }
}

// The configuration is written as text from what it stores, not through a
// document of the XML service: the file is the one the service renders for
// the same configuration, byte for byte, and every value reads back as it
// was, markup characters, blanks and line breaks included.
TEST_F(Root, TheSavedTextIsTheServicesRenderingOfTheConfiguration) {
    Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "");
    root->SetOwner(nullptr);
    const char* kClass = "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name";
    const char* kCaption = "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/window_caption";
    const std::string tricky = "a & b < c > d \"e\" 'f'\ttab\r\nline\nnext  two  blanks caf\xC3\xA9";
    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    for (int i = 0; i < 3; ++i) {
        Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", "R&D <" + std::to_string(i) + "> \"q\"");
        rules->AddItem(rule.get());
        Set(rule.get(), kClass, tricky + std::to_string(i));
        Set(rule.get(), kCaption, i == 1 ? std::string() : tricky);
        Set(rule.get(), "actions/StayOnTop/params/enabled", "yes");
    }
    root->SetModified(true);
    ASSERT_TRUE(root->SaveConfiguration(folder.Path("text.ini")));
    {
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        ASSERT_TRUE(storage->CreateNew("tarvel_windows"));
        storage->SaveObject(static_cast<IPersistObject*>(root.get()));
        ASSERT_TRUE(storage->SaveToFile(folder.Path("document.ini")));
    }
    const std::string text = ReadBytes(folder.Path("text.ini")), document = ReadBytes(folder.Path("document.ini"));
    size_t at = 0;
    while (at < text.size() && at < document.size() && text[at] == document[at]) ++at;
    EXPECT_EQ(text.size(), document.size());
    EXPECT_EQ(at, document.size()) << "written:\n" << text.substr(at > 80 ? at - 80 : 0, 200) << "\nrendered:\n"
                                   << document.substr(at > 80 ? at - 80 : 0, 200);

    Ref<TTarvelWindows> again = Load(folder.Path("text.ini"));
    ASSERT_TRUE(again);
    Ref<IBOMCollection> read = again->GetObject("window_rules").As<IBOMCollection>();
    ASSERT_EQ(read->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        Ref<IBOMObject> rule = read->GetItem(Variant(i));
        EXPECT_EQ(rule->GetName(), "R&D <" + std::to_string(i) + "> \"q\"");
        EXPECT_EQ(Get(rule.get(), kClass), tricky + std::to_string(i));
        EXPECT_EQ(Get(rule.get(), kCaption), i == 1 ? std::string() : tricky);
    }
    again->Disconnect();
    root->Disconnect();
}

namespace {
// Where `what` stands in the text from `from` on; npos (which fails an
// order check) when it is not there.
size_t At(const std::string& text, const std::string& what, size_t from = 0) { return text.find(what, from); }
}  // namespace

// What the editor does not read stays where it stood: elements it does not
// know beside a rule and beside the rules, attributes it does not know, and
// comments and processing instructions around the root element and among
// the rules, also when the rules around them are edited, shown, renamed and
// deleted.
TEST_F(Root, WhatTheEditorDoesNotReadIsWrittenBackInItsPlace) {
    std::string second = RuleElement("Second", "OmbKeepB");
    second.replace(second.find("type=\"WINDOWRULE\">"), 18, "type=\"WINDOWRULE\" color=\"blue\">");
    second.replace(second.find("<conditions><content>"), 21, "<conditions><content><!-- which windows -->");
    const std::string file = folder.Path("Ombrel.ini");
    WriteBytes(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- before the root -->\r\n"
                     "<tarvel_windows future=\"yes\">\r\n<window_rules><content>" +
                         RuleElement("First", "OmbKeepA") +
                         "<!-- about First -->\r\n<future_thing level=\"2\"><x>y</x></future_thing>" + second +
                         RuleElement("Third", "OmbKeepC") + "<!-- about Third -->" + RuleElement("Fourth", "OmbKeepD") +
                         "</content></window_rules>\r\n<future_settings/>\r\n</tarvel_windows>\r\n<?after root?>\r\n");
    TestWindow b("OmbKeepB", "b");
    std::string saved;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Ref<TTarvelWindows> root = Load(file);
        ASSERT_TRUE(root);
        EXPECT_TRUE(root->Unkept().empty());
        EXPECT_EQ(root->FindWindowCommand(b.get()).rfind("\\WINDOWRULENAME=Second\\", 0), 0u);
        if (round == 0) {
            // The rule before them is edited, shown as objects and renamed;
            // one further on is deleted, and what followed it keeps its place.
            Set(root.get(), "window_rules/First/actions/StayOnTop/params/enabled", "yes");
            EXPECT_EQ(Get(root.get(), "window_rules/First/conditions/DefaultCondition/criterions/"
                                      "WINDOWCLASSNAMECRITERION/params/window_class_name"),
                      "OmbKeepA");
            Ref<IBOMObjectSlave> first = root->GetObject("window_rules/First").As<IBOMObjectSlave>();
            root->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(first.get(), "Renamed");
            first = nullptr;
            root->GetObject("window_rules").As<IBOMCollection>()->DeleteItem(Variant("Third"));
        }
        root->SetModified(true);
        ASSERT_TRUE(root->SaveConfiguration(file));
        root->Disconnect();
        const std::string text = ReadBytes(file);
        EXPECT_LT(At(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), At(text, "<!-- before the root -->"));
        EXPECT_LT(At(text, "<!-- before the root -->"), At(text, "<tarvel_windows name=\"\" future=\"yes\">"));
        EXPECT_LT(At(text, "\"Renamed\""), At(text, "<!-- about First -->")) << text;
        EXPECT_LT(At(text, "<!-- about First -->"), At(text, "<future_thing level=\"2\"><x>y</x></future_thing>"));
        EXPECT_LT(At(text, "<future_thing"), At(text, "<window_rule name=\"Second\" color=\"blue\" type=\"WINDOWRULE\">"));
        EXPECT_LT(At(text, "\"Second\""), At(text, "<!-- which windows -->"));
        EXPECT_LT(At(text, "<!-- which windows -->"),
                  At(text, "<condition name=\"DefaultCondition\"", At(text, "\"Second\"")));
        EXPECT_LT(At(text, "\"Second\""), At(text, "<!-- about Third -->"));
        EXPECT_LT(At(text, "<!-- about Third -->"), At(text, "\"Fourth\"")) << text;
        EXPECT_LT(At(text, "\"Fourth\""), At(text, "</window_rules>"));
        EXPECT_LT(At(text, "</window_rules>"), At(text, "<future_settings/>"));
        EXPECT_LT(At(text, "<future_settings/>"), At(text, "</tarvel_windows>"));
        EXPECT_LT(At(text, "</tarvel_windows>"), At(text, "<?after root?>"));
        EXPECT_EQ(At(text, "\"Third\""), std::string::npos);
        if (round == 1) {
            EXPECT_EQ(text, saved) << "a file saved and loaded again saves the same bytes";
        }
        saved = text;
    }
}

// What no save can keep is named before a save leaves it out: a document
// type declaration, and anything in a parameter but its value.
TEST_F(Root, WhatASaveCannotKeepIsNamed) {
    std::string rule = RuleElement("Odd", "OmbOdd");
    const std::string plain = "<param name=\"window_class_name\">OmbOdd</param>";
    rule.replace(rule.find(plain), plain.size(),
                 "<param name=\"window_class_name\" unit=\"x\">OmbOdd<!-- sure --></param>");
    // Two rules whose equal actions are read once: the second parameter of
    // a name is read over the first, in each of them.
    const std::string actions = "<actions><content><action name=\"StayOnTop\" type=\"STAYONTOPACTION\"><params>"
                                "<param name=\"enabled\">yes</param><param name=\"enabled\">no</param>"
                                "</params></action></content></actions></window_rule>";
    const std::string end = "</window_rule>";
    rule.replace(rule.rfind(end), end.size(), actions);
    std::string twin = RuleElement("Twin", "OmbTwin");
    twin.replace(twin.rfind(end), end.size(), actions);
    const std::string file = folder.Path("Ombrel.ini");
    WriteBytes(file, "<?xml version=\"1.0\"?>\r\n<!DOCTYPE tarvel_windows>\r\n" + RulesFile(rule + twin));
    for (TRuleLoadScope::TReading reading : {TRuleLoadScope::kReadNow, TRuleLoadScope::kReadLater}) {
        SCOPED_TRACE(reading);
        Ref<TTarvelWindows> root;
        {
            TRuleLoadScope scope(reading);
            root = Load(file);
        }
        ASSERT_TRUE(root);
        const std::vector<std::string> unkept = root->Unkept();
        ASSERT_EQ(unkept.size(), 5u);
        EXPECT_EQ(unkept[0], "<!DOCTYPE tarvel_windows> outside the root element");
        EXPECT_EQ(unkept[1], "unit=\"x\" inside the parameter \"window_class_name\" (in the rule \"Odd\")");
        EXPECT_EQ(unkept[2], "<!-- sure --> inside the parameter \"window_class_name\" (in the rule \"Odd\")");
        EXPECT_EQ(unkept[3], "a second <param> named \"enabled\", read over the first (in the rule \"Odd\")");
        EXPECT_EQ(unkept[4], "a second <param> named \"enabled\", read over the first (in the rule \"Twin\")");
        EXPECT_EQ(Get(root.get(), "window_rules/Odd/conditions/DefaultCondition/criterions/"
                                  "WINDOWCLASSNAMECRITERION/params/window_class_name"),
                  "OmbOdd");
        // Saved, the file no longer holds them.
        root->SetModified(true);
        ASSERT_TRUE(root->SaveConfiguration(folder.Path("saved.ini")));
        EXPECT_TRUE(root->Unkept().empty());
        root->Disconnect();
    }
    const std::string saved = ReadBytes(folder.Path("saved.ini"));
    EXPECT_EQ(saved.find("DOCTYPE"), std::string::npos);
    EXPECT_EQ(saved.find("sure"), std::string::npos);
}
