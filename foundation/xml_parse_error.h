// Why and where the XML service's reader stops on a text that is not
// well-formed. The document object of some services (Wine's among them)
// gives neither a reason nor a place for a failed load; the service's
// event-driven (SAX) reader does.
#pragma once

#include <windows.h>
// After windows.h:
#include <oaidl.h>

#include <string>

namespace omb {

// Reads the source (a BSTR of text, or an array of bytes in any encoding the
// service knows) with the service's SAX reader. True when the reader stops
// on an error: its message, its line and its position in that line (0 when
// the reader names none). Raises nothing.
bool ReadXMLParseError(const VARIANT& source, std::string& reason, long& line, long& position);

}  // namespace omb
