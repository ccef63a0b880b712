#include "forms/rx_props.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <locale>
#include <map>
#include <sstream>

#include "forms/str_utils.h"
#include "foundation/strings.h"

namespace omb::forms {

std::function<TComponent*(const std::string& name)> FormByNameProvider;

namespace {

struct LessAZ {
    bool operator()(const std::string& a, const std::string& b) const { return CompareTextAZ(a, b) < 0; }
};

bool TryStrToInt64(const std::string& text, int64_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    uint64_t v = 0;
    if (text[i] == '$') {
        if (++i >= text.size() || text.size() - i > 16) return false;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + unsigned(d);
        }
        value = negative ? int64_t(0 - v) : int64_t(v);
        return true;
    }
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        const unsigned d = unsigned(c - '0');
        if (v > (limit - d) / 10) return false;
        v = v * 10 + d;
    }
    value = negative ? int64_t(0 - v) : int64_t(v);
    return true;
}

std::string OwnerPart(const TComponent* owner) {
    if (!owner->Name().empty()) return owner->Name();
    std::string cls = owner->ClassName();
    if (!cls.empty() && (cls[0] == 'T' || cls[0] == 't')) cls.erase(0, 1);
    return cls;
}

const std::vector<TTypeKind>& StoredKinds() {
    static const std::vector<TTypeKind> kinds = [] {
        std::vector<TTypeKind> k;
        for (int i = int(TTypeKind::tkUnknown); i <= int(TTypeKind::tkDynArray); ++i)
            if (TTypeKind(i) != TTypeKind::tkUnknown && TTypeKind(i) != TTypeKind::tkMethod) k.push_back(TTypeKind(i));
        return k;
    }();
    return kinds;
}

}  // namespace

// ------------------------------------------------------------ TPropInfoList

TPropInfoList::TPropInfoList(const TPersistent* object) {
    if (object) items_ = GetPropList(object, StoredKinds());
}

const TPropInfo* TPropInfoList::FindByName(const std::string& name) const {
    for (const TPropInfo* p : items_)
        if (SameTextAZ(p->name, name)) return p;
    return nullptr;
}

// ------------------------------------------------------------ entry texts

bool SplitPropertyPath(const std::string& path, std::string& componentName, std::string& propertyName) {
    const size_t dot = path.find('.');
    if (dot == std::string::npos) {
        componentName.clear();
        propertyName.clear();
        return false;
    }
    componentName = Trim(path.substr(0, dot));
    propertyName = Trim(path.substr(dot + 1));
    return !componentName.empty() && !propertyName.empty();
}

std::string JoinPropertyPath(const std::string& componentName, const std::string& propertyName) {
    if (componentName.empty() || propertyName.empty()) return std::string();
    return componentName + "." + propertyName;
}

std::string RenamePropertyPath(const std::string& path, const std::string& newComponentName) {
    std::string component, property;
    if (!SplitPropertyPath(path, component, property)) return std::string();
    return JoinPropertyPath(newComponentName, property);
}

void ResolveStoredPropertyList(TComponent* owner, TStoredPropList& list, TResolveMode mode) {
    for (size_t i = list.size(); i-- > 0;) {
        std::string component, property;
        TStoredPropEntry& entry = list[i];
        if (!SplitPropertyPath(entry.text, component, property)) {
            list.erase(list.begin() + std::ptrdiff_t(i));
            continue;
        }
        if (mode == TResolveMode::rmBind) {
            entry.component = owner ? owner->FindComponent(component) : nullptr;
            if (!entry.component) list.erase(list.begin() + std::ptrdiff_t(i));
        } else if (entry.component) {
            entry.text = RenamePropertyPath(entry.text, entry.component->Name());
        } else {
            list.erase(list.begin() + std::ptrdiff_t(i));
        }
    }
}

TComponent* FindFormByName(const std::string& name) {
    if (!FormByNameProvider) return nullptr;
    auto provider = FormByNameProvider;
    return provider(name);
}

// ------------------------------------------------------------ conversions

int FloatPrecision(TFloatType type) {
    switch (type) {
    case TFloatType::ftSingle: return 7;
    case TFloatType::ftDouble: return 15;
    case TFloatType::ftExtended:
    case TFloatType::ftComp: return 18;
    case TFloatType::ftCurr: return 19;
    }
    return 15;
}

