#include "config/cb_app.h"

#include "forms/app_utils.h"
#include "forms/application.h"
#include "foundation/classes.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/single_instance.h"
#include "foundation/xml_storage.h"

namespace omb::config {

void InitEditorForms(HINSTANCE instance) {
    forms::InitFourDigitYearFormat();
    forms::RegisterScreenCursors(instance);
    auto icon = [instance](int width, int height) {
        return static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(width),
                                               ::GetSystemMetrics(height), LR_SHARED));
    };
    forms::Application().SetIcons(icon(SM_CXICON, SM_CYICON), icon(SM_CXSMICON, SM_CYSMICON));
}

TCBApp::TCBApp() {
    AppPath = ModuleFolder(nullptr);
    SettingsFileName = kSettingsFileName;
}

TCBApp::~TCBApp() { Done(); }

bool TCBApp::Initialize() {
    // The registration lasts until the process ends.
    static TSingleAppInstance instance(kConfigInstanceName);
    if (instance.CheckAndRegister()) {
        instance.ActivateFirstInstance();
        return false;
    }
    bool ok = true;
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hr == S_OK || hr == S_FALSE) {
        comInitialized_ = true;
    } else {
        ::MessageBoxA(nullptr, "COM initialization error.", "Config Builder", MB_OKCANCEL);
        ok = false;
    }
    forms::Application().SetTitle(GetMLString("AppCBTitle", "%appname%"));
    if (ok) ok = LoadModel();
    if (!ok) Done();
    return ok;
}

bool TCBApp::LoadModel() {
    try {
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        if (!storage->LoadFromFile(AppPath + SettingsFileName)) return false;
        Ref<IBOMObjectSlave> root = CreateAbstractObject("TARVILWINDOWS").As<IBOMObjectSlave>();
        if (!root) return false;
        storage->LoadObject(root.As<IPersistObject>().get());
        root->SetOwner(nullptr);
        root_ = root;
    } catch (...) {
        // A file the model refuses ends the program like a missing one.
        return false;
    }
    return root_ != nullptr;
}

void TCBApp::Run() {
    if (!root_) return;
    Ref<IConfigBuilder> builder = root_->QueryRole("CongifBuilder").As<IConfigBuilder>();
    if (!builder) return;
    builder->OpenUI();
    builder->RunUI();
    builder->CloseUI();
}

void TCBApp::ReleaseModel() {
    if (!root_) return;
    root_->Disconnect();
    root_ = nullptr;
}

void TCBApp::Done() {
    ReleaseModel();
    if (comInitialized_) {
        comInitialized_ = false;
        ::CoUninitialize();
    }
}

}  // namespace omb::config
