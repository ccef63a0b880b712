// How a configuration file that did not load is said: the editor and the
// command center use the same words.
#pragma once

#include <string>

#include "foundation/xml_storage.h"

namespace omb {

// Whether a file of that name is there (or cannot be told to be missing).
bool ConfigurationThere(const std::string& fileName);
// Whether the file could not be read because another program holds it
// open without sharing (for a moment, as a scanner or a backup does).
bool HeldByAnotherProgram(const TXMLLoadError& failure);
// "The configuration could not be loaded:", the file, the XML service's
// reason, and its line and position when it names one.
std::string ConfigLoadFailure(const std::string& fileName, const TXMLLoadError& failure);
// The same followed by "The file was left as it is.": the message for a
// file that is there and did not load.
std::string LoadFailureMessage(const std::string& fileName, const TXMLLoadError& failure);

}  // namespace omb
