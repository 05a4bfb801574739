// Dialog template 129: the progress window of a running batch.
#pragma once

#include "ui/templates/DialogTemplate.h"

namespace quarnix {

const DialogTemplate& ProgressDialogTemplate();

} // namespace quarnix
