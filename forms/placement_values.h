// A form's window placement as texts in a store: the default section of a
// component, and the placement values written and read back by the rules
// of form placement (screen-size values, pixels per inch, border styles that
// keep their size, centred forms, the main form minimized through the
// application).
#pragma once

#include <string>

#include "forms/app_utils.h"
#include "forms/form.h"

namespace omb::forms {

// A form: its class name. A control: its name after the class name of the
// form it lies on, else after its parent's name. Another component: its
// name, after "OwnerClass." when its owner is a form. None: empty.
std::string ComponentSectionName(const TComponent* component);

// "Flags", "ShowCmd", "PixelsPerInch", then "MinMaxPos" and "NormPos" with
// and without the screen-size suffix, as "%d,%d,%d,%d".
void WriteFormPlacementValues(TForm* form, TCustomIniStore* store, const std::string& section);
// Reads them back: the position part and the state part, each when asked.
void ReadFormPlacementValues(TForm* form, TCustomIniStore* store, const std::string& section,
                             bool restoreState, bool restorePosition);

void StoreFormPlacementToRegistry(TForm* form, TRegIniFile* store, const std::string& section);
void StoreFormPlacementToIni(TForm* form, TIniFile* store, const std::string& section);
void RestoreFormPlacementFromRegistry(TForm* form, TRegIniFile* store, const std::string& section,
                                      bool restoreState, bool restorePosition);
void RestoreFormPlacementFromIni(TForm* form, TIniFile* store, const std::string& section, bool restoreState,
                                 bool restorePosition);

}  // namespace omb::forms
