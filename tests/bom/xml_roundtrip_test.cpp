// The object grammar through real XML files.
#include <gtest/gtest.h>

#include "bom_test_support.h"
#include "foundation/handles.h"
#include "foundation/xml_storage.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {
struct XmlFiles : BomTest {
    ComInit com;
    TempFolder folder;
};
}  // namespace

TEST_F(XmlFiles, OverlayFromAFileAndRoundTripOfUnknownParameters) {
    const std::string file = folder.Path("tree.xml");
    WriteBytes(file,
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
               "<recorders name=\"list\">\n"
               "  <params name=\"params\"><param name=\"note\">caf\xE9</param></params>\n"
               "  <content>\n"
               "    <item name=\"KEPT\" type=\"RECORDER\">\n"
               "      <params><param name=\"extra\" type=\"BOMPARAM\">42</param></params>\n"
               "    </item>\n"
               "    <item name=\"new one\" type=\"RECORDER\"/>\n"
               "  </content>\n"
               "</recorders>\n");
    Ref<RecorderCollection> list = Make<RecorderCollection>("RECORDERS", "list");
    Ref<Recorder> kept = Make<Recorder>("RECORDER", "kept");
    kept->CreateParam("enabled", Variant("yes"));
    list->AddItem(kept->AsBOMObject());

    Ref<TXMLStorage> storage = TXMLStorage::Create();
    ASSERT_TRUE(storage->LoadFromFile(file));
    ASSERT_TRUE(storage->LoadObject(list.get()));
    list->SetOwner(nullptr);
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(kept->GetName(), "KEPT");
    EXPECT_EQ(kept->ParamText("enabled"), "yes");
    EXPECT_EQ(kept->ParamText("extra"), "42");
    EXPECT_EQ(list->ParamText("note"), u8"caf\u00e9");  // read from windows-1252, held as UTF-8

    const std::string copy = folder.Path("copy.xml");
    Ref<TXMLStorage> out = TXMLStorage::Create();
    ASSERT_TRUE(out->CreateNew("recorders"));
    out->SaveObject(list.get());
    ASSERT_TRUE(out->SaveToFile(copy));
    const std::string text = ReadBytes(copy);
    // A plain parameter carries no type; every item does.
    EXPECT_NE(text.find("<param name=\"extra\">42</param>"), std::string::npos) << text;
    EXPECT_NE(text.find("name=\"new one\" type=\"RECORDER\""), std::string::npos) << text;

    Ref<RecorderCollection> again = Make<RecorderCollection>("RECORDERS", "again");
    Ref<TXMLStorage> in = TXMLStorage::Create();
    ASSERT_TRUE(in->LoadFromFile(copy));
    in->LoadObject(again.get());
    EXPECT_EQ(again->GetItem(Variant("kept"))->GetObject("params/extra").As<IBOMParam>()->GetValue().ToText(),
              "42");
    EXPECT_EQ(again->ParamText("note"), u8"caf\u00e9");
    kept = nullptr;
    Tear(list);
    Tear(again);
}
