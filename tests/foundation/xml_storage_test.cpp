#include "foundation/xml_storage.h"

#include <gtest/gtest.h>

#include <iterator>

#include "foundation/handles.h"
#include "foundation/ole.h"
#include "foundation/winfuncs.h"
#include "xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {

Ref<TXMLStorage> NewStorage(const char* root) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    EXPECT_TRUE(s->CreateNew(root));
    return s;
}

Ref<TXMLStorage> Loaded(const std::string& fileName) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    EXPECT_TRUE(s->LoadFromFile(fileName)) << fileName;
    return s;
}

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The text of the document element as the service holds it (no conversion).
std::wstring RootTextWide(TXMLStorage* s) {
    Ref<IXMLDOMElement> root;
    EXPECT_EQ(s->Document()->get_documentElement(root.put()), S_OK);
    BSTR text = nullptr;
    root->get_text(&text);
    std::wstring out(text ? text : L"", text ? SysStringLen(text) : 0);
    SysFreeString(text);
    return out;
}

// The message ends with the system's own words for the code, then the code.
bool SaidInWords(const std::string& message, DWORD code) {
    const std::string tail = " (code " + std::to_string(code) + ")";
    if (message.size() < tail.size() || message.compare(message.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string words = SystemErrorText(code);
    return words.size() > tail.size() && Contains(message, words);
}

class XMLStorageFiles : public ::testing::Test {
protected:
    TempFolder folder;
};

}  // namespace

TEST_F(XMLStorageFiles, NewDocumentSavesOneEmptyRootElement) {
    Ref<TXMLStorage> s = NewStorage("tarvel_windows");
    const std::string file = folder.Path("Ombrel.ini");
    EXPECT_TRUE(s->SaveToFile(file));
    const std::string bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "<tarvel_windows/>")) << bytes;

    Ref<TXMLStorage> back = Loaded(file);
    ASSERT_TRUE(back->Element());
    Bstr name;
    back->Element()->get_nodeName(name.put());
    EXPECT_EQ(name.Ansi(), "tarvel_windows");
    EXPECT_EQ(back->GetText(), "");
    EXPECT_FALSE(NewStorage("x") == nullptr);
    EXPECT_FALSE(TXMLStorage::Create()->SaveToFile(folder.Path("none.xml")));  // no document
    EXPECT_FALSE(FileExists(folder.Path("none.xml")));
}

TEST_F(XMLStorageFiles, NonAsciiTextRoundTripsThroughARealFile) {
    // Texts are UTF-8, whatever the process's code page.
    const std::string text =
        u8"Gr\u00fc\u00dfe \u2013 \u00e9t\u00e9 \u20ac \u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642";
    const std::string special = "a < b & c > \"d\" 'e'\nsecond line";
    Ref<TXMLStorage> s = NewStorage("root");
    s->WriteAttribute("caption", text);
    s->WriteAttribute("special", special);
    s->WriteChildText("value", text);
    s->WriteChildText("special", special);
    const std::string file = folder.Path("round.xml");
    ASSERT_TRUE(s->SaveToFile(file));

    // No declaration: the file is UTF-8, our texts byte for byte.
    EXPECT_TRUE(Contains(ReadBytes(file), text));

    Ref<TXMLStorage> back = Loaded(file);
    EXPECT_EQ(back->ReadAttribute("caption", "?"), text);
    EXPECT_EQ(back->ReadAttribute("special", "?"), special);
    EXPECT_EQ(back->ReadChildText("value"), text);
    EXPECT_EQ(back->ReadChildText("special"), special);
}

TEST_F(XMLStorageFiles, BlanksAtEitherEndOfAValueSurviveSaveAndLoad) {
    // A caption compared exactly loses its match with a lost blank.
    const std::string values[] = {"Untitled - Notepad ", " leading", "  both  ", " ", "   ", "\ttab\t",
                                  "line\n", "\nline", "in  side"};
    Ref<TXMLStorage> s = NewStorage("root");
    for (const std::string& v : values) s->WriteChildText("value", v);
    const std::string file = folder.Path("blanks.xml");
    ASSERT_TRUE(s->SaveToFile(file));
    // Loaded again, saved again: the same values, the same file.
    Ref<TXMLStorage> back = Loaded(file);
    ASSERT_EQ(back->ChildCount("value"), int(std::size(values)));
    Ref<TXMLStorage> again = NewStorage("root");
    for (int i = 0; i < back->ChildCount("value"); ++i) {
        const std::string read = back->GetChild("value", i)->GetText();
        EXPECT_EQ(read, values[i]) << i;
        again->WriteChildText("value", read);
    }
    const std::string second = folder.Path("again.xml");
    ASSERT_TRUE(again->SaveToFile(second));
    EXPECT_EQ(ReadBytes(second), ReadBytes(file));

    // A hand-written, indented file: the values as they stand, and the
    // blanks between elements are no children.
    WriteBytes(file, "<root>\n\t<value> a </value>\n\t<value>\n\t</value>\n\t<value/>\n</root>\n");
    back = Loaded(file);
    EXPECT_EQ(back->ChildCount("value"), 3);
    EXPECT_EQ(back->ReadChildText("value"), " a ");
    EXPECT_EQ(back->GetChild("value", 1)->GetText(), "\n\t");
    EXPECT_EQ(back->GetChild("value", 2)->GetText(), "");
    // Texts given as documents keep them too.
    ASSERT_TRUE(back->LoadFromXML("<r><v> b </v></r>"));
    EXPECT_EQ(back->ReadChildText("v"), " b ");
}

