// Free routines of the business-object model: creation by registered type
// name and the pieces of object paths.
#pragma once

#include <string>
#include <utility>

#include "bom/interfaces.h"

namespace omb {

// Creates an object through the class registry from a type name, optionally
// followed by parameters in braces; names it when `name` is not empty. Empty
// for an unregistered type or an object that is not a business object.
Ref<IBOMObjectSlave> CreateBOMObject(const std::string& typeText, const std::string& name);
Ref<IBOMParam> CreateBOMParam(const std::string& name);

// "/" + rest for an absolute path; otherwise the text before and after the
// first "/"; both empty for an empty path.
std::pair<std::string, std::string> SplitBOMPath(const std::string& path);

// Whether s begins with prefix, byte for byte.
bool StartsWith(const std::string& prefix, const std::string& s);

// s without one trailing "/".
std::string ExcludeTrailingSlash(const std::string& s);

}  // namespace omb
