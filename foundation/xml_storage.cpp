#include "foundation/xml_storage.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <map>
#include <vector>

#include "foundation/handles.h"
#include "foundation/ole.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_parse_error.h"

namespace omb {

const CLSID kDOMDocumentClass = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

namespace {

template <typename I>
Ref<I> Query(IUnknown* from, REFIID iid) {
    Ref<I> r;
    if (from) from->QueryInterface(iid, reinterpret_cast<void**>(r.put()));
    return r;
}

// Calls visit(element) for each direct child element of that name, in
// document order, until it answers false. Names are compared exactly, as
// the document spells them; no query text is ever built from a name.
template <typename Visit>
void ForEachElementFrom(Ref<IXMLDOMNode> node, const std::wstring& name, Visit visit) {
    while (node) {
        DOMNodeType type = NODE_INVALID;
        CheckOle(node->get_nodeType(&type), "IXMLDOMNode.nodeType");
        if (type == NODE_ELEMENT) {
            Bstr nodeName;
            CheckOle(node->get_nodeName(nodeName.put()), "IXMLDOMNode.nodeName");
            if (nodeName.Equals(name)) {
                Ref<IXMLDOMElement> element = Query<IXMLDOMElement>(node.get(), IID_IXMLDOMElement);
                if (element && !visit(element.get())) return;
            }
        }
        Ref<IXMLDOMNode> next;
        CheckOle(node->get_nextSibling(next.put()), "IXMLDOMNode.nextSibling");
        node = std::move(next);
    }
}

template <typename Visit>
void ForEachChildElement(IXMLDOMElement* parent, const std::wstring& name, Visit visit) {
    Ref<IXMLDOMNode> first;
    CheckOle(parent->get_firstChild(first.put()), "IXMLDOMNode.firstChild");
    ForEachElementFrom(std::move(first), name, visit);
}

// Blanks as XML counts them.
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// Markup with its line breaks as a parser reads them back: a service may
// break the lines of what it renders with CR LF.
std::wstring LineFeeds(std::wstring markup) {
    size_t at = 0;
    while ((at = markup.find(L"\r\n", at)) != std::wstring::npos) markup.erase(at, 1);
    return markup;
}

// The node as IHierStorage::ChildNodes gives it; false when it is no node
// worth keeping (blank text, and the XML declaration when skipped). Text is
// given without the blanks at either end: they lay out lines, which whoever
// writes the node again lays out itself.
bool HierNodeOf(IXMLDOMNode* node, bool skipDeclaration, THierNode& out) {
    DOMNodeType type = NODE_INVALID;
    CheckOle(node->get_nodeType(&type), "IXMLDOMNode.nodeType");
    Bstr name;
    if (type == NODE_DOCUMENT_TYPE) {
        // The service may render no document type declaration: its name
        // says which it is.
        Bstr xml;
        if (SUCCEEDED(node->get_xml(xml.put())) && xml.size()) {
            out = THierNode{std::string(), FromWide(LineFeeds(xml.Wide()))};
        } else {
            const bool named = SUCCEEDED(node->get_nodeName(name.put())) && name.size();
            out = THierNode{std::string(), "<!DOCTYPE" + (named ? " " + name.Utf8() : std::string()) + ">"};
        }
        return true;
    }
    if (type == NODE_ELEMENT || type == NODE_PROCESSING_INSTRUCTION)
        CheckOle(node->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
    if (type == NODE_ELEMENT) {
        out = THierNode{name.Utf8(), std::string()};
        return true;
    }
    if (skipDeclaration && type == NODE_PROCESSING_INSTRUCTION && name.Equals(L"xml")) return false;
    Bstr xml;
    CheckOle(node->get_xml(xml.put()), "IXMLDOMNode.xml");
    std::wstring markup = LineFeeds(xml.Wide());
    if (type == NODE_TEXT) {
        size_t from = 0, to = markup.size();
        while (from < to && IsBlank(markup[from])) ++from;
        while (to > from && IsBlank(markup[to - 1])) --to;
        markup = markup.substr(from, to - from);
    }
    if (markup.empty()) return false;
    out = THierNode{std::string(), FromWide(markup)};
    return true;
}

// The child nodes from `node` on, as IHierStorage::ChildNodes gives them.
std::vector<THierNode> NodesFrom(Ref<IXMLDOMNode> node) {
    std::vector<THierNode> nodes;
    while (node) {
        THierNode hier;
        if (HierNodeOf(node.get(), false, hier)) nodes.push_back(std::move(hier));
        Ref<IXMLDOMNode> next;
        CheckOle(node->get_nextSibling(next.put()), "IXMLDOMNode.nextSibling");
        node = std::move(next);
    }
    return nodes;
}

// Calls visit(name, value) for each attribute of the node, in document order.
template <typename Visit>
void ForEachAttribute(IXMLDOMNode* node, Visit visit) {
    Ref<IXMLDOMNamedNodeMap> attributes;
    CheckOle(node->get_attributes(attributes.put()), "IXMLDOMNode.attributes");
    long count = 0;
    if (attributes) CheckOle(attributes->get_length(&count), "IXMLDOMNamedNodeMap.length");
    for (long i = 0; i < count; ++i) {
        Ref<IXMLDOMNode> attribute;
        CheckOle(attributes->get_item(i, attribute.put()), "IXMLDOMNamedNodeMap.item");
        if (!attribute) continue;
        Bstr name;
        CheckOle(attribute->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
        OleVariant value;
        CheckOle(attribute->get_nodeValue(value.put()), "IXMLDOMNode.nodeValue");
        visit(name, value);
    }
}

// A copy of a node of another document, made in `document`: elements with
// their attributes and content, text, CDATA sections, comments and
// processing instructions (nothing else stands in parsed content here).
Ref<IXMLDOMNode> CopyNode(IXMLDOMDocument* document, IXMLDOMNode* from) {
    DOMNodeType type = NODE_INVALID;
    CheckOle(from->get_nodeType(&type), "IXMLDOMNode.nodeType");
    Bstr name;
    CheckOle(from->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
    Ref<IXMLDOMNode> made;
    if (type == NODE_ELEMENT) {
        Ref<IXMLDOMElement> element;
        CheckOle(document->createElement(name.get(), element.put()), "IXMLDOMDocument.createElement");
        ForEachAttribute(from, [&](const Bstr& attribute, const OleVariant& value) {
            CheckOle(element->setAttribute(attribute.get(), value.get()), "IXMLDOMElement.setAttribute");
        });
        made = Query<IXMLDOMNode>(element.get(), IID_IXMLDOMNode);
        Ref<IXMLDOMNode> child;
        CheckOle(from->get_firstChild(child.put()), "IXMLDOMNode.firstChild");
        while (child) {
            if (Ref<IXMLDOMNode> copy = CopyNode(document, child.get())) {
                Ref<IXMLDOMNode> appended;
                CheckOle(made->appendChild(copy.get(), appended.put()), "IXMLDOMNode.appendChild");
            }
            Ref<IXMLDOMNode> next;
            CheckOle(child->get_nextSibling(next.put()), "IXMLDOMNode.nextSibling");
            child = std::move(next);
        }
        return made;
    }
    OleVariant value;
    CheckOle(from->get_nodeValue(value.put()), "IXMLDOMNode.nodeValue");
    const Bstr data(value.IsNull() ? std::string() : value.Utf8());
    if (type == NODE_TEXT) {
        Ref<IXMLDOMText> text;
        CheckOle(document->createTextNode(data.get(), text.put()), "IXMLDOMDocument.createTextNode");
        made = Query<IXMLDOMNode>(text.get(), IID_IXMLDOMNode);
    } else if (type == NODE_CDATA_SECTION) {
        Ref<IXMLDOMCDATASection> section;
        CheckOle(document->createCDATASection(data.get(), section.put()), "IXMLDOMDocument.createCDATASection");
        made = Query<IXMLDOMNode>(section.get(), IID_IXMLDOMNode);
    } else if (type == NODE_COMMENT) {
        Ref<IXMLDOMComment> comment;
        CheckOle(document->createComment(data.get(), comment.put()), "IXMLDOMDocument.createComment");
        made = Query<IXMLDOMNode>(comment.get(), IID_IXMLDOMNode);
    } else if (type == NODE_PROCESSING_INSTRUCTION) {
        Ref<IXMLDOMProcessingInstruction> instruction;
        CheckOle(document->createProcessingInstruction(name.get(), data.get(), instruction.put()),
                 "IXMLDOMDocument.createProcessingInstruction");
        made = Query<IXMLDOMNode>(instruction.get(), IID_IXMLDOMNode);
    }
    return made;
}

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// ---- Encodings of saved documents ------------------------------------------

constexpr UINT kUtf16 = 1200;

std::wstring LowerAscii(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    return s;
}

bool AllDigits(const std::wstring& s) {
    if (s.empty() || s.size() > 5) return false;
    for (wchar_t c : s)
        if (c < L'0' || c > L'9') return false;
    return true;
}

// The code page of an encoding name of the XML declaration; 0 when unknown.
UINT CodePageOf(const std::wstring& encodingName) {
    const std::wstring e = LowerAscii(encodingName);
    if (e == L"utf-8" || e == L"utf8") return CP_UTF8;
    if (e == L"utf-16" || e == L"utf-16le" || e == L"unicode" || e == L"ucs-2") return kUtf16;
    if (e == L"us-ascii" || e == L"ascii") return 20127;
    if (e == L"koi8-r") return 20866;
    if (e == L"koi8-u") return 21866;
    if (e == L"shift_jis" || e == L"shift-jis" || e == L"sjis") return 932;
    if (e == L"gb2312" || e == L"gbk") return 936;
    if (e == L"ks_c_5601-1987" || e == L"euc-kr") return 949;
    if (e == L"big5") return 950;
    struct Prefix {
        const wchar_t* text;
        UINT base;
    };
    static const Prefix prefixes[] = {
        {L"windows-", 0}, {L"cp", 0}, {L"ibm", 0}, {L"iso-8859-", 28590}, {L"iso8859-", 28590}};
    for (const Prefix& p : prefixes) {
        const std::wstring prefix = p.text;
        if (e.compare(0, prefix.size(), prefix) != 0) continue;
        const std::wstring rest = e.substr(prefix.size());
        if (!AllDigits(rest)) continue;
        UINT n = UINT(std::stoul(rest));
        if (p.base) {
            if (n < 1 || n > 16) return 0;
            n += p.base;
        }
        return n;
    }
    return 0;
}

// Writes a document's text in a code page. Characters the page lacks become
// character references ("&#x...;") where XML allows them: in text and in
// attribute values; in a CDATA section, which takes no references, the
// section is closed for the reference and opened again. Anywhere else (a
// name, a comment, a processing instruction, a document type declaration)
// no reference can stand for a character, and the page cannot hold the
// document.
class CodePageWriter {
public:
    explicit CodePageWriter(UINT cp) : cp_(cp) {
        std::wstring ascii;
        for (wchar_t c = 1; c < 0x80; ++c) ascii += c;
        std::string bytes;
        asciiCompatible_ =
            ToCodePageExact(cp, ascii.data(), ascii.size(), bytes) && bytes.size() == ascii.size();
        for (size_t i = 0; asciiCompatible_ && i < ascii.size(); ++i)
            asciiCompatible_ = static_cast<unsigned char>(bytes[i]) == ascii[i];
    }

    // False when a character the page lacks stands where no reference may.
    bool Write(const std::wstring& text, std::string& out) {
        out.clear();
        out.reserve(text.size() + text.size() / 8);
        State state = State::Content;
        wchar_t quote = 0;
        int depth = 0;  // brackets of a document type declaration
        for (size_t i = 0; i < text.size();) {
            // Markup that opens or closes a construct is written as it is.
            if (state == State::Content && text[i] == L'<') {
                const wchar_t* opener = L"<";
                state = State::Tag;
                if (Starts(text, i, L"<!--")) {
                    opener = L"<!--";
                    state = State::Comment;
                } else if (Starts(text, i, L"<![CDATA[")) {
                    opener = L"<![CDATA[";
                    state = State::CData;
                } else if (Starts(text, i, L"<?")) {
                    opener = L"<?";
                    state = State::Instruction;
                } else if (Starts(text, i, L"<!")) {
                    opener = L"<!";
                    state = State::Declaration;
                    depth = 0;
                    quote = 0;
                }
                if (!Markup(opener, out)) return false;
                i += std::wcslen(opener);
                continue;
            }
            const wchar_t* closer = nullptr;
            if (state == State::Comment && Starts(text, i, L"-->")) closer = L"-->";
            if (state == State::CData && Starts(text, i, L"]]>")) closer = L"]]>";
            if (state == State::Instruction && Starts(text, i, L"?>")) closer = L"?>";
            if (closer) {
                if (!Markup(closer, out)) return false;
                i += std::wcslen(closer);
                state = State::Content;
                continue;
            }
            const wchar_t c = text[i];
            if (state == State::Tag) {
                if (c == L'"' || c == L'\'') {
                    state = State::Attribute;
                    quote = c;
                } else if (c == L'>') {
                    state = State::Content;
                }
            } else if (state == State::Attribute) {
                if (c == quote) state = State::Tag;
            } else if (state == State::Declaration) {
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == L'"' || c == L'\'') {
                    quote = c;
                } else if (c == L'[') {
                    ++depth;
                } else if (c == L']') {
                    --depth;
                } else if (c == L'>' && depth <= 0) {
                    state = State::Content;
                }
            }
            const size_t n =
                IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
            if (!Character(text.data() + i, n, state, out)) return false;
            i += n;
        }
        return true;
    }

private:
    enum class State { Content, Tag, Attribute, Comment, CData, Instruction, Declaration };

    static bool Starts(const std::wstring& text, size_t at, const wchar_t* what) {
        return text.compare(at, std::wcslen(what), what) == 0;
    }

    // The bytes of one character; false when the page lacks it.
    bool Encode(const wchar_t* c, size_t n, std::string& bytes) {
        if (n == 1 && *c < 0x80 && asciiCompatible_) {
            bytes.assign(1, char(*c));
            return true;
        }
        const uint32_t key = n == 2
                                 ? 0x10000u + ((uint32_t(c[0]) - 0xD800u) << 10) + (uint32_t(c[1]) - 0xDC00u)
                                 : uint32_t(*c);
        auto it = cache_.find(key);
        if (it == cache_.end()) {
            std::string piece;
            const bool exact = ToCodePageExact(cp_, c, n, piece) && !piece.empty();
            it = cache_.emplace(key, exact ? piece : std::string()).first;
        }
        bytes = it->second;
        return !bytes.empty();
    }

    bool Markup(const wchar_t* text, std::string& out) {
        std::string bytes;
        for (; *text; ++text) {
            if (!Encode(text, 1, bytes)) return false;
            out += bytes;
        }
        return true;
    }

    bool Character(const wchar_t* c, size_t n, State state, std::string& out) {
        std::string bytes;
        // An unpaired surrogate is no character of XML: U+FFFD stands for it.
        const wchar_t replacement = 0xFFFD;
        if (n == 1 && *c >= 0xD800 && *c <= 0xDFFF) c = &replacement;
        if (Encode(c, n, bytes)) {
            out += bytes;
            return true;
        }
        if (state != State::Content && state != State::Attribute && state != State::CData) return false;
        const uint32_t code = n == 2
                                  ? 0x10000u + ((uint32_t(c[0]) - 0xD800u) << 10) + (uint32_t(c[1]) - 0xDC00u)
                                  : uint32_t(*c);
        char ascii[16];
        std::snprintf(ascii, sizeof(ascii), "&#x%X;", unsigned(code));
        wchar_t reference[16] = {};
        for (size_t k = 0; ascii[k] && k + 1 < sizeof(reference) / sizeof(reference[0]); ++k)
            reference[k] = wchar_t(ascii[k]);
        if (state == State::CData)
            return Markup(L"]]>", out) && Markup(reference, out) && Markup(L"<![CDATA[", out);
        return Markup(reference, out);
    }

    UINT cp_;
    bool asciiCompatible_ = false;
    std::map<uint32_t, std::string> cache_;
};

// The document text in the code page (see CodePageWriter). False when the
// code page cannot be used or cannot hold the document.
bool EncodeDocument(const std::wstring& text, UINT cp, std::string& out) {
    if (cp == kUtf16) {
        out.assign("\xFF\xFE", 2);
        for (wchar_t c : text) {
            out.push_back(char(c & 0xFF));
            out.push_back(char((c >> 8) & 0xFF));
        }
        return true;
    }
    if (!::IsValidCodePage(cp)) return false;
    if (ToCodePageExact(cp, text.data(), text.size(), out)) return true;
    return CodePageWriter(cp).Write(text, out);
}

// Finds the value of pseudo-attribute "encoding" in the declaration data.
bool FindEncoding(const std::wstring& data, size_t& valueAt, size_t& valueLength) {
    size_t at = data.find(L"encoding");
    while (at != std::wstring::npos) {
        size_t p = at + 8;
        while (p < data.size() && std::iswspace(data[p])) ++p;
        if (p < data.size() && data[p] == L'=') {
            ++p;
            while (p < data.size() && std::iswspace(data[p])) ++p;
            if (p < data.size() && (data[p] == L'"' || data[p] == L'\'')) {
                size_t end = data.find(data[p], p + 1);
                if (end == std::wstring::npos) return false;
                valueAt = p + 1;
                valueLength = end - valueAt;
                return true;
            }
        }
        at = data.find(L"encoding", at + 1);
    }
    return false;
}

// The data of the document's XML declaration ("version=... encoding=..."),
// empty when it has none.
std::wstring DeclarationData(IXMLDOMDocument* document) {
    Ref<IXMLDOMNode> node;
    CheckOle(document->get_firstChild(node.put()), "IXMLDOMDocument.firstChild");
    while (node) {
        DOMNodeType type = NODE_INVALID;
        CheckOle(node->get_nodeType(&type), "IXMLDOMNode.nodeType");
        if (type == NODE_PROCESSING_INSTRUCTION) {
            Bstr name;
            CheckOle(node->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
            if (name.Equals(L"xml")) {
                Bstr data;
                CheckOle(node->get_text(data.put()), "IXMLDOMNode.text");
                return data.Wide();
            }
        } else if (type == NODE_ELEMENT) {
            break;
        }
        Ref<IXMLDOMNode> next;
        CheckOle(node->get_nextSibling(next.put()), "IXMLDOMNode.nextSibling");
        node = std::move(next);
    }
    return std::wstring();
}

// The text with its XML declaration written out as `data` (none when the
// data is empty).
std::wstring WithDeclaration(std::wstring text, const std::wstring& data) {
    if (data.empty()) return text;
    const size_t start = text.size() && text[0] == 0xFEFF ? 1 : 0;
    if (text.compare(start, 5, L"<?xml") == 0) {
        const size_t end = text.find(L"?>", start);
        if (end != std::wstring::npos) text.replace(start, end + 2 - start, L"<?xml " + data + L"?>");
    }
    return text;
}

// The bytes of the file: the service's rendering of the document, its
// declaration written out in full (the rendering of a document as a string
// may leave the encoding out), in the declared encoding.
std::string RenderText(const std::wstring& text, std::wstring data) {
    size_t at = 0, length = 0;
    const bool named = !data.empty() && FindEncoding(data, at, length);
    const UINT cp = named ? CodePageOf(data.substr(at, length)) : CP_UTF8;
    std::string bytes;
    if (cp != 0 && EncodeDocument(WithDeclaration(text, data), cp, bytes)) return bytes;
    // An encoding that cannot be written, or a character it lacks where no
    // reference may stand for it: UTF-8, in the declaration too, rather than
    // a wrong name or a lost character.
    if (named) data.replace(at, length, L"UTF-8");
    if (!EncodeDocument(WithDeclaration(text, data), CP_UTF8, bytes))
        throw EOleError("the document's encoding cannot be written");
    return bytes;
}

std::string RenderDocument(IXMLDOMDocument* document) {
    Bstr xml;
    CheckOle(document->get_xml(xml.put()), "IXMLDOMDocument.xml");
    return RenderText(xml.Wide(), DeclarationData(document));
}

// Texts read into a document keep every character: without this the
// service drops text made only of blanks and trims the blanks at either
// end of a value when it is read.
void KeepWhiteSpace(IXMLDOMDocument* document) {
    CheckOle(document->put_preserveWhiteSpace(VARIANT_TRUE), "IXMLDOMDocument.preserveWhiteSpace");
}

// The service's account of why the document did not parse the source: the
// document's own, or, when that names no place, its reader's.
TXMLLoadError ParseErrorOf(IXMLDOMDocument* document, const VARIANT& source) {
    TXMLLoadError error;
    Ref<IXMLDOMParseError> parse;
    if (SUCCEEDED(document->get_parseError(parse.put())) && parse) {
        Bstr reason;
        if (SUCCEEDED(parse->get_reason(reason.put()))) error.reason = Trim(reason.Utf8());
        if (FAILED(parse->get_line(&error.line)) || error.line < 0) error.line = 0;
        if (FAILED(parse->get_linepos(&error.position)) || error.position < 0) error.position = 0;
    }
    if (error.line == 0) {
        TXMLLoadError read;
        if (ReadXMLParseError(source, read.reason, read.line, read.position)) error = read;
    }
    if (error.reason.empty()) error.reason = "The XML service did not load the document.";
    return error;
}

// Why the file could not be read, in words.
std::string ReadFailure(DWORD code) {
    std::string what = "The file cannot be read";
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        what = "The file is not there";
    else if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION)
        what = "Another program is using the file";
    return what + ": " + SystemErrorText(code);
}

// The file's bytes are read here and handed to the service whole: a
// service that reads a file by itself may grow its buffer piece by piece,
// which costs time in the square of the file's size (measured under Wine:
// 2.5 s for a 7 MB configuration, 67 s for 33 MB). The service finds the
// encoding in the bytes as it does in a file. On failure `error`, when
// given, says why.
bool LoadInto(IXMLDOMDocument* document, const std::string& fileName, TXMLLoadError* error = nullptr) {
    auto failed = [&] {
        const DWORD code = ::GetLastError();
        if (error) *error = TXMLLoadError{ReadFailure(code), 0, 0, code};
        return false;
    };
    UniqueHandle file = OpenXMLFileForReading(fileName);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return failed();
    if (size.QuadPart > 0x7FFFFFFF) {
        if (error) *error = TXMLLoadError{"The file is too large.", 0, 0};
        return false;
    }
    // The service's reason for no bytes at all says nothing ("error").
    if (size.QuadPart == 0) {
        if (error) *error = TXMLLoadError{"The file is empty: it holds no XML document.", 0, 0};
        return false;
    }
    OleVariant source;
    VARIANT* bytes = source.put();
    bytes->parray = ::SafeArrayCreateVector(VT_UI1, 0, ULONG(size.QuadPart));
    if (!bytes->parray) return failed();
    bytes->vt = VT_ARRAY | VT_UI1;
    void* data = nullptr;
    if (FAILED(::SafeArrayAccessData(bytes->parray, &data))) return failed();
    DWORD done = 0;
    bool whole = true;
    while (whole && done < DWORD(size.QuadPart)) {
        DWORD got = 0;
        whole = ::ReadFile(file.get(), static_cast<char*>(data) + done, DWORD(size.QuadPart) - done, &got,
                           nullptr) &&
                got > 0;
        done += got;
    }
    ::SafeArrayUnaccessData(bytes->parray);
    if (!whole) return failed();
    KeepWhiteSpace(document);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(source.get(), &loaded);
    if (SUCCEEDED(hr) && loaded == VARIANT_TRUE) return true;
    if (error) *error = ParseErrorOf(document, source.get());
    return false;
}

}  // namespace

// ---- Free routines ----------------------------------------------------------

UniqueHandle OpenXMLFileForReading(const std::string& fileName) {
    // Every kind of sharing: a save may replace the file while it is read.
    return UniqueHandle(::CreateFileA(fileName.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string ReadXMLDeclaration(const std::string& fileName) {
    UniqueHandle file = OpenXMLFileForReading(fileName);
    if (!file) return std::string();
    char head[512];
    DWORD read = 0;
    if (!::ReadFile(file.get(), head, DWORD(sizeof(head)), &read, nullptr)) return std::string();
    // The declaration is ASCII; in a UTF-16 file every other byte of it.
    std::string text(head, read);
    size_t step = 1, at = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        at = 3;
    } else if (text.compare(0, 2, "\xFF\xFE") == 0) {
        step = 2, at = 2;
    } else if (text.compare(0, 2, "\xFE\xFF") == 0) {
        step = 2, at = 3;
    }
    std::string ascii;
    for (size_t i = at; i < text.size(); i += step) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0 || c >= 0x80) break;
        ascii += char(c);
        if (ascii.size() >= 2 && ascii.compare(ascii.size() - 2, 2, "?>") == 0) break;
    }
    if (ascii.compare(0, 5, "<?xml") != 0 || ascii.size() < 8 ||
        ascii.compare(ascii.size() - 2, 2, "?>") != 0 || !std::isspace(static_cast<unsigned char>(ascii[5])))
        return std::string();
    return Trim(ascii.substr(6, ascii.size() - 8));
}

bool IsXMLName(const std::string& name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name)
        if (!IsNameChar(static_cast<unsigned char>(c))) return false;
    return true;
}

Ref<IXMLDOMDocument> NewXMLDocument() {
    Ref<IXMLDOMDocument> document;
    CheckOle(::CoCreateInstance(kDOMDocumentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.put())),
             "creating the XML document");
    CheckOle(document->put_async(VARIANT_FALSE), "IXMLDOMDocument.async");
    CheckOle(document->put_resolveExternals(VARIANT_FALSE), "IXMLDOMDocument.resolveExternals");
    return document;
}

namespace {
// A read-only file is not replaced (Windows refuses to move over one;
// other implementations may not, so ask first).
void RefuseReadOnly(const std::string& fileName) {
    const DWORD attributes = ::GetFileAttributesA(fileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw EOSError("\"" + fileName + "\" is read-only");
}

// What was written must read back before it may replace anything.
bool ReadsBack(const std::string& written) { return LoadInto(NewXMLDocument().get(), written); }
}  // namespace

void SaveXMLDocument(IXMLDOMDocument* document, const std::string& fileName) {
    RefuseReadOnly(fileName);
    ReplaceFileWith(fileName, RenderDocument(document), ReadsBack);
}

void SaveXMLText(std::string markup, const std::string& declaration, const std::string& fileName) {
    RefuseReadOnly(fileName);
    std::wstring text;
    if (!declaration.empty()) text = L"<?xml " + ToWide(declaration) + L"?>\r\n";
    text += ToWide(markup);
    std::string().swap(markup);  // a large document is held once at a time
    std::string bytes = RenderText(text, ToWide(declaration));
    std::wstring().swap(text);
    ReplaceFileWith(fileName, bytes, ReadsBack);
}

Ref<IHierStorage> OpenXMLFile(const std::string& fileName) {
    Ref<IXMLDOMDocument> document = NewXMLDocument();
    if (!LoadInto(document.get(), fileName)) return nullptr;
    Ref<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.put())) || !root) return nullptr;
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    storage->Attach(root.get(), document.get());
    return storage;
}

