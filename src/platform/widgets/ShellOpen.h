// Opens a folder, file or web address with the desktop's default application, and reports the outcome
// as a shell-style result code (above 32 = success; 2 = not found; 31 = nothing to open it with).
#pragma once

#include <QString>
#include <functional>

namespace quarnix {

inline constexpr int kShellOpenSucceeded = 42;
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellNoAssociation = 31;

// Local paths must exist; an address needs a scheme ("https://...") or starts with "www.".
// The first of xdg-open, gio open, kde-open, kde-open5 and exo-open found on PATH opens it, else Qt's
// desktop services. When none can, a line on stderr says so and the result is kShellNoAssociation. An
// opener that starts but soon ends in failure (it found no application for the target) is said on stderr
// and reported through failedLater, called later on the UI thread, after ShellOpen has returned success.
int ShellOpen(const QString& target, const std::function<void()>& failedLater = {});

// For tests: answers ShellOpen instead of the desktop; an empty function restores the desktop.
using ShellOpenHandler = std::function<int(const QString& target)>;
void SetShellOpenHandler(ShellOpenHandler handler);

} // namespace quarnix
