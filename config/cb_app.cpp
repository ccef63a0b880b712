#include "config/cb_app.h"

#include "forms/application.h"
#include "forms/wait_cursor.h"
#include "foundation/classes.h"
#include "foundation/languages.h"
#include "foundation/shared.h"
#include "foundation/single_instance.h"
#include "foundation/xml_storage.h"

namespace omb::config {

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
    forms::TWaitCursor wait;  // a large configuration takes a while
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