// ---- TXMLStorage ------------------------------------------------------------

Ref<TXMLStorage> TXMLStorage::Create() {
    return Ref<TXMLStorage>(new TXMLStorage());
}

HRESULT TXMLStorage::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (Offer<IHierStorage>(this, iid, object) || Offer<IXMLStorage>(this, iid, object)) return S_OK;
    return TDebugInterfacedObject::QueryImpl(iid, object);
}

IXMLDOMElement* TXMLStorage::ElementFor(const char* operation, const std::string* name) const {
    if (!element_)
        throw EXMLStorageError(std::string("XML storage: ") + operation +
                               " needs an element, and this storage has none");
    if (name && !IsXMLName(*name))
        throw EXMLStorageError(std::string("XML storage: ") + operation + ": \"" + *name +
                               "\" is not an XML name");
    return element_.get();
}

Ref<IXMLDOMDocument> TXMLStorage::OwnerDocument() const {
    if (document_) return document_;
    Ref<IXMLDOMDocument> owner;
    if (element_) CheckOle(element_->get_ownerDocument(owner.put()), "IXMLDOMNode.ownerDocument");
    return owner;
}

Ref<IHierStorage> TXMLStorage::StorageOn(IXMLDOMElement* element) const {
    Ref<TXMLStorage> storage = Create();
    storage->element_ = element;
    storage->document_ = OwnerDocument();
    storage->replacements_ = replacements_;  // one count for the document
    return storage;
}

