// Hierarchical storage over an XML document of the platform's XML document
// service (MSXML's version-independent DOMDocument class). The configuration
// file, the built-in rule template and command documents, and the language
// files are all read and written through it.
//
// Every thread that uses it must have initialised COM (ComInit, handles.h).
#pragma once

#include <windows.h>
// After windows.h:
#include <msxml.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/com.h"
#include "foundation/errors.h"
#include "foundation/file_replace.h"
#include "foundation/handles.h"
#include "foundation/persistence.h"

namespace omb {

// {2933BF90-7B36-11D2-B20E-00C04F983E60}: DOMDocument, declared here because
// the SDK headers disagree about which class that name stands for.
extern const CLSID kDOMDocumentClass;

// A write into a storage that cannot take it (no element, or a name that is
// not an XML name).
class EXMLStorageError : public Exception {
public:
    using Exception::Exception;
};

// Why a document did not load: the XML service's reason with the line and
// the position in that line where it stopped (both from 1; 0 when it names
// none), or why the file could not be read. An empty reason: it loaded.
struct TXMLLoadError {
    std::string reason;
    long line = 0;
    long position = 0;
    // The system's error code when the file could not be opened or read.
    DWORD systemError = 0;
};

// How one storage object hands a DOM element to another.
struct IXMLStorage : IHierStorage {
    // Keeps both references, dropping the previous ones.
    virtual void Attach(IXMLDOMElement* element, IXMLDOMDocument* document) = 0;
    virtual void Detach() = 0;

protected:
    ~IXMLStorage() = default;
};

// Loading and saving a whole document. It has no identifier of its own: it is
// reached through the storage object (TXMLStorage) itself.
struct IXMLStorageFile : IUnknown {
    // A new document whose root element has that name; false on any failure.
    virtual bool CreateNew(const std::string& rootName) = 0;
    // True when the file loaded; otherwise the storage keeps what it had.
    virtual bool LoadFromFile(const std::string& fileName) = 0;
    // True when the text parsed; otherwise the storage keeps what it had.
    virtual bool LoadFromXML(const std::string& text) = 0;
    // The object reads itself from this storage; false without an object.
    virtual bool LoadObject(IPersistObject* object) = 0;
    // Writes the document; false without a document. A failure raises, and
    // an existing file of that name is then left as it was.
    virtual bool SaveToFile(const std::string& fileName) = 0;
    // The text of the whole document; false without a document.
    virtual bool GetXML(std::string& text) = 0;
    // The object writes itself into this storage; false without an object.
    virtual bool SaveObject(IPersistObject* object) = 0;

protected:
    ~IXMLStorageFile() = default;
};

class TXMLStorage final : public TDebugInterfacedObject, public IXMLStorage, public IXMLStorageFile {
public:
    OMB_IUNKNOWN

    // An empty storage (no document, no element).
    static Ref<TXMLStorage> Create();

    // IHierStorage
    std::string ReadAttribute(const std::string& name, const std::string& fallback) override;
    void WriteAttribute(const std::string& name, const std::string& value) override;
    Ref<IHierStorage> AddChild(const std::string& name) override;
    int ChildCount(const std::string& name) override;
    Ref<IHierStorage> GetChild(const std::string& name, int index) override;
    std::string GetText() override;
    void SetText(const std::string& text) override;
    std::string ReadChildText(const std::string& name) override;
    void WriteChildText(const std::string& name, const std::string& text) override;
    std::string NodeName() override;
    std::vector<std::string> ChildNodeNames() override;
    std::vector<std::pair<std::string, std::string>> Attributes() override;
    std::vector<THierNode> ChildNodes() override;
    std::string Markup() override;
    // Raises EXMLStorageError for markup that does not parse.
    void AddMarkup(const std::string& markup) override;

    // The nodes of the whole document as ChildNodes gives an element's: the
    // root element by its name, the nodes before and after it by their
    // markup (a document type declaration too); the XML declaration is not
    // among them. None without a document.
    std::vector<THierNode> DocumentNodes();

    // IXMLStorage
    void Attach(IXMLDOMElement* element, IXMLDOMDocument* document) override;
    void Detach() override;

