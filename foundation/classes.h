// The class registry: objects are created by a registered type name from a
// text NAME{KEY=value\KEY=value...}, in two phases: the factory constructs,
// then Initialize runs, then each parameter goes to SetParam.
#pragma once

#include <string>

#include "foundation/collections.h"
#include "foundation/com.h"

namespace omb {

class TAbstractObject : public TDebugInterfacedObject {
public:
    // Runs once, right after construction and before any parameter.
    virtual void Initialize() {}
    // Receives each parameter; the key arrives upper-cased (a to z).
    virtual void SetParam(const std::string& key, const std::string& value) {
        (void)key;
        (void)value;
    }
};

using TAbstractObjectFactory = TAbstractObject* (*)();

template <typename T> TAbstractObject* ConstructAbstractObject() { return new T(); }

// Builds an object of the factory's class: Initialize, then SetParam for each
// entry of the parameter string (separator "\", delimiter "="). The object is
// freed when either step throws; the exception passes on.
Ref<TAbstractObject> CreateAbstractObjectOf(TAbstractObjectFactory factory, const std::string& params);

// Builds an object of a known class in the same two phases.
template <typename T> Ref<T> CreateObject(const std::string& params = std::string()) {
    Ref<TAbstractObject> object = CreateAbstractObjectOf(&ConstructAbstractObject<T>, params);
    return Ref<T>(static_cast<T*>(object.get()));
}

class TAbstractClasses : public TAbstractPointerCollection {
public:
    // The first registration under a name (without regard to case) stays.
    void Register(TAbstractObjectFactory factory, const std::string& name);
    TAbstractObjectFactory Get(const std::string& name) const;
};

// The process-wide registry; nullptr before CreateClassRegistry and after
// FreeClassRegistry.
TAbstractClasses* AbstractClasses();
void CreateClassRegistry();
void FreeClassRegistry();

void RegisterAbstractClass(TAbstractObjectFactory factory, const std::string& name);
template <typename T> void RegisterAbstractClass(const std::string& name) {
    RegisterAbstractClass(&ConstructAbstractObject<T>, name);
}

// Splits the text at its first "{" into a name and the parameters (the text's
// last character is dropped as the closing brace). Empty when the name is not
// registered or there is no registry.
Ref<TAbstractObject> CreateAbstractObject(const std::string& text);

}  // namespace omb
