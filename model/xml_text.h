// Loading objects from built-in XML texts.
#pragma once

#include <string>

#include "foundation/persistence.h"

namespace omb {

// Lets the object load itself from the root element of the XML text. False
// when the text does not load as a document.
bool LoadFromXMLText(IPersistObject* object, const std::string& xml);

}  // namespace omb
