#include "foundation/com.h"

namespace omb {

namespace {
std::atomic<long> g_liveObjects{0};
}

TDebugInterfacedObject::TDebugInterfacedObject() { ++g_liveObjects; }

TDebugInterfacedObject::~TDebugInterfacedObject() { --g_liveObjects; }

long TDebugInterfacedObject::LiveObjects() { return g_liveObjects.load(); }

HRESULT TDebugInterfacedObject::QueryImpl(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (SameGuid(iid, __uuidof(IUnknown))) {
        *object = static_cast<IUnknown*>(this);
        AddRefImpl();
        return S_OK;
    }
    return E_NOINTERFACE;
}

}  // namespace omb