TEST_F(XMLStorageFiles, AFailedLoadSaysWhyAndWhere) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    const std::string cut = folder.Path("cut.xml");
    WriteBytes(cut, "<root>\n  <a name=\"x\">\n    <b>text</b>\n  </a");
    EXPECT_FALSE(s->LoadFromFile(cut));
    EXPECT_FALSE(s->LoadError().reason.empty());
    // Services differ on the line of an end that comes too soon.
    EXPECT_GT(s->LoadError().line, 0) << s->LoadError().reason;
    EXPECT_GT(s->LoadError().position, 0) << s->LoadError().reason;
    const std::string crossed = folder.Path("crossed.xml");
    WriteBytes(crossed, "<root>\n  <a>\n    <b>text</c>\n  </a>\n</root>\n");
    EXPECT_FALSE(s->LoadFromFile(crossed));
    EXPECT_EQ(s->LoadError().line, 3) << s->LoadError().reason;
    EXPECT_GT(s->LoadError().position, 0) << s->LoadError().reason;

    EXPECT_FALSE(s->LoadFromXML("<r>\n<x></y></r>"));
    EXPECT_FALSE(s->LoadError().reason.empty());
    EXPECT_EQ(s->LoadError().line, 2) << s->LoadError().reason;

    // An empty file says so.
    WriteBytes(cut, "");
    EXPECT_FALSE(s->LoadFromFile(cut));
    EXPECT_EQ(s->LoadError().reason, "The file is empty: it holds no XML document.");
    // A file that is not there says so in words, without a line.
    EXPECT_FALSE(s->LoadFromFile(folder.Path("missing.xml")));
    EXPECT_TRUE(Contains(s->LoadError().reason, "The file is not there: ")) << s->LoadError().reason;
    EXPECT_TRUE(SaidInWords(s->LoadError().reason, 2)) << s->LoadError().reason;
    EXPECT_EQ(s->LoadError().line, 0);
    // A file another program holds says that it is in use.
    WriteBytes(cut, "<r/>");
    {
        UniqueHandle holder(CreateFileA(cut.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(s->LoadFromFile(cut));
    }
    EXPECT_TRUE(Contains(s->LoadError().reason, "Another program is using the file")) << s->LoadError().reason;
    EXPECT_TRUE(SaidInWords(s->LoadError().reason, ERROR_SHARING_VIOLATION)) << s->LoadError().reason;
    EXPECT_EQ(s->LoadError().systemError, DWORD(ERROR_SHARING_VIOLATION));
    // Success clears it.
    ASSERT_TRUE(s->LoadFromXML("<r/>"));
    EXPECT_TRUE(s->LoadError().reason.empty());
}

TEST_F(XMLStorageFiles, AOneByteEncodingDeclarationIsKeptAndHonoured) {
    // Cyrillic in windows-1251: the bytes must stay one-byte 1251 codes.
    const std::string file = folder.Path("cyrillic.xml");
    WriteBytes(file,
               "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<r><t>\xCF\xF0\xE8\xE2\xE5\xF2</t></r>");
    Ref<TXMLStorage> s = Loaded(file);
    EXPECT_EQ(RootTextWide(s.get()), L"\u041f\u0440\u0438\u0432\u0435\u0442");
    s->WriteAttribute("changed", "yes");
    ASSERT_TRUE(s->SaveToFile(file));

    const std::string bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "encoding=\"windows-1251\"")) << bytes;
    EXPECT_TRUE(Contains(bytes, "\xCF\xF0\xE8\xE2\xE5\xF2")) << bytes;
    EXPECT_FALSE(Contains(bytes, "\xD0\x9F")) << "UTF-8 bytes under a windows-1251 declaration";

    // (The saved file is indented, and a loaded document keeps every blank:
    // the value is its element's text.)
    Ref<TXMLStorage> back = Loaded(file);
    EXPECT_EQ(ToWide(back->ReadChildText("t")), L"\u041f\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(back->ReadAttribute("changed", ""), "yes");
}

TEST_F(XMLStorageFiles, CharactersTheDeclaredEncodingLacksBecomeReferences) {
    const std::string file = folder.Path("latin1.xml");
    WriteBytes(file, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"caf\xE9\"/>");
    Ref<TXMLStorage> s = Loaded(file);
    EXPECT_EQ(s->ReadAttribute("a", ""), u8"caf\u00e9");
    const std::string euro = u8"\u20ac 5";  // not in ISO-8859-1
    s->WriteChildText("price", euro);
    ASSERT_TRUE(s->SaveToFile(file));

    const std::string bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "encoding=\"ISO-8859-1\"")) << bytes;
    EXPECT_TRUE(Contains(bytes, "caf\xE9\"")) << bytes;
    EXPECT_TRUE(Contains(bytes, "&#x20AC; 5")) << bytes;

    Ref<TXMLStorage> back = Loaded(file);
    EXPECT_EQ(back->ReadAttribute("a", ""), u8"caf\u00e9");
    EXPECT_EQ(back->ReadChildText("price"), euro);
}

