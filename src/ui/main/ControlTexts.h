// The main window's own knowledge of its control ids: which pack key gives a control its tool tip, and
// which control shows which preset list. The settings library speaks only of pack keys and lists.
#pragma once

#include "settings/OutputPresets.h"

#include <QString>

#include <optional>

namespace quarnix {

// The tool tip of a main-window control: 1254 HINT sc; 1255, 1000 and 1183 HINT tjspwj; 1099 HINT
// hbcygwj; 1004 HINT ksjq; 1023 and 1024 HINT zjsrsjd; 1140 HINT djsbzj; 1149 HINT szjsjqd; 1154 HINT
// szksjqd; 1188 HINT bf; 1282 HINT removeall; 1114 and 1139 HINT drop, as the loaded pack words them.
// Nothing for any other control: the caller then shows the string resource numbered like the control.
std::optional<QString> ToolTipText(int controlId);

// The hidden combo box that holds a preset list: 1106 format, 1063 frame size, 1065 frame rate, 1066
// video quality, 1067 sample rate, 1070 audio quality, 1068 channels.
int PresetControlId(PresetList list);

} // namespace quarnix