std::string TXMLStorage::ReadAttribute(const std::string& name, const std::string& fallback) {
    // No attribute can bear a name that is not an XML name.
    if (!element_ || !IsXMLName(name)) return fallback;
    OleVariant value;
    HRESULT hr = element_->getAttribute(Bstr(name).get(), value.put());
    CheckOle(hr, "IXMLDOMElement.getAttribute");
    if (hr == S_FALSE || value.IsNull()) return fallback;
    return value.Utf8();
}

void TXMLStorage::WriteAttribute(const std::string& name, const std::string& value) {
    IXMLDOMElement* element = ElementFor("WriteAttribute", &name);
    OleVariant text(value);
    CheckOle(element->setAttribute(Bstr(name).get(), text.get()), "IXMLDOMElement.setAttribute");
}

Ref<IHierStorage> TXMLStorage::AddChild(const std::string& name) {
    cursor_ = ChildCursor();
    IXMLDOMElement* element = ElementFor("AddChild", &name);
    Ref<IXMLDOMDocument> document = OwnerDocument();
    if (!document)
        throw EXMLStorageError("XML storage: AddChild needs a document, and this storage has none");
    Ref<IXMLDOMElement> child;
    CheckOle(document->createElement(Bstr(name).get(), child.put()), "IXMLDOMDocument.createElement");
    Ref<IXMLDOMNode> appended;
    CheckOle(element->appendChild(child.get(), appended.put()), "IXMLDOMNode.appendChild");
    return StorageOn(child.get());
}