TEST_F(XMLStorageFiles, EveryScriptSurvivesLoadAndSaveUnderEitherDeclaration) {
    const std::string texts[] = {u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642",  // Cyrillic, emoji
                                 u8"\u0393\u03b5\u03b9\u03ac \u03c3\u03bf\u03c5",      // Greek
                                 u8"\u4f60\u597d\uff0c\u4e16\u754c",                   // CJK
                                 u8"\U0001F600 \U0001D11E",                            // beyond the BMP
                                 u8"caf\u00e9 \u00c4rger \u20ac",                      // in windows-1252
                                 "plain ASCII & <markup>"};
    for (const char* encoding : {"windows-1252", "UTF-8"}) {
        SCOPED_TRACE(encoding);
        const std::string declaration = std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>";
        const std::string file = folder.Path(std::string("scripts-") + encoding + ".xml");
        WriteBytes(file, declaration + "\r\n<config generation=\"1\"/>\r\n");
        Ref<TXMLStorage> s = Loaded(file);
        for (const std::string& text : texts) {
            Ref<IHierStorage> item = s->AddChild("item");
            item->WriteAttribute("name", text);
            item->WriteChildText("value", text);
        }
        ASSERT_TRUE(s->SaveToFile(file));
        const std::string first = ReadBytes(file);
        EXPECT_EQ(first.rfind(declaration, 0), 0u) << first;  // the declaration stays, first
        if (std::string(encoding) == "windows-1252") {
            // What the page holds is written in it, the rest as references.
            EXPECT_TRUE(Contains(first, "caf\xE9 \xC4rger \x80")) << first;
            EXPECT_TRUE(Contains(first, "&#x41F;&#x440;&#x438;&#x432;&#x435;&#x442; &#x1F642;")) << first;
            EXPECT_TRUE(Contains(first, "&#x4F60;&#x597D;")) << first;
            EXPECT_FALSE(Contains(first, "\xD0\x9F")) << "UTF-8 bytes under a windows-1252 declaration";
        } else {
            EXPECT_TRUE(Contains(first, texts[0])) << first;
            EXPECT_FALSE(Contains(first, "&#x")) << first;
        }

        // Load, save, load again: the same texts, the same bytes.
        Ref<TXMLStorage> back = Loaded(file);
        ASSERT_EQ(back->ChildCount("item"), int(sizeof(texts) / sizeof(texts[0])));
        for (int i = 0; i < back->ChildCount("item"); ++i) {
            Ref<IHierStorage> item = back->GetChild("item", i);
            EXPECT_EQ(item->ReadAttribute("name", ""), texts[i]);
            EXPECT_EQ(item->ReadChildText("value"), texts[i]);
        }
        EXPECT_EQ(back->ReadAttribute("generation", ""), "1");
        ASSERT_TRUE(back->SaveToFile(file));
        EXPECT_EQ(ReadBytes(file), first);
    }
}

TEST_F(XMLStorageFiles, WhereNoReferenceMayStandTheTextStaysWhole) {
    const std::string cyrillic = u8"\u041f\u0440\u0438\u0432\u0435\u0442";
    // A CDATA section takes no references: it is closed around each one.
    Ref<TXMLStorage> s = TXMLStorage::Create();
    ASSERT_TRUE(s->LoadFromXML("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><![CDATA[" + cyrillic +
                               " <b>&]]></r>"));
    const std::string file = folder.Path("cdata.xml");
    ASSERT_TRUE(s->SaveToFile(file));
    std::string bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "encoding=\"windows-1252\"")) << bytes;
    EXPECT_TRUE(Contains(bytes, "]]>&#x41F;<![CDATA[")) << bytes;
    EXPECT_EQ(Loaded(file)->GetText(), cyrillic + " <b>&");

    // A comment cannot hold a reference either: rather than lose its text,
    // the file becomes UTF-8, in its declaration too.
    ASSERT_TRUE(s->LoadFromXML(u8"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r a=\"caf\u00e9\"><!--" +
                               cyrillic + "--><t>" + cyrillic + "</t></r>"));
    ASSERT_TRUE(s->SaveToFile(file));
    bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "encoding=\"UTF-8\"")) << bytes;
    EXPECT_TRUE(Contains(bytes, "<!--" + cyrillic + "-->")) << bytes;
    Ref<TXMLStorage> back = Loaded(file);
    EXPECT_EQ(back->ReadChildText("t"), cyrillic);
    EXPECT_EQ(back->ReadAttribute("a", ""), u8"caf\u00e9");
}

TEST_F(XMLStorageFiles, TextDocumentsKeepTheirDeclarationWhenSaved) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    const std::string text = u8"\u00c4rger";
    ASSERT_TRUE(s->LoadFromXML("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>" + text + "</r>"));
    const std::string file = folder.Path("ansi.xml");
    ASSERT_TRUE(s->SaveToFile(file));
    const std::string bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "encoding=\"windows-1252\""));
    EXPECT_TRUE(Contains(bytes, "<r>\xC4rger</r>")) << bytes;
    EXPECT_EQ(Loaded(file)->GetText(), text);

    ASSERT_TRUE(s->LoadFromXML("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>" + text + "</r>"));
    ASSERT_TRUE(s->SaveToFile(file));
    const std::string wide = ReadBytes(file);
    EXPECT_EQ(wide.substr(0, 4), std::string("\xFF\xFE<\0", 4));
    EXPECT_EQ(Loaded(file)->GetText(), text);
}

TEST_F(XMLStorageFiles, AnEncodingThatCannotBeWrittenBecomesUtf8) {
    // A declaration added through the document service itself, naming an
    // encoding the writer does not know.
    Ref<TXMLStorage> s = NewStorage("r");
    const std::string text = u8"\u00c4rger";
    s->SetText(text);
    Ref<IXMLDOMProcessingInstruction> declaration;
    ASSERT_EQ(s->Document()->createProcessingInstruction(
                  Bstr(std::string("xml")).get(),
                  Bstr(std::string("version=\"1.0\" encoding=\"x-unknown\"")).get(), declaration.put()),
              S_OK);
    Ref<IXMLDOMNode> inserted, first;
    s->Document()->get_firstChild(first.put());
    VARIANT at;
    VariantInit(&at);
    at.vt = VT_UNKNOWN;
    at.punkVal = first.get();
    ASSERT_EQ(s->Document()->insertBefore(declaration.get(), at, inserted.put()), S_OK);
    const std::string file = folder.Path("unknown.xml");
    ASSERT_TRUE(s->SaveToFile(file));
    const std::string bytes = ReadBytes(file);
    EXPECT_TRUE(Contains(bytes, "encoding=\"UTF-8\"")) << bytes;
    EXPECT_TRUE(Contains(bytes, "\xC3\x84rger")) << bytes;
    EXPECT_EQ(Loaded(file)->GetText(), text);
}

