#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/channel.h"
#include "foundation/shared.h"
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
