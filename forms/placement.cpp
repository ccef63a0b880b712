#include "forms/placement.h"

#include <stdexcept>

#include "forms/app_utils.h"
#include "forms/application.h"
#include "forms/placement_values.h"
#include "forms/str_utils.h"
#include "foundation/strings.h"

namespace omb::forms {

namespace {

HKEY RootKey(TPlacementRegRoot root) {
    switch (root) {
        case TPlacementRegRoot::prCurrentUser:
            return HKEY_CURRENT_USER;
        case TPlacementRegRoot::prLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case TPlacementRegRoot::prCurrentConfig:
            return HKEY_CURRENT_CONFIG;
        case TPlacementRegRoot::prClassesRoot:
            return HKEY_CLASSES_ROOT;
        case TPlacementRegRoot::prUsers:
            return HKEY_USERS;
        case TPlacementRegRoot::prDynData:
            return HKEY_DYN_DATA;
    }
    return HKEY_CURRENT_USER;
}

// Runs a step, handing a failure to the application's report.
template <typename F>
void Reported(F step) noexcept {
    try {
        step();
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
}

}  // namespace

// ------------------------------------------------------------ TWinMinMaxInfo

const TPropTable& TWinMinMaxInfo::StaticProps() {
    using M = TWinMinMaxInfo;
    static const TPropTable table{
        &TPersistent::StaticProps(),
        {IntProp<M, int>("MaxPosLeft", &M::MaxPosLeft, &M::SetMaxPosLeft),
         IntProp<M, int>("MaxPosTop", &M::MaxPosTop, &M::SetMaxPosTop),
         IntProp<M, int>("MaxSizeHeight", &M::MaxSizeHeight, &M::SetMaxSizeHeight),
         IntProp<M, int>("MaxSizeWidth", &M::MaxSizeWidth, &M::SetMaxSizeWidth),
         IntProp<M, int>("MaxTrackHeight", &M::MaxTrackHeight, &M::SetMaxTrackHeight),
         IntProp<M, int>("MaxTrackWidth", &M::MaxTrackWidth, &M::SetMaxTrackWidth),
         IntProp<M, int>("MinTrackHeight", &M::MinTrackHeight, &M::SetMinTrackHeight),
         IntProp<M, int>("MinTrackWidth", &M::MinTrackWidth, &M::SetMinTrackWidth)}};
    return table;
}

void TWinMinMaxInfo::Set(int index, int value) {
    if (v_[index] == value) return;
    v_[index] = value;
    if (owner_) owner_->MinMaxInfoModified();
}

void TWinMinMaxInfo::Assign(const TWinMinMaxInfo& source) {
    for (int i = 0; i < 8; ++i) v_[i] = source.v_[i];
    if (owner_) owner_->MinMaxInfoModified();
}

bool TWinMinMaxInfo::DefaultMinMaxInfo() const {
    for (int v : v_)
        if (v != 0) return false;
    return true;
}

// ------------------------------------------------------------ TFormPlacement

const TPropTable& TFormPlacement::StaticProps() {
    using P = TFormPlacement;
    static const TPropTable table{
        &TComponent::StaticProps(),
        {BoolProp<P>("Active", &P::Active, &P::SetActive),
         StrProp<P>("IniFileName", &P::IniFileName, &P::SetIniFileName),
         StrProp<P>("IniSection", &P::IniSection, &P::SetIniSection),
         ObjProp<P, TWinMinMaxInfo>("MinMaxInfo", &P::MinMaxInfo),
         SetProp<P>("Options", {"fpState", "fpPosition", "fpActiveControl"}, &P::Options, &P::SetOptions),
         BoolProp<P>("PreventResize", &P::PreventResize, &P::SetPreventResize),
         EnumProp<P, TPlacementRegRoot>(
             "RegistryRoot",
             {"prCurrentUser", "prLocalMachine", "prCurrentConfig", "prClassesRoot", "prUsers", "prDynData"},
             &P::RegistryRoot, &P::SetRegistryRoot),
         BoolProp<P>("UseRegistry", &P::UseRegistry, &P::SetUseRegistry),
         IntProp<P, int>("Version", &P::Version, &P::SetVersion)}};
    return table;
}

TFormPlacement::TFormPlacement(TComponent* owner)
    : TComponent(owner),
      form_(dynamic_cast<TForm*>(owner)),
      minMaxInfo_(std::make_unique<TWinMinMaxInfo>(this)),
      hook_(std::make_unique<TRxWindowHook>(nullptr)) {
    options_ = form_ ? (fpState | fpPosition) : 0;
    hook_->AfterMessage = [this](TComponent*, TMessage& msg, bool&) { FormMessageAfter(msg); };
}

TFormPlacement::~TFormPlacement() {
    MarkDestroying();
    store_.reset();
    hook_->SetWinControl(nullptr);
    UnhookFormEvents();
}

std::string TFormPlacement::SectionName() const {
    if (!iniSection_.empty()) return iniSection_;
    // A form being destroyed answers its base class's name by then: the
    // save at its destruction uses the name it had when it was whole.
    if (inDestroy_ && !ownerSection_.empty()) return ownerSection_;
    return ComponentSectionName(Owner());
}

std::string TFormPlacement::StoreName() const {
    if (!iniFileName_.empty()) return iniFileName_;
    return useRegistry_ ? DefaultRegistryKey() : DefaultIniFileName();
}

std::unique_ptr<TCustomIniStore> TFormPlacement::NewStore(bool readOnly) {
    if (!useRegistry_) return std::make_unique<TIniFile>(StoreName());
    // Under another root the key is opened there directly: no key of the
    // same path is made under the current user on the way.
    if (registryRoot_ == TPlacementRegRoot::prCurrentUser)
        return std::make_unique<TRegIniFile>(StoreName(), readOnly);
    return std::make_unique<TRegIniFile>(RootKey(registryRoot_), StoreName(), readOnly);
}

void TFormPlacement::OpenStore(bool readOnly) {
    store_.reset();
    store_ = NewStore(readOnly);
}

void TFormPlacement::CloseStore() {
    store_.reset();
}

namespace {
// The store for one call: opened (read or write) and closed around it when
// none is open; within a save or a restore, the one open there.
class TStoreUse {
public:
    TStoreUse(TFormPlacement& placement, bool readOnly)
        : placement_(placement), opened_(!placement.CurrentStore()) {
        if (opened_) placement_.OpenStore(readOnly);
    }
    ~TStoreUse() {
        if (opened_) placement_.CloseStore();
    }
    TStoreUse(const TStoreUse&) = delete;
    TStoreUse& operator=(const TStoreUse&) = delete;
    TCustomIniStore* Store() const { return placement_.CurrentStore(); }

private:
    TFormPlacement& placement_;
    bool opened_;
};
}  // namespace

std::string TFormPlacement::ReadStoreString(const std::string& section, const std::string& ident,
                                            const std::string& defaultValue) {
    TStoreUse use(*this, true);
    return ReadIniOrRegString(use.Store(), section, ident, defaultValue);
}

void TFormPlacement::WriteStoreString(const std::string& section, const std::string& ident,
                                      const std::string& value) {
    TStoreUse use(*this, false);
    WriteIniOrRegString(use.Store(), section, ident, value);
}

std::string TFormPlacement::ReadSectionString(const std::string& ident, const std::string& defaultValue) {
    return ReadStoreString(SectionName(), ident, defaultValue);
}

void TFormPlacement::WriteSectionString(const std::string& ident, const std::string& value) {
    WriteStoreString(SectionName(), ident, value);
}

int TFormPlacement::ReadSectionInteger(const std::string& ident, int defaultValue) {
    TStoreUse use(*this, true);
    return ReadIniOrRegInteger(use.Store(), SectionName(), ident, defaultValue);
}

void TFormPlacement::WriteSectionInteger(const std::string& ident, int value) {
    TStoreUse use(*this, false);
    WriteIniOrRegInteger(use.Store(), SectionName(), ident, value);
}

void TFormPlacement::SaveToStore() {
    // A form never restored while active keeps what is stored.
    if (active_ && !restored_) return;
    CloseStore();  // a save opens its own store, for writing
    TStoreUse use(*this, false);
    WriteSectionInteger("FormVersion", version_);
    WriteFormState();
    Fire(OnSavePlacement, this);
    saved_ = true;
}

void TFormPlacement::RestoreFromStore() {
    saved_ = false;
    {
        CloseStore();  // a restore opens its own store, for reading
        TStoreUse use(*this, true);
        // Restored also when the version check fails or a read fails: the
        // next close writes what the form has.
        struct MarkRestored {
            bool& restored;
            ~MarkRestored() { restored = true; }
        } mark{restored_};
        const int stored = ReadSectionInteger("FormVersion", 0);
        if (stored >= version_) {
            ReadFormState();
            restored_ = true;
            Fire(OnRestorePlacement, this);
            if ((options_ & fpActiveControl) && form_) {
                const std::string name = ReadStoreString(SectionName(), "ActiveControl", std::string());
                if (auto* control = dynamic_cast<TControl*>(form_->FindComponent(name));
                    control && control->CanFocus())
                    form_->SetActiveControl(control);
            }
        }
    }
    AdjustMaxPosition();
}

void TFormPlacement::WriteFormState() {
    if (!form_) return;
    if (options_ & (fpState | fpPosition)) {
        if (auto* reg = dynamic_cast<TRegIniFile*>(store_.get()))
            StoreFormPlacementToRegistry(form_, reg, SectionName());
        else if (auto* ini = dynamic_cast<TIniFile*>(store_.get()))
            StoreFormPlacementToIni(form_, ini, SectionName());
        else
            WriteFormPlacementValues(form_, store_.get(), SectionName());
        if (store_) store_->WriteBool(SectionName(), "Visible", inDestroy_);
    }
    if (options_ & fpActiveControl)
        if (TControl* active = form_->ActiveControl(); active && active != form_)
            WriteSectionString("ActiveControl", active->Name());
}

void TFormPlacement::ReadFormState() {
    if (!form_) return;
    const bool state = (options_ & fpState) != 0, position = (options_ & fpPosition) != 0;
    if (auto* reg = dynamic_cast<TRegIniFile*>(store_.get()))
        RestoreFormPlacementFromRegistry(form_, reg, SectionName(), state, position);
    else if (auto* ini = dynamic_cast<TIniFile*>(store_.get()))
        RestoreFormPlacementFromIni(form_, ini, SectionName(), state, position);
    else
        ReadFormPlacementValues(form_, store_.get(), SectionName(), state, position);
}

void TFormPlacement::Loaded() {
    TComponent::Loaded();
    HookFormEvents();
    UpdateWindowHook();
}

void TFormPlacement::HookFormEvents() {
    if (!form_ || hooked_) return;
    ownerSection_ = ComponentSectionName(form_);
    formShow_ = form_->OnShow;
    formCloseQuery_ = form_->OnCloseQuery;
    formDestroy_ = form_->OnDestroy;
    form_->OnShow = [this](TComponent* sender) { FormShow(sender); };
    form_->OnCloseQuery = [this](TComponent* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    form_->OnDestroy = [this](TComponent* sender) { FormDestroy(sender); };
    hooked_ = true;
    if (!removedMaximizeIcon_) hadMaximizeIcon_ = (form_->BorderIcons() & biMaximize) != 0;
    if (preventResize_) ApplyPreventResize();
}

void TFormPlacement::UnhookFormEvents() {
    if (!form_ || !hooked_) return;
    form_->OnShow = formShow_;
    form_->OnCloseQuery = formCloseQuery_;
    form_->OnDestroy = formDestroy_;
    hooked_ = false;
}

void TFormPlacement::FormShow(TComponent* sender) {
    if (active_) Reported([this] { RestoreFromStore(); });
    Fire(formShow_, sender);
}

void TFormPlacement::FormCloseQuery(TComponent* sender, bool& canClose) {
    Fire(formCloseQuery_, sender, canClose);
    if (canClose && active_ && form_ && form_->HandleAllocated()) Reported([this] { SaveToStore(); });
}

void TFormPlacement::FormDestroy(TComponent* sender) {
    if (active_ && !saved_) {
        inDestroy_ = true;
        Reported([this] { SaveToStore(); });
        inDestroy_ = false;
    }
    Fire(formDestroy_, sender);
}

void TFormPlacement::MinMaxInfoModified() {
    AdjustMaxPosition();
    if (!Loading()) UpdateWindowHook();
}

void TFormPlacement::UpdateWindowHook() {
    if ((!minMaxInfo_->DefaultMinMaxInfo() || preventResize_) && form_)
        hook_->SetWinControl(form_);
    else
        hook_->SetWinControl(nullptr);
}

void TFormPlacement::AdjustMaxPosition() {
    if (!form_ || !form_->HandleAllocated() || Loading() || preventResize_ ||
        !minMaxInfo_->DefaultMinMaxInfo())
        return;
    HWND h = form_->WindowHandle();
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    if (!::GetWindowPlacement(h, &wp)) return;
    if (!::IsWindowVisible(h)) wp.showCmd = SW_HIDE;
    int cx = 0, cy = 0;
    switch (form_->BorderStyle()) {
        case TFormBorderStyle::bsSingle:
        case TFormBorderStyle::bsToolWindow:
            cx = ::GetSystemMetrics(SM_CXBORDER);
            cy = ::GetSystemMetrics(SM_CYBORDER);
            break;
        case TFormBorderStyle::bsSizeable:
        case TFormBorderStyle::bsSizeToolWin:
            cx = ::GetSystemMetrics(SM_CXFRAME);
            cy = ::GetSystemMetrics(SM_CYFRAME);
            break;
        case TFormBorderStyle::bsDialog:
            cx = ::GetSystemMetrics(SM_CXDLGFRAME);
            cy = ::GetSystemMetrics(SM_CYDLGFRAME);
            break;
        case TFormBorderStyle::bsNone:
            break;
    }
    wp.ptMaxPosition = {-cx, -cy};
    ::SetWindowPlacement(h, &wp);
}

void TFormPlacement::SetPreventResize(bool value) {
    if (!form_ || value == preventResize_) return;
    preventResize_ = value;
    AdjustMaxPosition();
    ApplyPreventResize();
}

void TFormPlacement::ApplyPreventResize() {
    if (!form_) return;
    // Taken from the form again, unless the icon is missing because this
    // placement took it away: switching off then gives it back.
    if (preventResize_ && !removedMaximizeIcon_) hadMaximizeIcon_ = (form_->BorderIcons() & biMaximize) != 0;
    const bool wasActive = active_;
    active_ = false;
    struct Back {
        TFormPlacement* p;
        bool v;
        ~Back() { p->active_ = v; }
    } back{this, wasActive};
    unsigned icons = form_->BorderIcons();
    if (preventResize_ || !hadMaximizeIcon_ || form_->BorderStyle() == TFormBorderStyle::bsDialog) {
        if (preventResize_ && (icons & biMaximize)) removedMaximizeIcon_ = true;
        icons &= ~unsigned(biMaximize);
    } else {
        icons |= biMaximize;
        removedMaximizeIcon_ = false;
    }
    form_->SetBorderIcons(icons);
    if (!Loading()) UpdateWindowHook();
}

void TFormPlacement::FormMessageAfter(TMessage& msg) {
    if (preventResize_ && form_) {
        switch (msg.msg) {
            case WM_GETMINMAXINFO:
                if (form_->HandleAllocated() && ::IsWindowVisible(form_->WindowHandle())) {
                    auto* info = reinterpret_cast<MINMAXINFO*>(msg.lParam);
                    info->ptMinTrackSize = {form_->Width(), form_->Height()};
                    info->ptMaxTrackSize = {form_->Width(), form_->Height()};
                    msg.result = 1;
                }
                break;
            case WM_NCHITTEST:
                if (msg.result >= HTLEFT && msg.result <= HTBOTTOMRIGHT) msg.result = HTNOWHERE;
                break;
            case WM_INITMENUPOPUP:
                if (HIWORD(msg.lParam)) {
                    auto menu = reinterpret_cast<HMENU>(msg.wParam);
                    ::EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
                    ::EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
                    msg.result = 1;
                }
                break;
            default:
                break;
        }
        return;
    }
    if (msg.msg != WM_GETMINMAXINFO) return;
    auto* info = reinterpret_cast<MINMAXINFO*>(msg.lParam);
    const TWinMinMaxInfo& m = *minMaxInfo_;
    if (!m.DefaultMinMaxInfo()) {
        if (m.MinTrackWidth()) info->ptMinTrackSize.x = m.MinTrackWidth();
        if (m.MinTrackHeight()) info->ptMinTrackSize.y = m.MinTrackHeight();
        if (m.MaxTrackWidth()) info->ptMaxTrackSize.x = m.MaxTrackWidth();
        if (m.MaxTrackHeight()) info->ptMaxTrackSize.y = m.MaxTrackHeight();
        if (m.MaxSizeWidth()) info->ptMaxSize.x = m.MaxSizeWidth();
        if (m.MaxSizeHeight()) info->ptMaxSize.y = m.MaxSizeHeight();
        if (m.MaxPosLeft()) info->ptMaxPosition.x = m.MaxPosLeft();
        if (m.MaxPosTop()) info->ptMaxPosition.y = m.MaxPosTop();
    } else {
        info->ptMaxPosition = {0, 0};
    }
    msg.result = 1;
}

// ------------------------------------------------------------ stored values

const TPropTable& TStoredValue::StaticProps() {
    using V = TStoredValue;
    static const TPropTable table{&TPersistent::StaticProps(), [] {
                                      std::vector<TPropInfo> p;
                                      p.push_back(StrProp<V>("Name", &V::Name, &V::SetName));
                                      TPropInfo value = StrProp<V>("Value", &V::ValueText, &V::SetValueText);
                                      value.kind = TTypeKind::tkVariant;
                                      p.push_back(value);
                                      p.push_back(StrProp<V>("KeyString", &V::KeyString, &V::SetKeyString));
                                      return p;
                                  }()};
    return table;
}

TFormStorage* TStoredValue::Storage() const {
    auto* values = dynamic_cast<TStoredValues*>(Collection());
    return values ? values->Storage() : nullptr;
}

void TStoredValue::SetName(const std::string& value) {
    if (!value.empty() && !SameTextAZ(value, name_))
        if (auto* values = dynamic_cast<TStoredValues*>(Collection());
            values && values->FindValueIndex(value) >= 0)
            throw std::runtime_error("String list does not allow duplicates");
    name_ = value;
}

void TStoredValue::Assign(const TStoredValue& source) {
    value_ = source.value_;
    SetName(source.name_);
    keyString_ = source.keyString_;
}

void TStoredValue::SaveValue() {
    TStoredVariant copy = value_;
    if (OnSave) {
        auto handler = OnSave;
        handler(this, copy);
    }
    std::string text = copy.value_or(std::string());
    if (!keyString_.empty()) text = StrToXorHex(keyString_, text);
    if (TFormStorage* storage = Storage()) storage->WriteSectionString(name_, text);
}

void TStoredValue::RestoreValue() {
    TFormStorage* storage = Storage();
    if (!storage) return;
    std::string defaultText = value_.value_or(std::string());
    if (!keyString_.empty()) defaultText = StrToXorHex(keyString_, defaultText);
    std::string text = storage->ReadSectionString(name_, defaultText);
    if (!keyString_.empty()) text = XorHexToStr(keyString_, text);
    TStoredVariant restored = text;
    if (OnRestore) {
        auto handler = OnRestore;
        handler(this, restored);
    }
    value_ = restored;
}

TStoredValues::TStoredValues(TFormStorage* storage)
    : TCollection([] { return new TStoredValue; }), storage_(storage) {}

int TStoredValues::FindValueIndex(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameTextAZ(Value(i)->Name(), name)) return i;
    return -1;
}

TStoredValue* TStoredValues::FindValue(const std::string& name) const {
    const int i = FindValueIndex(name);
    return i < 0 ? nullptr : Value(i);
}

void TStoredValues::Assign(const TStoredValues& source) {
    if (&source == this) return;
    Clear();
    for (int i = 0; i < source.Count(); ++i) Add()->Assign(*source.Value(i));
}

void TStoredValues::SaveValues() {
    for (int i = 0; i < Count(); ++i) Value(i)->SaveValue();
}

void TStoredValues::RestoreValues() {
    for (int i = 0; i < Count(); ++i) Value(i)->RestoreValue();
}

// ------------------------------------------------------------ TFormStorage

const TPropTable& TFormStorage::StaticProps() {
    static const TPropTable table{&TFormPlacement::StaticProps(), {}};
    return table;
}

TFormStorage::TFormStorage(TComponent* owner) : TFormPlacement(owner) {}

TFormStorage::~TFormStorage() {
    MarkDestroying();
}

void TFormStorage::SetStoredProps(const TStoredPropList& value) {
    storedProps_ = value;
    for (const TStoredPropEntry& entry : storedProps_)
        if (entry.component) entry.component->FreeNotification(this);
}

void TFormStorage::SetStoredProps(const std::vector<std::string>& texts) {
    TStoredPropList list;
    for (const std::string& text : texts) list.push_back({text, nullptr});
    SetStoredProps(list);
}

void TFormStorage::Loaded() {
    TFormPlacement::Loaded();
    ResolveStoredPropertyList(Owner(), storedProps_, TResolveMode::rmBind);
    for (const TStoredPropEntry& entry : storedProps_) entry.component->FreeNotification(this);
}

void TFormStorage::Notification(TComponent* component, TOperation operation) {
    TFormPlacement::Notification(component, operation);
    if (operation != TOperation::opRemove || Destroying() || !component) return;
    for (size_t i = storedProps_.size(); i-- > 0;)
        if (storedProps_[i].component == component)
            storedProps_.erase(storedProps_.begin() + std::ptrdiff_t(i));
}

void TFormStorage::WriteFormState() {
    TFormPlacement::WriteFormState();
    SaveListedProperties();
    storedValues_.SaveValues();
}

void TFormStorage::ReadFormState() {
    TFormPlacement::ReadFormState();
    SetRestoredFlag();
    RestoreListedProperties();
    storedValues_.RestoreValues();
}

void TFormStorage::SaveListedProperties() {
    TPropsStorage storage;
    storage.SectionName = SectionName();
    storage.OnWriteText = [this](const std::string& section, const std::string& ident,
                                 const std::string& value) { WriteStoreString(section, ident, value); };
    storage.OnClearSection = [this](const std::string& section) {
        if (CurrentStore()) CurrentStore()->EraseSection(section);
    };
    storage.SaveComponentProps(Owner(), storedProps_);
}

void TFormStorage::RestoreListedProperties() {
    try {
        TPropsStorage storage;
        storage.SectionName = SectionName();
        storage.OnReadText = [this](const std::string& section, const std::string& ident,
                                    const std::string& defaultValue) {
            return ReadStoreString(section, ident, defaultValue);
        };
        storage.RestoreComponentProps(Owner(), storedProps_);
    } catch (...) {
        // Dropped: each property that could be read has been restored.
    }
}

}  // namespace omb::forms
