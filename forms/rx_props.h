// Published properties as texts in a sectioned store of named values and
// back. The storage knows no store: its user supplies three handlers (read a
// text, write a text, clear a section), so the registry and INI files serve
// alike. The main entry points save or restore a list of entries
// "Component.Property" of a form's components. No platform header: also
// built natively.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/component.h"

namespace omb::forms {

// The published properties of one object that can be stored: every kind but
// the unnamed and the method kind, in declaration order.
class TPropInfoList {
public:
    explicit TPropInfoList(const TPersistent* object);
    int Count() const { return static_cast<int>(items_.size()); }
    const TPropInfo* Item(int index) const { return items_.at(static_cast<size_t>(index)); }
    // By name, without regard to case; null when there is none.
    const TPropInfo* FindByName(const std::string& name) const;

private:
    std::vector<const TPropInfo*> items_;
};

// One entry of a stored-property list and the component it is bound to.
struct TStoredPropEntry {
    std::string text;
    TComponent* component = nullptr;
};
using TStoredPropList = std::vector<TStoredPropEntry>;

// Entry texts: "Component.Property", cut at the first ".", both sides
// trimmed of blanks. Answers whether both parts are non-empty.
bool SplitPropertyPath(const std::string& path, std::string& componentName, std::string& propertyName);
// componentName + "." + propertyName; empty when either part is empty.
std::string JoinPropertyPath(const std::string& componentName, const std::string& propertyName);
// The entry with another component name; empty when it does not split.
std::string RenamePropertyPath(const std::string& path, const std::string& newComponentName);

enum class TResolveMode { rmBind, rmRename };
// From the last entry to the first: an entry that does not split goes.
// Bind: each entry is bound to the owner's component of its name (found
// without regard to case); one that names none goes. Rename: each bound
// entry takes its component's current name; an unbound one goes.
void ResolveStoredPropertyList(TComponent* owner, TStoredPropList& list, TResolveMode mode);

// The open form (of the application's forms) of that name, compared without
// regard to case; null when there is none or no provider is installed.
TComponent* FindFormByName(const std::string& name);
// The form library installs the provider when its first form is made.
extern std::function<TComponent*(const std::string& name)> FormByNameProvider;

// Conversions of one property's value, by its kind.
// Floats: the general format at precision 7 (single), 15 (double), 18
// (extended, comp), 19 (currency), "." as decimal separator in any locale.
std::string FormatFloatGeneral(long double value, int precision);
int FloatPrecision(TFloatType type);
// A float text with "." as decimal separator; false when it is not one.
bool ParseFloatText(const std::string& text, long double& value);
// "[a,b]": the names of the members among ordinals 0 to 31, ascending.
std::string SetToText(const TPropInfo& info, uint64_t bits);
// Words separated by blanks, ",", "[" and "]"; unknown words are ignored.
uint64_t TextToSet(const TPropInfo& info, const std::string& text);
// Leading and trailing characters up to the blank removed.
std::string TrimText(const std::string& text);
// The value as text (an object gives an empty text).
std::string PropertyText(const TPersistent* object, const TPropInfo& info);
// Sets the value from its text by the rules of its kind; unchanged where
// the rules say so. Object properties are not handled here.
void SetPropertyFromText(TPersistent* object, const TPropInfo& info, const std::string& text);

class TPropsStorage {
public:
    using TReadTextEvent = std::function<std::string(const std::string& section, const std::string& ident,
                                                     const std::string& defaultValue)>;
    using TWriteTextEvent =
        std::function<void(const std::string& section, const std::string& ident, const std::string& value)>;
    using TClearSectionEvent = std::function<void(const std::string& section)>;

    TPropsStorage() = default;
    virtual ~TPropsStorage() = default;

    TPersistent* Target = nullptr;
    // Component references without a form part resolve against it.
    TComponent* OwnerComponent = nullptr;
    std::string NamePrefix;
    std::string SectionName;
    TReadTextEvent OnReadText;
    TWriteTextEvent OnWriteText;
    TClearSectionEvent OnClearSection;

    // Saves or restores the listed properties of the form's components; the
    // list is resolved in rename mode first.
    void SaveComponentProps(TComponent* form, TStoredPropList& list);
    void RestoreComponentProps(TComponent* form, TStoredPropList& list);
    // One property of Target; nothing for no descriptor. Restoring drops
    // every failure: the property keeps its value.
    void SaveProperty(const TPropInfo* info);
    void RestoreProperty(const TPropInfo* info);
    // Every stored property of Target, in declaration order.
    void SaveProperties();
    void RestoreProperties();

protected:
    virtual std::string ReadText(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue);
    virtual void WriteText(const std::string& section, const std::string& ident, const std::string& value);
    virtual void ClearSection(const std::string& section);
    virtual std::string QualifiedName(const std::string& name) const { return NamePrefix + name; }
    // A new, empty storage of the same kind, for nested objects.
    virtual std::unique_ptr<TPropsStorage> NewStorage() const { return std::make_unique<TPropsStorage>(); }

private:
    std::unique_ptr<TPropsStorage> Nested(TPersistent* target, const std::string& prefix,
                                          const std::string& section) const;
    void SaveObjectProperty(const TPropInfo& info);
    void RestoreObjectProperty(const TPropInfo& info);
    template <typename F> void ForComponentProps(TComponent* form, TStoredPropList& list, F action);
};

}  // namespace omb::forms
