// Dialog template 102: the main window with its file list, image buttons, rotation choice and output
// folder, and the hidden controls that hold the output presets.
#pragma once

#include "ui/templates/DialogTemplate.h"

namespace quarnix {

const DialogTemplate& MainDialogTemplate();

} // namespace quarnix