std::string FormatFloatGeneral(long double value, int precision) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    if (precision < 1) precision = 1;
    if (precision > 19) precision = 19;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*Le", precision - 1, value);
    // Digits and exponent, whatever the locale's decimal point is.
    std::string digits;
    bool negative = false;
    int exponent = 0;
    const char* p = buffer;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    for (; *p && *p != 'e' && *p != 'E'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    if (*p) exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent >= precision || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E";
        if (exponent < 0) out += "-";
        out += std::to_string(std::abs(exponent));
    } else if (exponent >= 0) {
        std::string whole = digits.substr(0, std::min(digits.size(), size_t(exponent) + 1));
        whole.append(size_t(exponent) + 1 - whole.size(), '0');
        out += whole;
        if (digits.size() > size_t(exponent) + 1) out += "." + digits.substr(size_t(exponent) + 1);
    } else {
        out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    }
    return out;
}

bool ParseFloatText(const std::string& text, long double& value) {
    const std::string t = TrimText(text);
    if (t.empty() || t.find_first_of("xXpP") != std::string::npos) return false;
    std::istringstream in(t);
    in.imbue(std::locale::classic());
    long double v = 0;
    in >> v;
    if (in.fail()) return false;
    in.peek();
    if (!in.eof()) return false;
    value = v;
    return true;
}

std::string SetToText(const TPropInfo& info, uint64_t bits) {
    std::string out = "[";
    bool first = true;
    for (size_t i = 0; i < 32 && i < info.names.size(); ++i) {
        if (!(bits & (uint64_t(1) << i))) continue;
        if (!first) out += ",";
        out += info.names[i];
        first = false;
    }
    return out + "]";
}

uint64_t TextToSet(const TPropInfo& info, const std::string& text) {
    uint64_t bits = 0;
    const TCharSet delimiters(" ,[]");
    const int n = CountWords(text, delimiters);
    for (int w = 1; w <= n; ++w) {
        const std::string word = GetWord(w, text, delimiters);
        for (size_t i = 0; i < 32 && i < info.names.size(); ++i)
            if (SameTextAZ(info.names[i], word)) bits |= uint64_t(1) << i;
    }
    return bits;
}

std::string TrimText(const std::string& text) { return Trim(text); }

std::string PropertyText(const TPersistent* object, const TPropInfo& info) {
    switch (info.kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
        return info.getOrd ? std::to_string(info.getOrd(object)) : std::string();
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
        return info.getOrd ? std::string(1, static_cast<char>(info.getOrd(object))) : std::string();
    case TTypeKind::tkEnumeration: {
        if (!info.getOrd) return std::string();
        const int64_t v = info.getOrd(object);
        return v >= 0 && size_t(v) < info.names.size() ? info.names[size_t(v)] : std::string();
    }
    case TTypeKind::tkFloat:
        return info.getFloat ? FormatFloatGeneral(info.getFloat(object), FloatPrecision(info.floatType))
                             : std::string();
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkVariant:
        return info.getStr ? info.getStr(object) : std::string();
    case TTypeKind::tkSet:
        return info.getOrd ? SetToText(info, uint64_t(info.getOrd(object))) : std::string();
    default:
        return std::string();
    }
}

void SetPropertyFromText(TPersistent* object, const TPropInfo& info, const std::string& text) {
    switch (info.kind) {
    case TTypeKind::tkInteger: {
        int v = 0;
        if (!TryStrToInt(text, v)) v = 0;
        if (info.setOrd) info.setOrd(object, v);
        break;
    }
    case TTypeKind::tkInt64: {
        int64_t v = 0;
        if (!TryStrToInt64(text, v)) v = 0;
        if (info.setOrd) info.setOrd(object, v);
        break;
    }
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
        if (!text.empty() && info.setOrd) info.setOrd(object, static_cast<unsigned char>(text[0]));
        break;
    case TTypeKind::tkEnumeration:
        for (size_t i = 0; i < info.names.size(); ++i)
            if (SameTextAZ(info.names[i], text)) {
                if (info.setOrd) info.setOrd(object, int64_t(i));
                break;
            }
        break;
    case TTypeKind::tkFloat: {
        long double v = 0;
        if (ParseFloatText(text, v) && info.setFloat) info.setFloat(object, v);
        break;
    }
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkVariant:
        if (info.setStr) info.setStr(object, text);
        break;
    case TTypeKind::tkSet:
        if (info.setOrd) info.setOrd(object, int64_t(TextToSet(info, text)));
        break;
    default:
        break;
    }
}

