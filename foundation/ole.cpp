#include "foundation/ole.h"

#include <cstdio>
#include <cwchar>

#include "foundation/winfuncs.h"

namespace omb {

void CheckOle(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return;
    throw EOleError(std::string(what) + " failed: " + SystemErrorText(DWORD(hr)));
}

Bstr::Bstr(const std::string& utf8) : Bstr(ToWide(utf8)) {}

Bstr::Bstr(const std::wstring& wide) {
    value_ = ::SysAllocStringLen(wide.data(), UINT(wide.size()));
    if (!value_) throw EOleError("out of memory for a string");
}

bool Bstr::Equals(const std::wstring& text) const {
    return size() == text.size() && (text.empty() || std::wmemcmp(value_, text.data(), text.size()) == 0);
}

std::string Bstr::Utf8() const {
    return FromWide(value_, size());
}

OleVariant::OleVariant(const std::string& utf8) : OleVariant(ToWide(utf8)) {}

OleVariant::OleVariant(const std::wstring& wide) {
    ::VariantInit(&value_);
    BSTR text = ::SysAllocStringLen(wide.data(), UINT(wide.size()));
    if (!text) throw EOleError("out of memory for a string");
    value_.vt = VT_BSTR;
    value_.bstrVal = text;
}

std::string OleVariant::Utf8() const {
    if (value_.vt == VT_BSTR)
        return FromWide(value_.bstrVal, value_.bstrVal ? ::SysStringLen(value_.bstrVal) : 0);
    if (IsNull()) return std::string();
    VARIANT text;
    ::VariantInit(&text);
    CheckOle(::VariantChangeType(&text, const_cast<VARIANT*>(&value_), 0, VT_BSTR), "VariantChangeType");
    std::string out = FromWide(text.bstrVal, text.bstrVal ? ::SysStringLen(text.bstrVal) : 0);
    ::VariantClear(&text);
    return out;
}

}  // namespace omb
