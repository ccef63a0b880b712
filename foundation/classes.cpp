#include "foundation/classes.h"

#include <memory>

#include "foundation/params.h"
#include "foundation/strings.h"

namespace omb {

namespace {
std::unique_ptr<TAbstractClasses> g_registry;
}

Ref<TAbstractObject> CreateAbstractObjectOf(TAbstractObjectFactory factory, const std::string& params) {
    Ref<TAbstractObject> object(factory());
    object->Initialize();
    if (!params.empty()) {
        TTwoArrayOfString pairs;
        int n = ParseKeyValues(params, pairs, '\\', '=');
        for (int i = 0; i < n; ++i) object->SetParam(UpperCaseAZ(pairs[size_t(i)][0]), pairs[size_t(i)][1]);
    }
    return object;
}

void TAbstractClasses::Register(TAbstractObjectFactory factory, const std::string& name) {
    if (!factory) return;
    inner_.Add(reinterpret_cast<void*>(factory), false, name);
}

TAbstractObjectFactory TAbstractClasses::Get(const std::string& name) const {
    return reinterpret_cast<TAbstractObjectFactory>(inner_.Get(Variant(name)));
}

TAbstractClasses* AbstractClasses() { return g_registry.get(); }

void CreateClassRegistry() {
    if (!g_registry) g_registry.reset(new TAbstractClasses());
}

void FreeClassRegistry() { g_registry.reset(); }

void RegisterAbstractClass(TAbstractObjectFactory factory, const std::string& name) {
    if (g_registry) g_registry->Register(factory, name);
}

Ref<TAbstractObject> CreateAbstractObject(const std::string& text) {
    if (!g_registry) return nullptr;
    std::string name = text, params;
    size_t p = text.find('{');
    if (p != std::string::npos) {
        name = text.substr(0, p);
        params = text.substr(p + 1);
        if (!params.empty()) params.pop_back();
    }
    TAbstractObjectFactory factory = g_registry->Get(name);
    if (!factory) return nullptr;
    return CreateAbstractObjectOf(factory, params);
}

}  // namespace omb
