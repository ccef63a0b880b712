#include "model/xml_text.h"

#include "foundation/xml_storage.h"

namespace omb {

bool LoadFromXMLText(IPersistObject* object, const std::string& xml) {
    if (!object || xml.empty()) return false;
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    return storage->LoadFromXML(xml) && storage->LoadObject(object);
}

}  // namespace omb
