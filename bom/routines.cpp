#include "bom/routines.h"

#include "foundation/classes.h"

namespace omb {

Ref<IBOMObjectSlave> CreateBOMObject(const std::string& typeText, const std::string& name) {
    Ref<TAbstractObject> object = CreateAbstractObject(typeText);
    Ref<IBOMObjectSlave> slave = object.As<IBOMObjectSlave>();
    if (slave && !name.empty()) slave->SetName(name);
    return slave;
}

Ref<IBOMParam> CreateBOMParam(const std::string& name) {
    return CreateBOMObject("BOMPARAM", name).As<IBOMParam>();
}

std::pair<std::string, std::string> SplitBOMPath(const std::string& path) {
    if (path.empty()) return {};
    if (path[0] == '/') return {"/", path.substr(1)};
    size_t slash = path.find('/');
    if (slash == std::string::npos) return {path, std::string()};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

bool StartsWith(const std::string& prefix, const std::string& s) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string ExcludeTrailingSlash(const std::string& s) {
    if (!s.empty() && s.back() == '/') return s.substr(0, s.size() - 1);
    return s;
}

}  // namespace omb