// ------------------------------------------------------------ TPropsStorage

std::string TPropsStorage::ReadText(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue) {
    if (!OnReadText) return std::string();
    auto handler = OnReadText;
    return handler(section, ident, defaultValue);
}

void TPropsStorage::WriteText(const std::string& section, const std::string& ident, const std::string& value) {
    if (!OnWriteText) return;
    auto handler = OnWriteText;
    handler(section, ident, value);
}

void TPropsStorage::ClearSection(const std::string& section) {
    if (!OnClearSection) return;
    auto handler = OnClearSection;
    handler(section);
}

std::unique_ptr<TPropsStorage> TPropsStorage::Nested(TPersistent* target, const std::string& prefix,
                                                     const std::string& section) const {
    std::unique_ptr<TPropsStorage> nested = NewStorage();
    nested->Target = target;
    nested->OwnerComponent = OwnerComponent;
    nested->NamePrefix = prefix;
    nested->SectionName = section;
    nested->OnReadText = OnReadText;
    nested->OnWriteText = OnWriteText;
    nested->OnClearSection = OnClearSection;
    return nested;
}

void TPropsStorage::SaveProperties() {
    const TPropInfoList list(Target);
    for (int i = 0; i < list.Count(); ++i) SaveProperty(list.Item(i));
}

void TPropsStorage::RestoreProperties() {
    const TPropInfoList list(Target);
    for (int i = 0; i < list.Count(); ++i) RestoreProperty(list.Item(i));
}

void TPropsStorage::SaveProperty(const TPropInfo* info) {
    if (!info || !Target) return;
    if (info->kind == TTypeKind::tkClass) {
        SaveObjectProperty(*info);
        return;
    }
    const std::string text = PropertyText(Target, *info);
    const bool textKind = info->kind == TTypeKind::tkString || info->kind == TTypeKind::tkLString ||
                          info->kind == TTypeKind::tkWChar;
    if (text.empty() && !textKind) return;
    switch (info->kind) {
    case TTypeKind::tkInteger: case TTypeKind::tkChar: case TTypeKind::tkEnumeration: case TTypeKind::tkFloat:
    case TTypeKind::tkString: case TTypeKind::tkSet: case TTypeKind::tkWChar: case TTypeKind::tkLString:
    case TTypeKind::tkVariant: case TTypeKind::tkInt64:
        WriteText(SectionName, QualifiedName(info->name), TrimText(text));
        break;
    default:
        break;  // wide strings, arrays, records, interfaces: not stored
    }
}

void TPropsStorage::SaveObjectProperty(const TPropInfo& info) {
    TPersistent* object = info.getObj ? info.getObj(Target) : nullptr;
    if (!object) return;
    const std::string q = QualifiedName(info.name);
    const std::string listSection = SectionName + "." + q;
    if (auto* strings = dynamic_cast<TStrings*>(object)) {
        ClearSection(listSection);
        if (!strings->lines.empty()) {
            WriteText(listSection, "Count", std::to_string(strings->lines.size()));
            for (size_t i = 0; i < strings->lines.size(); ++i)
                WriteText(listSection, "Item" + std::to_string(i), strings->lines[i]);
        }
    } else if (auto* collection = dynamic_cast<TCollection*>(object)) {
        ClearSection(listSection);
        WriteText(SectionName, q + ".Count", std::to_string(collection->Count()));
        for (int i = 0; i < collection->Count(); ++i)
            Nested(collection->Item(i), "Item" + std::to_string(i) + "_", listSection)->SaveProperties();
    } else if (auto* component = dynamic_cast<TComponent*>(object)) {
        std::string text = component->Name();
        if (component->Owner() && component->Owner() != OwnerComponent)
            text = OwnerPart(component->Owner()) + "." + component->Name();
        text = TrimText(text);
        if (!text.empty()) WriteText(SectionName, q, text);
        return;
    }
    Nested(object, q, SectionName)->SaveProperties();
}

