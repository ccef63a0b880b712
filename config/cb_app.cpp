#include "config/cb_app.h"

#include "forms/app_utils.h"
#include "forms/application.h"
#include "forms/wait_cursor.h"
#include "foundation/classes.h"
#include "foundation/languages.h"
#include "foundation/load_failure.h"
#include "foundation/shared.h"
#include "foundation/single_instance.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"
#include "model/window_rules.h"

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
        ::MessageBoxA(nullptr, ("COM initialization error.\n\n" + SystemErrorText(DWORD(hr))).c_str(), "Config Builder",
                      MB_OKCANCEL);
        failed_ = true;
        ok = false;
    }
    forms::Application().SetTitle(GetMLString("AppCBTitle", "%appname%"));
    if (ok) ok = LoadModel();
    if (!ok) Done();
    return ok;
}

bool TCBApp::LoadModel() {
    forms::TWaitCursor wait;  // a large configuration takes a while
    const std::string fileName = AppPath + SettingsFileName;
    TXMLLoadError failure;
    Ref<IBOMObjectSlave> root;
    try {
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        if (storage->LoadFromFile(fileName)) {
            root = CreateAbstractObject("TARVILWINDOWS").As<IBOMObjectSlave>();
            if (!root) return !(failed_ = true);
            // A rule's conditions, actions and triggers are read when it is
            // first shown, saved or matched: a large file opens at once.
            TRuleLoadScope later(TRuleLoadScope::kReadLater);
            storage->LoadObject(root.As<IPersistObject>().get());
            root->SetOwner(nullptr);
            root_ = root;
            return true;
        }
        failure = storage->LoadError();
    } catch (const std::exception& e) {
        failure = TXMLLoadError{e.what(), 0, 0};
    } catch (...) {
        failure = TXMLLoadError{"The configuration could not be loaded.", 0, 0};
    }
    if (root) {
        try {
            root->Disconnect();  // a half-loaded tree is freed, not leaked
        } catch (...) {
        }
    }
    // Said either way: a file that is there and does not load is left as
    // it is; a missing one is named where it was looked for.
    failed_ = true;
    forms::Application().MessageBox(ConfigurationThere(fileName) ? LoadFailureMessage(fileName, failure)
                                                                 : ConfigLoadFailure(fileName, failure),
                                    std::string(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return false;
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