int TXMLStorage::ChildCount(const std::string& name) {
    if (!element_ || !IsXMLName(name)) return 0;
    int count = 0;
    ForEachChildElement(element_.get(), ToWide(name), [&](IXMLDOMElement*) {
        ++count;
        return true;
    });
    return count;
}

Ref<IHierStorage> TXMLStorage::GetChild(const std::string& name, int index) {
    if (!element_ || index < 0 || !IsXMLName(name)) return nullptr;
    const std::wstring wide = ToWide(name);
    // Readers walk the children of one name in order: go on from the child
    // found last instead of from the first, so a walk costs linear time.
    Ref<IXMLDOMNode> start;
    int at = 0;
    // The child found last may have left this element through another
    // storage of the document (SetText replaces every child): it is a start
    // only while no storage of the document has replaced children since.
    // (Asking the node itself is no help: the service may keep a removed
    // node's parent, and hands out a new object for every request.)
    if (cursor_.node && cursor_.name == wide && index >= cursor_.index && cursor_.replacements == Replacements()) {
        start = cursor_.node;
        at = cursor_.index;
    } else {
        CheckOle(element_->get_firstChild(start.put()), "IXMLDOMNode.firstChild");
    }
    Ref<IXMLDOMElement> found;
    ForEachElementFrom(std::move(start), wide, [&](IXMLDOMElement* child) {
        if (at < index) {
            ++at;
            return true;
        }
        found = child;
        return false;
    });
    if (!found) return nullptr;
    cursor_.name = wide;
    cursor_.index = index;
    cursor_.node = Query<IXMLDOMNode>(found.get(), IID_IXMLDOMNode);
    cursor_.replacements = Replacements();
    return StorageOn(found.get());
}

