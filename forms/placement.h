// Components that keep a form's window placement between runs: restored
// when the form is shown, saved when it closes, in a registry key or an INI
// file, with no code in the form. TFormStorage adds listed properties of the
// form's components and named free values. Both enforce size limits or a
// fixed size through a window hook on the form.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "forms/form.h"
#include "forms/rx_hook.h"
#include "forms/rx_props.h"
#include "forms/stores.h"

namespace omb::forms {

enum TPlacementOption : unsigned { fpState = 1, fpPosition = 2, fpActiveControl = 4 };
enum class TPlacementRegRoot {
    prCurrentUser,
    prLocalMachine,
    prCurrentConfig,
    prClassesRoot,
    prUsers,
    prDynData
};

class TFormPlacement;

// Limits of the window's min/max-info record; 0 leaves the platform's value.
class TWinMinMaxInfo : public TPersistent {
public:
    explicit TWinMinMaxInfo(TFormPlacement* owner) : owner_(owner) {}
    const char* ClassName() const override { return "TWinMinMaxInfo"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    int MaxPosLeft() const { return v_[0]; }
    int MaxPosTop() const { return v_[1]; }
    int MaxSizeHeight() const { return v_[2]; }
    int MaxSizeWidth() const { return v_[3]; }
    int MaxTrackHeight() const { return v_[4]; }
    int MaxTrackWidth() const { return v_[5]; }
    int MinTrackHeight() const { return v_[6]; }
    int MinTrackWidth() const { return v_[7]; }
    void SetMaxPosLeft(int v) { Set(0, v); }
    void SetMaxPosTop(int v) { Set(1, v); }
    void SetMaxSizeHeight(int v) { Set(2, v); }
    void SetMaxSizeWidth(int v) { Set(3, v); }
    void SetMaxTrackHeight(int v) { Set(4, v); }
    void SetMaxTrackWidth(int v) { Set(5, v); }
    void SetMinTrackHeight(int v) { Set(6, v); }
    void SetMinTrackWidth(int v) { Set(7, v); }
    // Copies the eight values and tells the placement once.
    void Assign(const TWinMinMaxInfo& source);
    // No limit is set.
    bool DefaultMinMaxInfo() const;

private:
    void Set(int index, int value);
    TFormPlacement* owner_;
    int v_[8] = {};
};

class TFormPlacement : public TComponent {
public:
    explicit TFormPlacement(TComponent* owner);
    ~TFormPlacement() override;