// A save replaces the content, not the file: a reader that holds it open
// (as the command center's reload does) does not stop the save and reads on
// the content it opened; the file keeps its attributes.
TEST_F(XMLStorageFiles, ASaveKeepsTheFileAndNeedsNoReaderToLetGo) {
    const std::string file = folder.Path("Ombrel.ini");
    Ref<TXMLStorage> first = NewStorage("tarvel_windows");
    first->WriteAttribute("n", "1");
    ASSERT_TRUE(first->SaveToFile(file));
    const std::string old = ReadBytes(file);
    {
        UniqueHandle reader = OpenXMLFileForReading(file);
        ASSERT_TRUE(reader);
        Ref<TXMLStorage> second = NewStorage("tarvel_windows");
        second->WriteAttribute("n", "2");
        EXPECT_NO_THROW(EXPECT_TRUE(second->SaveToFile(file))) << "a reader holds the file";
        char head[64] = {};
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(reader.get(), head, DWORD(sizeof(head) - 1), &got, nullptr));
        EXPECT_EQ(std::string(head, got), old.substr(0, got)) << "the reader reads what it opened";
    }
    EXPECT_EQ(Loaded(file)->ReadAttribute("n", ""), "2");

    // Hidden stays hidden, saved anew however often.
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
    for (const char* n : {"3", "4"}) {
        Ref<TXMLStorage> again = NewStorage("tarvel_windows");
        again->WriteAttribute("n", n);
        ASSERT_TRUE(again->SaveToFile(file));
        const DWORD attributes = GetFileAttributesA(file.c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << n;
        EXPECT_EQ(Loaded(file)->ReadAttribute("n", ""), n);
    }
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Nothing of the saves is left beside it.
    EXPECT_EQ(FilesMatching(folder.Path(""), "*").size(), 1u);
}

TEST_F(XMLStorageFiles, MissingAndMalformedInputNeverDropsTheLoadedDocument) {
    const std::string good = folder.Path("good.xml"), bad = folder.Path("bad.xml");
    WriteBytes(good, "<r id=\"1\"><c/></r>");
    WriteBytes(bad, "<r id=\"2\"><c></r>");
    Ref<TXMLStorage> s = Loaded(good);

    EXPECT_FALSE(s->LoadFromFile(folder.Path("missing.xml")));
    EXPECT_EQ(s->ReadAttribute("id", ""), "1");
    EXPECT_FALSE(s->LoadFromFile(bad));
    EXPECT_EQ(s->ReadAttribute("id", ""), "1");
    EXPECT_FALSE(s->LoadFromXML("<r id=\"3\"><unclosed></r>"));
    EXPECT_EQ(s->ReadAttribute("id", ""), "1");
    EXPECT_FALSE(s->LoadFromXML(""));
    EXPECT_EQ(s->ChildCount("c"), 1);

    EXPECT_FALSE(OpenXMLFile(folder.Path("missing.xml")));
    EXPECT_FALSE(OpenXMLFile(bad));
    Ref<IHierStorage> opened = OpenXMLFile(good);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->ReadAttribute("id", ""), "1");
}

TEST(XMLStorage, AbsentAndEmptyAttributes) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    ASSERT_TRUE(s->LoadFromXML("<r empty=\"\" full=\"x\"/>"));
    EXPECT_EQ(s->ReadAttribute("absent", "default"), "default");
    EXPECT_EQ(s->ReadAttribute("empty", "default"), "");
    EXPECT_EQ(s->ReadAttribute("full", "default"), "x");
    EXPECT_EQ(s->ReadAttribute("FULL", "default"), "default");  // names are case-sensitive
    s->WriteAttribute("full", "replaced");
    s->WriteAttribute("empty", "");
    EXPECT_EQ(s->ReadAttribute("full", ""), "replaced");
    EXPECT_EQ(s->ReadAttribute("empty", "default"), "");

    // A storage without an element answers every read with its default.
    Ref<TXMLStorage> none = TXMLStorage::Create();
    EXPECT_EQ(none->ReadAttribute("full", "default"), "default");
    EXPECT_EQ(none->ChildCount("a"), 0);
    EXPECT_FALSE(none->GetChild("a", 0));
    EXPECT_EQ(none->GetText(), "");
    EXPECT_EQ(none->ReadChildText("a"), "");
    std::string xml = "unchanged";
    EXPECT_FALSE(none->GetXML(xml));
    EXPECT_EQ(xml, "unchanged");
}

TEST(XMLStorage, ChildIndexCountsOnlyDirectChildrenOfThatName) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    ASSERT_TRUE(
        s->LoadFromXML("<r><a n=\"0\"><a n=\"inner\"/></a>text<b n=\"b\"/><!-- a --><?a x?>"
                       "<a n=\"1\"/><A n=\"upper\"/></r>"));
    EXPECT_EQ(s->ChildCount("a"), 2);
    EXPECT_EQ(s->ChildCount("b"), 1);
    EXPECT_EQ(s->ChildCount("c"), 0);
    EXPECT_EQ(s->NodeName(), "r");
    EXPECT_EQ(s->ChildNodeNames(), (std::vector<std::string>{"a", "b", "a", "A"}));  // elements only
    ASSERT_TRUE(s->GetChild("a", 0));
    EXPECT_EQ(s->GetChild("a", 0)->ReadAttribute("n", ""), "0");
    ASSERT_TRUE(s->GetChild("a", 1));
    EXPECT_EQ(s->GetChild("a", 1)->ReadAttribute("n", ""), "1");
    EXPECT_FALSE(s->GetChild("a", 2));  // == ChildCount
    EXPECT_FALSE(s->GetChild("a", -1));
    EXPECT_EQ(s->GetChild("a", 0)->GetChild("a", 0)->ReadAttribute("n", ""), "inner");
    EXPECT_EQ(s->GetChild("A", 0)->ReadAttribute("n", ""), "upper");
    // Any order of indexes and names, and children added between reads.
    EXPECT_EQ(s->GetChild("a", 1)->ReadAttribute("n", ""), "1");
    EXPECT_EQ(s->GetChild("b", 0)->ReadAttribute("n", ""), "b");
    EXPECT_EQ(s->GetChild("a", 1)->ReadAttribute("n", ""), "1");
    EXPECT_EQ(s->GetChild("a", 0)->ReadAttribute("n", ""), "0");
    s->AddChild("a")->WriteAttribute("n", "2");
    EXPECT_EQ(s->GetChild("a", 2)->ReadAttribute("n", ""), "2");
    EXPECT_EQ(s->GetChild("a", 1)->ReadAttribute("n", ""), "1");
}

