#include "foundation/xml_parse_error.h"

// The SAX interfaces; the document interfaces come from msxml.h elsewhere,
// and the two headers do not mix in one unit.
#include <msxml2.h>

#include "foundation/strings.h"
#include "foundation/winfuncs.h"

namespace omb {

namespace {

// {079AA557-4A18-424A-8EEE-E39F0A8D41B9}: SAXXMLReader, version-independent.
const CLSID kSAXReaderClass = {0x079aa557, 0x4a18, 0x424a, {0x8e, 0xee, 0xe3, 0x9f, 0x0a, 0x8d, 0x41, 0xb9}};
const IID kISAXXMLReader = {0xa4f96ed0, 0xf829, 0x476e, {0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02}};
const IID kISAXErrorHandler = {0xa60511c4, 0xccf5, 0x479e, {0x98, 0xa3, 0xdc, 0x8d, 0xc5, 0x45, 0xb7, 0xd0}};

// Keeps the first error the reader reports. It lives on the stack of the
// one call that hands it to the reader, and outlives the reader there.
class FirstError final : public ISAXErrorHandler {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == kISAXErrorHandler) {
            *object = static_cast<ISAXErrorHandler*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE error(ISAXLocator* locator, const wchar_t* message, HRESULT) override {
        return Keep(locator, message);
    }
    HRESULT STDMETHODCALLTYPE fatalError(ISAXLocator* locator, const wchar_t* message, HRESULT) override {
        return Keep(locator, message);
    }
    HRESULT STDMETHODCALLTYPE ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) override { return S_OK; }

    bool seen = false;
    std::string reason;
    long line = 0, position = 0;

private:
    HRESULT Keep(ISAXLocator* locator, const wchar_t* message) noexcept {
        if (seen) return S_OK;
        try {
            seen = true;
            reason = Trim(message ? FromWide(message) : std::string());
            int l = 0, c = 0;
            if (locator && SUCCEEDED(locator->getLineNumber(&l)) && l > 0) line = l;
            if (locator && SUCCEEDED(locator->getColumnNumber(&c)) && c > 0) position = c;
        } catch (...) {
        }
        return S_OK;
    }
};

}  // namespace

bool ReadXMLParseError(const VARIANT& source, std::string& reason, long& line, long& position) {
    FirstError handler;
    ISAXXMLReader* reader = nullptr;
    if (FAILED(::CoCreateInstance(kSAXReaderClass, nullptr, CLSCTX_INPROC_SERVER, kISAXXMLReader,
                                  reinterpret_cast<void**>(&reader))) ||
        !reader)
        return false;
    if (SUCCEEDED(reader->putErrorHandler(&handler))) reader->parse(source);
    reader->Release();
    if (!handler.seen || handler.reason.empty()) return false;
    reason = handler.reason;
    line = handler.line;
    position = handler.position;
    return true;
}

}  // namespace omb
