// Saving and loading a large object tree, against loading the same file into
// a bare XML document.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bom/objects.h"
#include "foundation/classes.h"
#include "foundation/handles.h"
#include "foundation/xml_storage.h"

using namespace omb;

namespace {
double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

class Items : public TBOMCollection {
public:
    void Initialize() override {
        TBOMCollection::Initialize();
        typeName_ = "ITEMS";
        itemElementName_ = "item";
        defaultItemType_ = "BOMOBJECT";
    }
};

template <typename F> double Median(int runs, F f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        double start = Now();
        f();
        t.push_back(Now() - start);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
}  // namespace

int main() {
    ComInit com;
    CreateClassRegistry();
    RegisterBOMClasses();
    RegisterAbstractClass<Items>("ITEMS");
    const int kObjects = 1000, kParams = 10, kRuns = 5;

    Ref<IBOMObjectSlave> tree = CreateBOMObject("ITEMS", "tree");
    for (int i = 0; i < kObjects; ++i) {
        Ref<IBOMObjectSlave> o = CreateBOMObject("BOMOBJECT", "object " + std::to_string(i));
        auto* object = dynamic_cast<TBOMObject*>(o.get());
        for (int p = 0; p < kParams; ++p)
            object->CreateParam("param" + std::to_string(p), Variant("value " + std::to_string(i * kParams + p)));
        tree.As<IBOMCollection>()->AddItem(o.get());
    }
    tree->SetOwner(nullptr);

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "omb_bom_bench.xml";

    double saveMs = Median(kRuns, [&] {
        Ref<TXMLStorage> s = TXMLStorage::Create();
        s->CreateNew("items");
        s->SaveObject(tree.As<IPersistObject>().get());
        s->SaveToFile(file);
    });
    size_t loaded = 0;
    double loadMs = Median(kRuns, [&] {
        Ref<TXMLStorage> s = TXMLStorage::Create();
        s->LoadFromFile(file);
        Ref<IBOMObjectSlave> fresh = CreateBOMObject("ITEMS", "fresh");
        s->LoadObject(fresh.As<IPersistObject>().get());
        loaded = size_t(fresh.As<IBOMCollection>()->Count());
        fresh->Disconnect();
    });
    double domMs = Median(kRuns, [&] {
        Ref<IXMLDOMDocument> d = NewXMLDocument();
        VARIANT_BOOL ok = VARIANT_FALSE;
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        std::wstring wide(file.begin(), file.end());
        name.bstrVal = SysAllocString(wide.c_str());
        d->load(name, &ok);
        VariantClear(&name);
    });
    tree->Disconnect();
    DeleteFileA(file.c_str());

    std::printf("objects loaded back: %zu\n", loaded);
    std::printf("bom: objects=%d save_ms=%.1f load_ms=%.1f dom_load_ms=%.1f load_ratio=%.2f\n", kObjects, saveMs,
                loadMs, domMs, loadMs / domMs);
    FreeClassRegistry();
    return loaded == size_t(kObjects) ? 0 : 1;
}