// What a reader does not read it sees in order and copies as markup:
// elements by name, other nodes as their markup; blank text is no node.
TEST(XMLStorage, ChildNodesAndMarkupCopyWhatIsNotRead) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    ASSERT_TRUE(s->LoadFromXML("<r b=\"2\" a=\"1 &amp; 2\">\n\t<x n=\"1\"><y/></x>\n  some &lt;text&gt; \n"
                               "<!-- a comment --><?pi data?><![CDATA[<raw>]]>\n\t<z/>\n</r>"));
    EXPECT_EQ(s->Attributes(), (std::vector<std::pair<std::string, std::string>>{{"b", "2"}, {"a", "1 & 2"}}));
    const std::vector<THierNode> nodes = s->ChildNodes();
    std::vector<std::string> seen;
    for (const THierNode& n : nodes) seen.push_back(n.name.empty() ? "markup:" + n.markup : n.name);
    EXPECT_EQ(seen, (std::vector<std::string>{"x", "markup:some &lt;text&gt;", "markup:<!-- a comment -->",
                                              "markup:<?pi data?>", "markup:<![CDATA[<raw>]]>", "z"}));
    // An element's markup holds it whole (the service may lay out the lines
    // of what it renders, with line feeds as a parser reads them back).
    const std::string x = s->GetChild("x", 0)->Markup();
    EXPECT_EQ(x.rfind("<x n=\"1\">", 0), 0u) << x;
    EXPECT_NE(x.find("<y/>"), std::string::npos) << x;
    EXPECT_EQ(x.find('\r'), std::string::npos) << x;
    EXPECT_TRUE(s->GetChild("z", 0)->ChildNodes().empty());

    // Each node written back as markup reads back as it was.
    Ref<TXMLStorage> copy = TXMLStorage::Create();
    ASSERT_TRUE(copy->CreateNew("r"));
    for (const THierNode& n : nodes) copy->AddMarkup(n.name.empty() ? n.markup : s->GetChild(n.name, 0)->Markup());
    ASSERT_EQ(copy->ChildNodes().size(), nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(copy->ChildNodes()[i].name, nodes[i].name);
        EXPECT_EQ(copy->ChildNodes()[i].markup, nodes[i].markup);
    }
    EXPECT_EQ(copy->GetChild("x", 0)->ReadAttribute("n", ""), "1");
    EXPECT_EQ(copy->GetChild("x", 0)->GetChild("y", 0)->NodeName(), "y");
    EXPECT_THROW(copy->AddMarkup("<open>"), EXMLStorageError);

    // Around the root element: what stands before and after it, not the
    // declaration.
    ASSERT_TRUE(s->LoadFromXML("<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<!-- before --><r/><?after it?>"));
    seen.clear();
    for (const THierNode& n : s->DocumentNodes()) seen.push_back(n.name.empty() ? "markup:" + n.markup : n.name);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"markup:<!DOCTYPE r>", "markup:<!-- before -->", "r", "markup:<?after it?>"}));
}

TEST(XMLStorage, NamesAreNeverReadAsQueries) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    ASSERT_TRUE(s->LoadFromXML("<r x=\"1\"><a y=\"2\"/><b/></r>"));
    for (const char* hostile :
         {"*", "node()", "a | b", "a/..", "../r", "a[1]", "@x", "", "a b", "x' or '1'='1"}) {
        EXPECT_EQ(s->ChildCount(hostile), 0) << hostile;
        EXPECT_FALSE(s->GetChild(hostile, 0)) << hostile;
        EXPECT_EQ(s->ReadAttribute(hostile, "default"), "default") << hostile;
        EXPECT_EQ(s->ReadChildText(hostile), "") << hostile;
    }
    // Writes refuse names that would make the document unreadable.
    EXPECT_THROW(s->AddChild("a b"), EXMLStorageError);
    EXPECT_THROW(s->WriteAttribute("1x", "v"), EXMLStorageError);
    EXPECT_THROW(s->WriteChildText("a<b", "v"), EXMLStorageError);
    EXPECT_THROW(s->AddChild(""), EXMLStorageError);
    EXPECT_FALSE(TXMLStorage::Create()->CreateNew("bad name"));
    EXPECT_EQ(s->ChildCount("a"), 1);
}

