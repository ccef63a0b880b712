// Shared set-up of the window-rule model tests: class registration, COM,
// language tables, live test windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/winfuncs.h"
#include "model/root.h"
#include "model/window_rules.h"

namespace omb::test {

// A hidden top-level window of its own class, made with the wide calls from
// our UTF-8 texts (so any class name and caption, whatever the process's
// code page). The class is registered by the first window of that name.
class TestWindow {
public:
    TestWindow(const std::string& className, const std::string& caption)
        : TestWindow(ToWide(className), ToWide(caption)) {}
    TestWindow(const std::wstring& className, const std::wstring& caption) : className_(className) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className_.c_str();
        registered_ = RegisterClassW(&wc) != 0;
        window_.reset(CreateWindowExW(0, className_.c_str(), caption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                      100, nullptr, nullptr, wc.hInstance, nullptr));
    }
    ~TestWindow() {
        window_.reset();
        if (registered_) UnregisterClassW(className_.c_str(), GetModuleHandleW(nullptr));
    }
    HWND get() const { return window_.get(); }

private:
    std::wstring className_;
    bool registered_ = false;
    UniqueWindow window_;
};

struct ModelTest : ::testing::Test {
    void SetUp() override {
        RegisterModelClasses();
        CreateMultiLanguages();
        SelectLanguage("");
        SetMLVariable("appname", "Ombrel");
        live_ = TDebugInterfacedObject::LiveObjects();
    }
    void TearDown() override {
        FreeMultiLanguages();
        EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), live_) << "objects leaked";
    }
    template <typename T> static Ref<T> New(const char* type, const std::string& name) {
        Ref<IBOMObjectSlave> o = CreateBOMObject(type, name);
        return Ref<T>(dynamic_cast<T*>(o.get()));
    }
    static void Set(IBOMObject* object, const std::string& path, const std::string& value) {
        Ref<IBOMParam> p = object->GetObject(path).As<IBOMParam>();
        ASSERT_TRUE(p) << path;
        p->SetValue(Variant(value));
    }
    static std::string Get(IBOMObject* object, const std::string& path) {
        Ref<IBOMParam> p = object->GetObject(path).As<IBOMParam>();
        return p ? p->GetValue().ToText() : "<none>";
    }
    ComInit com;
    long live_ = 0;
};

}  // namespace omb::test