    const char* ClassName() const override { return "TFormPlacement"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    bool Active() const { return active_; }
    void SetActive(bool value) { active_ = value; }
    // Registry: the key path under the root; INI: the file. Empty: the
    // program's default key or INI file.
    std::string IniFileName() const { return iniFileName_; }
    void SetIniFileName(const std::string& value) { iniFileName_ = value; }
    // Empty: the owner's default section (a form: its class name).
    std::string IniSection() const { return iniSection_; }
    void SetIniSection(const std::string& value) { iniSection_ = value; }
    TWinMinMaxInfo* MinMaxInfo() const { return minMaxInfo_.get(); }
    void SetMinMaxInfo(const TWinMinMaxInfo& value) { minMaxInfo_->Assign(value); }
    unsigned Options() const { return options_; }
    void SetOptions(unsigned value) { options_ = value; }
    bool PreventResize() const { return preventResize_; }
    void SetPreventResize(bool value);
    TPlacementRegRoot RegistryRoot() const { return registryRoot_; }
    void SetRegistryRoot(TPlacementRegRoot value) { registryRoot_ = value; }
    bool UseRegistry() const { return useRegistry_; }
    void SetUseRegistry(bool value) { useRegistry_ = value; }
    int Version() const { return version_; }
    void SetVersion(int value) { version_ = value; }
    TNotifyEvent OnSavePlacement, OnRestorePlacement;

    void SaveToStore();
    void RestoreFromStore();
    std::string ReadStoreString(const std::string& section, const std::string& ident,
                                const std::string& defaultValue);
    void WriteStoreString(const std::string& section, const std::string& ident, const std::string& value);
    std::string ReadSectionString(const std::string& ident, const std::string& defaultValue);
    void WriteSectionString(const std::string& ident, const std::string& value);
    int ReadSectionInteger(const std::string& ident, int defaultValue);
    void WriteSectionInteger(const std::string& ident, int value);

    // At most one store is open: during one save or restore, or around one
    // single read or write.
    void OpenStore(bool readOnly);
    void CloseStore();
    TCustomIniStore* CurrentStore() const { return store_.get(); }
    // The effective section and store name.
    std::string SectionName() const;
    std::string StoreName() const;

    bool Restored() const { return restored_; }
    bool Saved() const { return saved_; }
    TRxWindowHook* WindowHook() const { return hook_.get(); }
    TForm* Form() const { return form_; }

protected:
    virtual void WriteFormState();
    virtual void ReadFormState();
    // The store object of OpenStore (tests put a recorder around it).
    virtual std::unique_ptr<TCustomIniStore> NewStore(bool readOnly);
    void Loaded() override;
    void MinMaxInfoModified();
    void SetRestoredFlag() { restored_ = true; }

private:
    friend class TWinMinMaxInfo;
    void HookFormEvents();
    void UnhookFormEvents();
    void UpdateWindowHook();
    void AdjustMaxPosition();
    void ApplyPreventResize();
    void FormMessageAfter(TMessage& msg);
    void FormShow(TComponent* sender);
    void FormCloseQuery(TComponent* sender, bool& canClose);
    void FormDestroy(TComponent* sender);

    TForm* form_ = nullptr;
    bool active_ = true;
    std::string iniFileName_, iniSection_;
    std::unique_ptr<TWinMinMaxInfo> minMaxInfo_;
    unsigned options_ = 0;
    bool preventResize_ = false;
    TPlacementRegRoot registryRoot_ = TPlacementRegRoot::prCurrentUser;
    bool useRegistry_ = false;
    int version_ = 0;

    std::unique_ptr<TCustomIniStore> store_;
    std::unique_ptr<TRxWindowHook> hook_;
    bool saved_ = false, restored_ = false, inDestroy_ = false, hadMaximizeIcon_ = false;
    bool hooked_ = false;
    bool removedMaximizeIcon_ = false;  // the icon went because of PreventResize
    std::string ownerSection_;          // the owner's default section while it was whole
    TNotifyEvent formShow_, formDestroy_;
    TCloseQueryEvent formCloseQuery_;
};

class TFormStorage;
class TStoredValue;
// A value on its way out (OnSave) or in (OnRestore); empty: no value.
using TStoredVariant = std::optional<std::string>;
using TStoredValueEvent = std::function<void(TStoredValue* sender, TStoredVariant& value)>;

class TStoredValue : public TCollectionItem {
public:
    const char* ClassName() const override { return "TStoredValue"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    std::string Name() const { return name_; }
    // Fails with "String list does not allow duplicates" when another item
    // of the collection has the name (compared without regard to case).
    void SetName(const std::string& value);
    const TStoredVariant& Value() const { return value_; }
    void SetValue(const TStoredVariant& value) { value_ = value; }
    std::string ValueText() const { return value_.value_or(std::string()); }
    void SetValueText(const std::string& value) { value_ = value; }
    std::string KeyString() const { return keyString_; }
    void SetKeyString(const std::string& value) { keyString_ = value; }
    TStoredValueEvent OnSave, OnRestore;

    std::string DisplayName() const { return name_.empty() ? std::string(ClassName()) : name_; }
    void Assign(const TStoredValue& source);
    virtual void SaveValue();
    virtual void RestoreValue();

private:
    TFormStorage* Storage() const;
    std::string name_;
    TStoredVariant value_;
    std::string keyString_;
};

class TStoredValues : public TCollection {
public:
    explicit TStoredValues(TFormStorage* storage);
    const char* ClassName() const override { return "TStoredValues"; }
    TFormStorage* Storage() const { return storage_; }
    TStoredValue* Add() { return static_cast<TStoredValue*>(TCollection::Add()); }
    TStoredValue* Value(int index) const { return static_cast<TStoredValue*>(Item(index)); }
    // By name without regard to case; -1 when there is none.
    int FindValueIndex(const std::string& name) const;
    TStoredValue* FindValue(const std::string& name) const;
    void Assign(const TStoredValues& source);
    virtual void SaveValues();
    virtual void RestoreValues();

private:
    TFormStorage* storage_;
};

class TFormStorage : public TFormPlacement {
public:
    explicit TFormStorage(TComponent* owner);
    ~TFormStorage() override;

    const char* ClassName() const override { return "TFormStorage"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    // Entries "Component.Property", bound to their components when the
    // layout is loaded.
    const TStoredPropList& StoredProps() const { return storedProps_; }
    void SetStoredProps(const TStoredPropList& value);
    void SetStoredProps(const std::vector<std::string>& texts);
    TStoredValues& StoredValues() { return storedValues_; }
    void SetStoredValues(const TStoredValues& value) { storedValues_.Assign(value); }

    virtual void SaveListedProperties();
    virtual void RestoreListedProperties();

protected:
    void WriteFormState() override;
    void ReadFormState() override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    TStoredPropList storedProps_;
    TStoredValues storedValues_{this};
};

}  // namespace omb::forms