    // IXMLStorageFile
    bool CreateNew(const std::string& rootName) override;
    bool LoadFromFile(const std::string& fileName) override;
    bool LoadFromXML(const std::string& text) override;
    bool LoadObject(IPersistObject* object) override;
    bool SaveToFile(const std::string& fileName) override;
    bool GetXML(std::string& text) override;
    bool SaveObject(IPersistObject* object) override;

    // Gives the document the XML declaration with that data ("version=...
    // encoding=..."), in place of the one it has; nothing for empty data or
    // without a document. Raises EOleError.
    void SetDeclaration(const std::string& data);

    // Why the last LoadFromFile or LoadFromXML failed; empty after one
    // that succeeded.
    const TXMLLoadError& LoadError() const { return loadError_; }

    IXMLDOMDocument* Document() const { return document_.get(); }
    IXMLDOMElement* Element() const { return element_.get(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;

private:
    TXMLStorage() = default;
    ~TXMLStorage() override = default;

    // The element for a write; EXMLStorageError naming the operation when
    // there is none or when the name (if given) is not an XML name.
    IXMLDOMElement* ElementFor(const char* operation, const std::string* name) const;
    Ref<IXMLDOMDocument> OwnerDocument() const;
    Ref<IHierStorage> StorageOn(IXMLDOMElement* element) const;
    // Takes a freshly loaded document when it has a root element.
    bool AttachLoaded(IXMLDOMDocument* document);

    Ref<IXMLDOMDocument> document_;
    Ref<IXMLDOMElement> element_;
    TXMLLoadError loadError_;

    // How often any storage of this document has replaced an element's
    // children (SetText): shared by the storages made from one another.
    uint64_t Replacements() const;
    std::shared_ptr<uint64_t> replacements_;

    // Where the last GetChild stopped, valid while no storage of the
    // document has replaced children since (this object's own writes reset
    // it; other storages only add after it, or replace).
    struct ChildCursor {
        std::wstring name;
        int index = -1;
        Ref<IXMLDOMNode> node;
        uint64_t replacements = 0;
    };
    ChildCursor cursor_;
};

// A storage on the root element of the loaded file, or empty when the file
// does not load. A failure to create the document object raises EOleError.
Ref<IHierStorage> OpenXMLFile(const std::string& fileName);

// A new, empty document of the XML service set for synchronous loading and
// no fetching of external resources. Raises EOleError.
Ref<IXMLDOMDocument> NewXMLDocument();

// The file opened for reading as every reader of configuration files opens
// it: sharing reading, writing and deletion, so that a save may replace it
// meanwhile. Empty when it does not open.
UniqueHandle OpenXMLFileForReading(const std::string& fileName);

// The data of the XML declaration the file starts with ("version=...
// encoding=..."), empty when it has none or cannot be read. A file that is
// rewritten with it keeps its encoding.
std::string ReadXMLDeclaration(const std::string& fileName);

// True for a name that may stand as an element or attribute name.
bool IsXMLName(const std::string& name);

// Writes the document to the file in the encoding its declaration names
// (UTF-8 without one), through a temporary file beside it that replaces the
// file only once it is complete and reads back. The file keeps its security
// and attributes (a read-only one is refused), readers that hold it open do
// not stop the save, and a link is saved through to the file it leads to.
// Raises on failure; the existing file is then left whole, except where a
// replacement stopped half-way and took it away: then the new content stays
// in the temporary file, the old goes back in its place, and the message
// names the temporary file (and where the old content is, when it could not
// go back).
void SaveXMLDocument(IXMLDOMDocument* document, const std::string& fileName);
// Writes a document given as its markup (UTF-8, without declaration) the
// same way: the declaration with that data first (none when it is empty),
// in its encoding, read back by the XML service before it replaces the file.
void SaveXMLText(std::string markup, const std::string& declaration, const std::string& fileName);


}  // namespace omb

OMB_DECLARE_IID(omb::IXMLStorage, "{337102C9-8EBC-45A5-B0D6-03F3F079EEC9}")
