// The message text for a failed shell-open result code, as the hyperlink reports it.
#pragma once

#include <QString>

namespace quarnix {

// The explanation of a shell result code; "Unknown Error (<code>) occurred." for a code without one.
QString ShellResultText(int code);

} // namespace quarnix
