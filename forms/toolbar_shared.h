// What the tool bar's files share: which buttons open menus, the commit of
// the focused field before a command's update, and the bar whose menu is
// open. Internal to the form library.
#pragma once

#include "forms/toolbar.h"

namespace omb::forms {

// The bar whose menu is open (the message filter hook has no context).
extern TToolBar* trackingBar;

bool OpensMenu(const TToolButton* b);
void CommitFocusedEdit(TControl* control);

}  // namespace omb::forms