void TPropsStorage::RestoreProperty(const TPropInfo* info) {
    if (!info || !Target) return;
    try {
        if (info->kind == TTypeKind::tkClass) {
            RestoreObjectProperty(*info);
            return;
        }
        switch (info->kind) {
        case TTypeKind::tkWString: case TTypeKind::tkArray: case TTypeKind::tkRecord:
        case TTypeKind::tkInterface: case TTypeKind::tkDynArray: case TTypeKind::tkUnknown:
        case TTypeKind::tkMethod:
            return;
        default:
            break;
        }
        const std::string defaultText = PropertyText(Target, *info);
        const bool textKind = info->kind == TTypeKind::tkString || info->kind == TTypeKind::tkLString ||
                              info->kind == TTypeKind::tkWChar;
        std::string text;
        if (!defaultText.empty() || textKind)
            text = TrimText(ReadText(SectionName, QualifiedName(info->name), defaultText));
        SetPropertyFromText(Target, *info, text);
    } catch (...) {
        // The property keeps what it had; the next one follows.
    }
}

void TPropsStorage::RestoreObjectProperty(const TPropInfo& info) {
    TPersistent* object = info.getObj ? info.getObj(Target) : nullptr;
    if (!object) return;
    const std::string q = QualifiedName(info.name);
    const std::string listSection = SectionName + "." + q;
    if (auto* strings = dynamic_cast<TStrings*>(object)) {
        int n = 0;
        if (!TryStrToInt(TrimText(ReadText(listSection, "Count", "0")), n)) n = 0;
        if (n > 0) {
            std::vector<std::string> lines;
            lines.reserve(size_t(n));
            for (int i = 0; i < n; ++i) lines.push_back(ReadText(listSection, "Item" + std::to_string(i), ""));
            strings->lines = std::move(lines);
        }
    } else if (auto* collection = dynamic_cast<TCollection*>(object)) {
        const int current = collection->Count();
        int n = current;
        if (!TryStrToInt(TrimText(ReadText(SectionName, q + ".Count", std::to_string(current))), n)) n = current;
        collection->BeginUpdate();
        struct EndUpdate {
            TCollection* c;
            ~EndUpdate() { c->EndUpdate(); }
        } end{collection};
        const bool rebuild = n != current;
        if (rebuild) collection->Clear();
        for (int i = 0; i < n; ++i) {
            if (rebuild) collection->Add();
            Nested(collection->Item(i), "Item" + std::to_string(i) + "_", listSection)->RestoreProperties();
        }
    } else if (dynamic_cast<TComponent*>(object)) {
        const std::string text = TrimText(ReadText(SectionName, q, std::string()));
        if (text.empty() || !info.setObj) return;
        if (SameTextAZ(text, "(null)")) {
            info.setObj(Target, nullptr);
            return;
        }
        const size_t dot = text.find('.');
        const std::string formName = dot == std::string::npos ? std::string() : text.substr(0, dot);
        const std::string name = dot == std::string::npos ? text : text.substr(dot + 1);
        TComponent* owner = formName.empty() ? OwnerComponent : FindFormByName(formName);
        if (owner) info.setObj(Target, owner->FindComponent(name));
        return;
    }
    Nested(object, q, SectionName)->RestoreProperties();
}

template <typename F> void TPropsStorage::ForComponentProps(TComponent* form, TStoredPropList& list, F action) {
    ResolveStoredPropertyList(form, list, TResolveMode::rmRename);
    std::map<std::string, TPropInfoList, LessAZ> lists;
    for (const TStoredPropEntry& entry : list)
        if (entry.component && !entry.component->Name().empty() && !lists.count(entry.component->Name()))
            lists.emplace(entry.component->Name(), TPropInfoList(entry.component));
    OwnerComponent = form;
    struct Clear {
        TPropsStorage* s;
        ~Clear() { s->OwnerComponent = nullptr; }
    } clear{this};
    for (const TStoredPropEntry& entry : list) {
        std::string component, property;
        SplitPropertyPath(entry.text, component, property);
        Target = entry.component;
        NamePrefix = entry.component ? entry.component->Name() : std::string();
        auto found = lists.find(NamePrefix);
        if (found == lists.end()) continue;
        NamePrefix += "_";
        action(found->second.FindByName(property));
    }
}

void TPropsStorage::SaveComponentProps(TComponent* form, TStoredPropList& list) {
    ForComponentProps(form, list, [this](const TPropInfo* info) { SaveProperty(info); });
}

void TPropsStorage::RestoreComponentProps(TComponent* form, TStoredPropList& list) {
    ForComponentProps(form, list, [this](const TPropInfo* info) { RestoreProperty(info); });
}

}  // namespace omb::forms