TEST(XMLStorage, WritesWithoutAnElementRaiseAClearError) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    try {
        s->WriteAttribute("a", "b");
        FAIL() << "no exception";
    } catch (const EXMLStorageError& e) {
        EXPECT_NE(std::string(e.what()).find("WriteAttribute needs an element"), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(s->AddChild("a"), EXMLStorageError);
    EXPECT_THROW(s->SetText("a"), EXMLStorageError);
    EXPECT_THROW(s->WriteChildText("a", "b"), EXMLStorageError);

    // A text document that does not parse leaves the storage as it was:
    // still without an element.
    EXPECT_FALSE(s->LoadFromXML("<not well-formed"));
    EXPECT_THROW(s->SetText("a"), EXMLStorageError);
}

TEST(XMLStorage, WriteChildTextTwiceMakesTwoChildren) {
    Ref<TXMLStorage> s = NewStorage("r");
    s->WriteChildText("name", "first");
    s->WriteChildText("name", "second");
    EXPECT_EQ(s->ChildCount("name"), 2);
    EXPECT_EQ(s->ReadChildText("name"), "first");
    EXPECT_EQ(s->GetChild("name", 1)->GetText(), "second");

    // SetText replaces the whole content, children included; GetText joins
    // the text of all descendants.
    Ref<IHierStorage> group = s->AddChild("group");
    group->WriteChildText("x", "A");
    group->WriteChildText("y", "B");
    EXPECT_EQ(group->GetText(), "AB");
    group->SetText("plain");
    EXPECT_EQ(group->ChildCount("x"), 0);
    EXPECT_EQ(group->GetText(), "plain");
}

// Two storages on one element: what one of them replaced is never handed
// out by the other, which goes on from what the element holds now.
TEST(XMLStorage, AChildRemovedThroughAnotherStorageIsNeverAnswered) {
    Ref<TXMLStorage> s = TXMLStorage::Create();
    ASSERT_TRUE(s->LoadFromXML("<r><g><a n=\"0\"/><a n=\"1\"/></g></r>"));
    Ref<IHierStorage> reader = s->GetChild("g", 0), writer = s->GetChild("g", 0);
    ASSERT_TRUE(reader && writer);
    ASSERT_TRUE(reader->GetChild("a", 1));
    writer->SetText("");
    EXPECT_FALSE(reader->GetChild("a", 1)) << "a detached child";
    EXPECT_EQ(reader->ChildCount("a"), 0);
    writer->AddChild("a")->WriteAttribute("n", "new 0");
    writer->AddChild("a")->WriteAttribute("n", "new 1");
    ASSERT_TRUE(reader->GetChild("a", 1));
    EXPECT_EQ(reader->GetChild("a", 1)->ReadAttribute("n", ""), "new 1");
    EXPECT_EQ(reader->GetChild("a", 0)->ReadAttribute("n", ""), "new 0");
}

TEST(XMLStorage, ChildStoragesShareTheDocument) {
    Ref<TXMLStorage> s = NewStorage("r");
    Ref<IHierStorage> child = s->AddChild("child");
    child->WriteAttribute("k", "v");
    child->AddChild("grandchild")->SetText("t");
    std::string xml;
    ASSERT_TRUE(s->GetXML(xml));
    EXPECT_TRUE(Contains(xml, "<child k=\"v\">")) << xml;
    EXPECT_TRUE(Contains(xml, "<grandchild>t</grandchild>")) << xml;

    // Every storage reaches the same document and its file operations.
    Ref<IXMLStorage> asXml = Ref<IHierStorage>(child).As<IXMLStorage>();
    ASSERT_TRUE(asXml);
    Ref<TXMLStorage> other = TXMLStorage::Create();
    other->Attach(s->Element(), s->Document());
    EXPECT_EQ(other->ChildCount("child"), 1);
    std::string again;
    ASSERT_TRUE(other->GetXML(again));
    EXPECT_EQ(again, xml);
    other->Detach();
    EXPECT_EQ(other->ChildCount("child"), 0);
    EXPECT_FALSE(other->GetXML(again));
}

namespace {

class TPersistProbe : public TDebugInterfacedObject, public IPersistObject {
public:
    OMB_IUNKNOWN
    void SaveTo(IHierStorage* storage) override { storage->WriteChildText("value", value); }
    void LoadFrom(IHierStorage* storage) override { value = storage->ReadChildText("value"); }
    std::string GetElementName() override { return "probe"; }
    std::string value;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<IPersistObject>(this, iid, object)) return S_OK;
        return TDebugInterfacedObject::QueryImpl(iid, object);
    }
};

}  // namespace

TEST_F(XMLStorageFiles, ObjectsSaveAndLoadThemselves) {
    const long live = TDebugInterfacedObject::LiveObjects();
    {
        Ref<TPersistProbe> probe(new TPersistProbe);
        probe->value = "stored";
        Ref<TXMLStorage> s = NewStorage("probe");
        EXPECT_TRUE(s->SaveObject(probe.get()));
        EXPECT_FALSE(s->SaveObject(nullptr));
        ASSERT_TRUE(s->SaveToFile(folder.Path("probe.xml")));

        Ref<TPersistProbe> back(new TPersistProbe);
        Ref<TXMLStorage> loaded = Loaded(folder.Path("probe.xml"));
        EXPECT_TRUE(loaded->LoadObject(back.get()));
        EXPECT_FALSE(loaded->LoadObject(nullptr));
        EXPECT_EQ(back->value, "stored");
    }
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), live);
}

