// The mode dialog on the desktop: a borderless SDL window with the
// template's picture (or, without one, a violet banner with the name) and
// its buttons, labelled in a small bitmap font of its own. Mouse, Tab,
// arrows, Enter and Space choose; Escape sends the cancel command.
#pragma once

#include "platform/backend.h"

namespace platform::sdl {

// The modal loop of the dialog: true once the dialog procedure has ended
// the dialog, false when the window cannot be made or the program is asked
// to end meanwhile.
bool RunModeDialog(WindowRecord& dialog, const DialogTemplate& dialogTemplate);

}  // namespace platform::sdl
