// Owners of automation values (BSTR, VARIANT) and the check that turns a
// failed COM result into an exception. Texts cross as UTF-8 (CP_UTF8,
// winfuncs.h), whatever the process's ANSI code page.
#pragma once

#include <windows.h>
// After windows.h:
#include <oleauto.h>

#include <string>

#include "foundation/errors.h"

namespace omb {

// Raises EOleError naming the call and the result code when hr failed.
void CheckOle(HRESULT hr, const char* what);

// One BSTR, freed once.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::string& utf8);
    explicit Bstr(const std::wstring& wide);
    ~Bstr() { reset(); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : value_(o.value_) { o.value_ = nullptr; }
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            reset();
            value_ = o.value_;
            o.value_ = nullptr;
        }
        return *this;
    }

    BSTR get() const { return value_; }
    BSTR* put() {
        reset();
        return &value_;
    }
    void reset() {
        if (value_) ::SysFreeString(value_);
        value_ = nullptr;
    }
    size_t size() const { return value_ ? ::SysStringLen(value_) : 0; }
    bool Equals(const std::wstring& text) const;
    std::wstring Wide() const { return std::wstring(value_ ? value_ : L"", size()); }
    std::string Utf8() const;
    // The former name of Utf8, kept for code written before the change.
    std::string Ansi() const { return Utf8(); }

private:
    BSTR value_ = nullptr;
};

// One VARIANT, cleared once.
class OleVariant {
public:
    OleVariant() { ::VariantInit(&value_); }
    // A string value (VT_BSTR) from UTF-8 or from UTF-16.
    explicit OleVariant(const std::string& utf8);
    explicit OleVariant(const std::wstring& wide);
    ~OleVariant() { ::VariantClear(&value_); }
    OleVariant(const OleVariant&) = delete;
    OleVariant& operator=(const OleVariant&) = delete;

    const VARIANT& get() const { return value_; }
    VARIANT* put() {
        ::VariantClear(&value_);
        return &value_;
    }
    bool IsNull() const { return value_.vt == VT_NULL || value_.vt == VT_EMPTY; }
    // The value as UTF-8 text; raises EOleError when it has no text form.
    std::string Utf8() const;
    // The former name of Utf8, kept for code written before the change.
    std::string Ansi() const { return Utf8(); }

private:
    VARIANT value_;
};

}  // namespace omb