TEST_F(XMLStorageFiles, SavingReplacesTheFileOnlyWhenTheNewOneIsComplete) {
    const std::string file = folder.Path("config.xml");
    Ref<TXMLStorage> first = NewStorage("config");
    first->WriteAttribute("generation", "1");
    ASSERT_TRUE(first->SaveToFile(file));
    const std::string old = ReadBytes(file);

    // A document whose text would not read back (a name character that XML
    // does not allow, which the service lets through): the save raises and
    // the old file stays.
    Ref<TXMLStorage> broken = NewStorage("config");
    broken->AddChild(u8"rule\u00d7");
    EXPECT_THROW(broken->SaveToFile(file), EOleError);
    EXPECT_EQ(ReadBytes(file), old);

    // A name that cannot be replaced (a folder): raises, and the folder stays.
    Ref<TXMLStorage> second = NewStorage("config");
    second->WriteAttribute("generation", "2");
    ASSERT_TRUE(CreateDirectoryA(folder.Path("taken").c_str(), nullptr));
    EXPECT_THROW(second->SaveToFile(folder.Path("taken")), EOSError);
    EXPECT_TRUE(GetFileAttributesA(folder.Path("taken").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(folder.Path("taken").c_str());

    // A folder that does not exist: raises, creates nothing.
    EXPECT_THROW(second->SaveToFile(folder.Path("no such folder\\config.xml")), EOSError);

    // A read-only file is not replaced.
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_THROW(second->SaveToFile(file), EOSError);
    EXPECT_EQ(ReadBytes(file), old);
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);

    // No temporary file is left behind, and a save that can go through does.
    EXPECT_EQ(FilesMatching(folder.Name(), "*").size(), 1u);
    ASSERT_TRUE(second->SaveToFile(file));
    EXPECT_EQ(Loaded(file)->ReadAttribute("generation", ""), "2");
    EXPECT_EQ(FilesMatching(folder.Name(), "*").size(), 1u);
}

namespace {

// The file calls of a save replaced, for one test, by ones that fail as
// their documentation says they may.
class FailingSaveCalls {
public:
    static DWORD replaceError;       // the replacement fails with it; 0: the system's runs
    static bool setsAside;           // the failing replacement moved the old file to the backup name
    static bool newStuck, oldStuck;  // moves of the new file, of the backup, fail
    static DWORD attributesError;    // reading attributes fails with it; 0: the system's runs

    FailingSaveCalls() : saved_(SaveFileCalls()) {
        SaveFileCalls().replaceFile = Replace;
        SaveFileCalls().moveFile = Move;
        SaveFileCalls().fileAttributes = Attributes;
    }
    ~FailingSaveCalls() {
        SaveFileCalls() = saved_;
        replaceError = attributesError = 0;
        setsAside = newStuck = oldStuck = false;
        replacement_.clear();
        backup_.clear();
    }

private:
    static BOOL WINAPI Replace(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID, LPVOID) {
        replacement_ = replacement;
        backup_ = backup ? backup : L"";
        if (!replaceError) return ReplaceFileW(replaced, replacement, backup, flags, nullptr, nullptr);
        if (setsAside && !(backup ? MoveFileExW(replaced, backup, MOVEFILE_REPLACE_EXISTING) : DeleteFileW(replaced)))
            return FALSE;
        SetLastError(replaceError);
        return FALSE;
    }
    static BOOL WINAPI Move(LPCWSTR from, LPCWSTR to, DWORD flags) {
        if ((newStuck && replacement_ == from) || (oldStuck && backup_ == from)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return MoveFileExW(from, to, flags);
    }
    static DWORD WINAPI Attributes(LPCWSTR name) {
        if (!attributesError) return GetFileAttributesW(name);
        SetLastError(attributesError);
        return INVALID_FILE_ATTRIBUTES;
    }

    TSaveFileCalls saved_;
    static std::wstring replacement_, backup_;
};
DWORD FailingSaveCalls::replaceError = 0, FailingSaveCalls::attributesError = 0;
bool FailingSaveCalls::setsAside = false, FailingSaveCalls::newStuck = false, FailingSaveCalls::oldStuck = false;
std::wstring FailingSaveCalls::replacement_, FailingSaveCalls::backup_;

}  // namespace

TEST_F(XMLStorageFiles, AFailedSaveNeverLosesBothCopies) {
    struct Case {
        const char* what;
        DWORD replaceError;
        bool setsAside, newStuck, oldStuck;
        DWORD attributesError;
    };
    const Case cases[] = {
        {"set aside; the new file then moves into place", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, false, false, 0},
        {"set aside; neither file moves", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, true, true, 0},
        {"set aside; the new file does not move", ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, true, false, 0},
        {"left in place; the new file does not move", ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, true, false, 0},
        {"its attributes cannot be read", 0, false, false, false, ERROR_ACCESS_DENIED},
    };
    const std::string file = folder.Path("Ombrel.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ref<TXMLStorage> old = NewStorage("config");
        old->WriteAttribute("generation", "old");
        ASSERT_TRUE(old->SaveToFile(file));
        Ref<TXMLStorage> s = NewStorage("config");
        s->WriteAttribute("generation", "new");
        std::string message;
        {
            FailingSaveCalls failing;
            FailingSaveCalls::replaceError = c.replaceError;
            FailingSaveCalls::setsAside = c.setsAside;
            FailingSaveCalls::newStuck = c.newStuck;
            FailingSaveCalls::oldStuck = c.oldStuck;
            FailingSaveCalls::attributesError = c.attributesError;
            try {
                s->SaveToFile(file);
            } catch (const EOSError& e) {
                message = e.what();
            }
        }
        // Every file left is the target or one the message names; the new
        // content is kept unless the old is in place and the save said it
        // failed; the old content is kept unless the save went through.
        bool saved = false, newKept = false, oldKept = false;
        for (const std::string& name : FilesMatching(folder.Name(), "*")) {
            const std::string path = folder.Path(name);
            const bool named = Contains(message, "\"" + path + "\"");
            EXPECT_TRUE(path == file || named) << name << " is left unnamed: " << message;
            const std::string generation = Loaded(path)->ReadAttribute("generation", "");
            (generation == "new" ? newKept : oldKept) = true;
            if (path == file) saved = generation == "new";
            if (path != file) DeleteFileA(path.c_str());
        }
        EXPECT_EQ(saved, message.empty()) << message;
        EXPECT_TRUE(newKept || (oldKept && !message.empty())) << message;
        EXPECT_TRUE(oldKept || saved) << message;
    }
}

TEST_F(XMLStorageFiles, ASaveMakesNewFilesOnlyAndSaysWhyItCannot) {
    // Files of every name the save could pick, one of them the very copy
    // an earlier failed save kept.
    const std::string file = folder.Path("Ombrel.ini");
    WriteBytes(file, "<config generation=\"old\"/>");
    const char* const others[] = {"~xs00000001.tmp", "~xo00000001.tmp", "~xs00000002.tmp"};
    for (const char* name : others) WriteBytes(folder.Path(name), std::string("kept: ") + name);
    static int taken;  // the first names proposed are those of files that are there
    struct Names {
        TSaveFileCalls saved = SaveFileCalls();
        Names() {
            SaveFileCalls().newName = [](const std::wstring& where, const wchar_t* prefix, unsigned attempt) {
                wchar_t digits[16];
                swprintf(digits, 16, L"%08X", int(attempt) < taken ? 1 + attempt % 2 : 0x100 + attempt);
                return where + prefix + digits + L".tmp";
            };
        }
        ~Names() { SaveFileCalls() = saved; }
    } names;
    auto unchanged = [&](size_t count) {
        EXPECT_EQ(FilesMatching(folder.Name(), "*").size(), count);
        for (const char* name : others) EXPECT_EQ(ReadBytes(folder.Path(name)), std::string("kept: ") + name);
    };
    Ref<TXMLStorage> s = NewStorage("config");
    s->WriteAttribute("generation", "new");
    // Every name taken: the save fails, says so, and the folder is as it was.
    taken = 1000;
    std::string message;
    try {
        s->SaveToFile(file);
    } catch (const EOSError& e) {
        message = e.what();
    }
    EXPECT_TRUE(Contains(message, "every new name tried there is taken")) << message;
    EXPECT_TRUE(Contains(message, "\"" + file + "\"")) << message;
    EXPECT_EQ(ReadBytes(file), "<config generation=\"old\"/>");
    unchanged(4);
    // The first names taken: the save goes on to new ones and touches no
    // other file.
    taken = 3;
    ASSERT_TRUE(s->SaveToFile(file));
    EXPECT_EQ(Loaded(file)->ReadAttribute("generation", ""), "new");
    unchanged(4);

    // Where no file can be made at all, the file and its folder are named
    // with the reason, never a name of the save's own.
    SaveFileCalls().newName = [](const std::wstring& where, const wchar_t*, unsigned) {
        return where + L"no such folder\\new.tmp";
    };
    message.clear();
    try {
        s->SaveToFile(file);
    } catch (const EOSError& e) {
        message = e.what();
    }
    EXPECT_TRUE(Contains(message, "No file can be made in the folder \"" + folder.Path("") + "\" beside \"" + file))
        << message;
    EXPECT_TRUE(SaidInWords(message, ERROR_PATH_NOT_FOUND)) << message;
    EXPECT_FALSE(Contains(message, ".tmp")) << message;
    SaveFileCalls().newName = nullptr;

    // A file another program holds without letting it go: said in words.
    {
        UniqueHandle holder(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
        ASSERT_TRUE(holder);
        message.clear();
        try {
            s->SaveToFile(file);
        } catch (const EOSError& e) {
            message = e.what();
        }
    }
    EXPECT_TRUE(Contains(message, "Another program is using \"" + file + "\"")) << message;
    EXPECT_TRUE(SaidInWords(message, ERROR_SHARING_VIOLATION)) << message;
    unchanged(4);
    // The system's words for the codes a user meets most.
    for (DWORD code : {DWORD(ERROR_FILE_NOT_FOUND), DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_SHARING_VIOLATION)})
        EXPECT_TRUE(SaidInWords(SystemErrorText(code), code)) << SystemErrorText(code);
    // A failed call of the XML service too, its code in hexadecimal.
    message.clear();
    try {
        CheckOle(E_ACCESSDENIED, "IXMLDOMDocument.save");
    } catch (const EOleError& e) {
        message = e.what();
    }
    EXPECT_EQ(message.rfind("IXMLDOMDocument.save failed: ", 0), 0u) << message;
    EXPECT_TRUE(Contains(message, SystemErrorText(ERROR_ACCESS_DENIED).substr(0, 6))) << message;
    EXPECT_TRUE(Contains(message, "(code 0x80070005)")) << message;
}

TEST_F(XMLStorageFiles, WhatIsSavedAlwaysReadsBack) {
    // Control characters cannot stand in an XML 1.0 document; whatever the
    // service makes of them, the file written must load again.
    Ref<TXMLStorage> s = NewStorage("r");
    s->WriteChildText("caption", std::string("a\x01"
                                             "b\x1f"
                                             "c\r\nd\te",
                                             11));
    s->WriteAttribute("attr", "line1\r\nline2\ttab");
    const std::string file = folder.Path("control.xml");
    ASSERT_TRUE(s->SaveToFile(file));
    Ref<TXMLStorage> back = Loaded(file);
    EXPECT_EQ(back->ReadAttribute("attr", ""), "line1\r\nline2\ttab");
    const std::string caption = back->ReadChildText("caption");
    EXPECT_NE(caption.find("c\r\nd\te"), std::string::npos);
}

TEST_F(XMLStorageFiles, OtherThreadsUseTheServiceWithTheirOwnCom) {
    const std::string file = folder.Path("thread.xml");
    WriteBytes(file, "<r><item>from the file</item></r>");
    struct Work {
        std::string file, text;
        bool loaded = false;
    } work{file, "", false};
    auto body = [](void* p) -> DWORD {
        Work& w = *static_cast<Work*>(p);
        try {
            ComInit com;
            if (!com.ok()) return 1;
            Ref<IHierStorage> s = OpenXMLFile(w.file);
            w.loaded = bool(s);
            if (s) w.text = s->ReadChildText("item");
        } catch (...) {
            return 2;
        }
        return 0;
    };
    UniqueHandle thread(CreateThread(nullptr, 0, body, &work, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(thread.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(work.loaded);
    EXPECT_EQ(work.text, "from the file");
}
