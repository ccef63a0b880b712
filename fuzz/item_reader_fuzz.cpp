// Feeds arbitrary texts to the parameter-string routines and to the item
// registry, as the hook library receives rule command texts from another
// process. Probe classes stand for the library's items under the type names
// of the rule texts and build children the same way. Any crash, sanitizer
// report, leak, unbounded nesting or broken invariant is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "extender/items.h"
#include "foundation/params.h"

using namespace omb;
using namespace omb::ea;

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

enum class Kind { Plain, Extender, Trigger, Nest };

template <Kind K>
class TProbe : public TAbstractParamsItem {
public:
    void Init() override { Check(BuildDepth() >= 0 && BuildDepth() < kMaxItemDepth); }
    void ParseParam(const std::string& key, const std::string& value) override {
        TAbstractParamsItem::ParseParam(key, value);
        for (char c : key) Check(!(c >= 'a' && c <= 'z'));  // keys arrive upper-cased
        Ref<IItem> child;
        if (K == Kind::Extender && (key == "ACTION" || key == "TRIGGER"))
            child = CreateChildItemFromString(value);
        else if (K == Kind::Trigger && key == "AGENT")
            child = CreateChildItem(value, "MESSAGEAGENT");
        else if (K == Kind::Nest)
            child = CreateChildItemFromString(value);
        else
            values_ += value.size();
        if (child) ++children_;
    }

private:
    size_t values_ = 0;
    int children_ = 0;
};

bool Setup() {
    CreateItemClasses();
    RegisterItemClass<TProbe<Kind::Extender>>("WINDOWEXTENDER");
    for (const char* name : {"CLOSEWINDOWACTION", "RUNMODEACTION", "SAVESIZEPOSACTION", "STAYONTOPACTION",
                             "CLOSEQUERYACTION", "MESSAGEAGENT", "OPERATION"})
        RegisterItemClass<TProbe<Kind::Plain>>(name);
    RegisterItemClass<TProbe<Kind::Trigger>>("WMCREATEMESSAGETRIGGER");
    RegisterItemClass<TProbe<Kind::Trigger>>("WMDESTROYMESSAGETRIGGER");
    RegisterItemClass<TProbe<Kind::Nest>>("NEST");
    return true;
}

void ParameterRoutines(const std::string& text) {
    for (char separator : {'\\', ';'}) {
        TOneArrayOfString pieces;
        const int n = SplitList(text, pieces, separator);
        Check(n >= 0);
        if (n > 0) Check(pieces.size() == size_t(n));
        for (const std::string& piece : pieces) Check(!piece.empty() && piece.size() <= text.size());

        TTwoArrayOfString pairs;
        Check(ParseKeyValues(text, pairs, separator, '=') == n);
        if (n > 0) Check(pairs.size() == size_t(n));
        for (const auto& pair : pairs) Check(pair[0].size() + pair[1].size() <= text.size());
    }
    std::string value;
    if (FindKeyValue(text, "NAME", '\\', value, '=')) Check(value.size() <= text.size());
    for (size_t start : {size_t(0), size_t(1), text.size() / 2 + 1, text.size() + 1}) {
        const size_t end = FindClosingBrace(text, start);
        Check(end == 0 || (end >= start && end <= text.size()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    const std::string text(reinterpret_cast<const char*>(data), size);
    ParameterRoutines(text);

    const long live = TDebugInterfacedObject::LiveObjects();
    {
        Ref<IItem> a = CreateItemFromString(text);
        Ref<IItem> b = CreateItem(text, "WINDOWEXTENDER");
        Ref<IItem> c = CreateItem(text, "NEST");
    }
    Check(TDebugInterfacedObject::LiveObjects() == live);
    return 0;
}