std::string TXMLStorage::GetText() {
    if (!element_) return std::string();
    Bstr text;
    CheckOle(element_->get_text(text.put()), "IXMLDOMNode.text");
    return text.Utf8();
}

void TXMLStorage::SetText(const std::string& text) {
    cursor_ = ChildCursor();
    IXMLDOMElement* element = ElementFor("SetText", nullptr);
    if (replacements_) ++*replacements_;  // before: a failure may have removed some
    CheckOle(element->put_text(Bstr(text).get()), "IXMLDOMNode.text");
}

uint64_t TXMLStorage::Replacements() const {
    return replacements_ ? *replacements_ : 0;
}

std::string TXMLStorage::ReadChildText(const std::string& name) {
    Ref<IHierStorage> child = GetChild(name, 0);
    return child ? child->GetText() : std::string();
}

void TXMLStorage::WriteChildText(const std::string& name, const std::string& text) {
    AddChild(name)->SetText(text);
}

std::string TXMLStorage::NodeName() {
    if (!element_) return std::string();
    Bstr name;
    CheckOle(element_->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
    return name.Utf8();
}

std::vector<std::string> TXMLStorage::ChildNodeNames() {
    std::vector<std::string> names;
    if (!element_) return names;
    Ref<IXMLDOMNode> node;
    CheckOle(element_->get_firstChild(node.put()), "IXMLDOMNode.firstChild");
    while (node) {
        DOMNodeType type = NODE_INVALID;
        CheckOle(node->get_nodeType(&type), "IXMLDOMNode.nodeType");
        if (type == NODE_ELEMENT) {
            Bstr name;
            CheckOle(node->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
            names.push_back(name.Utf8());
        }
        Ref<IXMLDOMNode> next;
        CheckOle(node->get_nextSibling(next.put()), "IXMLDOMNode.nextSibling");
        node = std::move(next);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> TXMLStorage::Attributes() {
    std::vector<std::pair<std::string, std::string>> result;
    if (!element_) return result;
    ForEachAttribute(element_.get(), [&](const Bstr& name, const OleVariant& value) {
        result.emplace_back(name.Utf8(), value.IsNull() ? std::string() : value.Utf8());
    });
    return result;
}

std::vector<THierNode> TXMLStorage::ChildNodes() {
    if (!element_) return {};
    Ref<IXMLDOMNode> first;
    CheckOle(element_->get_firstChild(first.put()), "IXMLDOMNode.firstChild");
    return NodesFrom(std::move(first));
}

std::vector<THierNode> TXMLStorage::DocumentNodes() {
    Ref<IXMLDOMDocument> document = OwnerDocument();
    if (!document) return {};
    // By index: a document type declaration may know no next sibling.
    std::vector<THierNode> nodes;
    Ref<IXMLDOMNodeList> children;
    CheckOle(document->get_childNodes(children.put()), "IXMLDOMDocument.childNodes");
    long count = 0;
    if (children) CheckOle(children->get_length(&count), "IXMLDOMNodeList.length");
    for (long i = 0; i < count; ++i) {
        Ref<IXMLDOMNode> node;
        CheckOle(children->get_item(i, node.put()), "IXMLDOMNodeList.item");
        THierNode hier;
        if (node && HierNodeOf(node.get(), true, hier)) nodes.push_back(std::move(hier));
    }
    return nodes;
}

std::string TXMLStorage::Markup() {
    if (!element_) return std::string();
    Bstr xml;
    CheckOle(element_->get_xml(xml.put()), "IXMLDOMNode.xml");
    return FromWide(LineFeeds(xml.Wide()));
}

void TXMLStorage::AddMarkup(const std::string& markup) {
    cursor_ = ChildCursor();
    IXMLDOMElement* element = ElementFor("AddMarkup", nullptr);
    Ref<IXMLDOMDocument> document = OwnerDocument();
    if (!document)
        throw EXMLStorageError("XML storage: AddMarkup needs a document, and this storage has none");
    // The markup is parsed in an element of a document of its own, and
    // its nodes are made again in this one.
    Ref<IXMLDOMDocument> parsed = NewXMLDocument();
    KeepWhiteSpace(parsed.get());
    VARIANT_BOOL ok = VARIANT_FALSE;
    const Bstr text("<m>" + markup + "</m>");
    if (FAILED(parsed->loadXML(text.get(), &ok)) || ok != VARIANT_TRUE)
        throw EXMLStorageError("XML storage: AddMarkup: the markup does not parse: " + markup.substr(0, 80));
    Ref<IXMLDOMElement> holder;
    CheckOle(parsed->get_documentElement(holder.put()), "IXMLDOMDocument.documentElement");
    Ref<IXMLDOMNode> child;
    if (holder) CheckOle(holder->get_firstChild(child.put()), "IXMLDOMNode.firstChild");
    while (child) {
        if (Ref<IXMLDOMNode> copy = CopyNode(document.get(), child.get())) {
            Ref<IXMLDOMNode> appended;
            CheckOle(element->appendChild(copy.get(), appended.put()), "IXMLDOMNode.appendChild");
        }
        Ref<IXMLDOMNode> next;
        CheckOle(child->get_nextSibling(next.put()), "IXMLDOMNode.nextSibling");
        child = std::move(next);
    }
}

void TXMLStorage::Attach(IXMLDOMElement* element, IXMLDOMDocument* document) {
    element_ = element;
    document_ = document;
    cursor_ = ChildCursor();
    replacements_ = std::make_shared<uint64_t>(0);
}

void TXMLStorage::Detach() {
    element_ = nullptr;
    document_ = nullptr;
    cursor_ = ChildCursor();
    replacements_ = nullptr;
}

bool TXMLStorage::CreateNew(const std::string& rootName) {
    Detach();
    try {
        if (!IsXMLName(rootName)) return false;
        Ref<IXMLDOMDocument> document = NewXMLDocument();
        Ref<IXMLDOMElement> root;
        CheckOle(document->createElement(Bstr(rootName).get(), root.put()), "IXMLDOMDocument.createElement");
        CheckOle(document->putref_documentElement(root.get()), "IXMLDOMDocument.documentElement");
        Attach(root.get(), document.get());
        return true;
    } catch (...) {
        return false;
    }
}

void TXMLStorage::SetDeclaration(const std::string& data) {
    Ref<IXMLDOMDocument> document = OwnerDocument();
    if (!document || data.empty()) return;
    Ref<IXMLDOMProcessingInstruction> declaration;
    CheckOle(document->createProcessingInstruction(Bstr(std::string("xml")).get(), Bstr(data).get(),
                                                   declaration.put()),
             "IXMLDOMDocument.createProcessingInstruction");
    Ref<IXMLDOMNode> first;
    CheckOle(document->get_firstChild(first.put()), "IXMLDOMDocument.firstChild");
    Ref<IXMLDOMNode> done;
    if (first) {
        DOMNodeType type = NODE_INVALID;
        CheckOle(first->get_nodeType(&type), "IXMLDOMNode.nodeType");
        Bstr name;
        CheckOle(first->get_nodeName(name.put()), "IXMLDOMNode.nodeName");
        if (type == NODE_PROCESSING_INSTRUCTION && name.Equals(L"xml")) {
            CheckOle(document->replaceChild(declaration.get(), first.get(), done.put()),
                     "IXMLDOMDocument.replaceChild");
            return;
        }
    }
    VARIANT before;
    ::VariantInit(&before);
    before.vt = VT_UNKNOWN;
    before.punkVal = first.get();
    if (!first) before.vt = VT_NULL;
    CheckOle(document->insertBefore(declaration.get(), before, done.put()), "IXMLDOMDocument.insertBefore");
}

bool TXMLStorage::AttachLoaded(IXMLDOMDocument* document) {
    Ref<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.put())) || !root) return false;
    Attach(root.get(), document);
    return true;
}

bool TXMLStorage::LoadFromFile(const std::string& fileName) {
    loadError_ = TXMLLoadError();
    try {
        Ref<IXMLDOMDocument> document = NewXMLDocument();
        if (!LoadInto(document.get(), fileName, &loadError_)) return false;
        if (AttachLoaded(document.get())) return true;
        loadError_.reason = "The document has no root element.";
    } catch (const std::exception& e) {
        loadError_ = TXMLLoadError{e.what(), 0, 0};
    } catch (...) {
        loadError_ = TXMLLoadError{"The document could not be loaded.", 0, 0};
    }
    return false;
}

bool TXMLStorage::LoadFromXML(const std::string& text) {
    loadError_ = TXMLLoadError();
    try {
        Ref<IXMLDOMDocument> document = NewXMLDocument();
        KeepWhiteSpace(document.get());
        VARIANT_BOOL parsed = VARIANT_FALSE;
        OleVariant source(text);
        HRESULT hr = document->loadXML(source.get().bstrVal, &parsed);
        if (FAILED(hr) || parsed != VARIANT_TRUE) {
            loadError_ = ParseErrorOf(document.get(), source.get());
            return false;
        }
        if (AttachLoaded(document.get())) return true;
        loadError_.reason = "The document has no root element.";
    } catch (const std::exception& e) {
        loadError_ = TXMLLoadError{e.what(), 0, 0};
    } catch (...) {
        loadError_ = TXMLLoadError{"The document could not be loaded.", 0, 0};
    }
    return false;
}

bool TXMLStorage::LoadObject(IPersistObject* object) {
    if (!object) return false;
    object->LoadFrom(this);
    return true;
}

bool TXMLStorage::SaveToFile(const std::string& fileName) {
    Ref<IXMLDOMDocument> document = OwnerDocument();
    if (!document) return false;
    SaveXMLDocument(document.get(), fileName);
    return true;
}

bool TXMLStorage::GetXML(std::string& text) {
    Ref<IXMLDOMDocument> document = OwnerDocument();
    if (!document) return false;
    Bstr xml;
    CheckOle(document->get_xml(xml.put()), "IXMLDOMDocument.xml");
    text = xml.Utf8();
    return true;
}

bool TXMLStorage::SaveObject(IPersistObject* object) {
    if (!object) return false;
    object->SaveTo(this);
    return true;
}

}  // namespace omb
