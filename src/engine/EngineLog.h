// The engine's log and the texts of library error codes, for code that runs with or without the media
// module loaded: through the module's library log once it is there (so --verbose shows everything in one
// stream), before that to standard error at the same levels.
#pragma once

#include <optional>
#include <string>

namespace quarnix {

// The library log's levels (the numbers of FFmpeg's AV_LOG_ERROR and AV_LOG_INFO).
inline constexpr int kLogError = 16;
inline constexpr int kLogInfo = 32;

// Where log lines and error texts go instead of standard error; set by the one who loads the media module.
struct LogTarget {
    void (*write)(int level, const char* line) = nullptr;
    std::string (*errorText)(int errorCode) = nullptr;
    void (*setLevel)(int level) = nullptr;
    int (*level)() = nullptr;
};

// null: standard error and the texts below. The target's level is not changed here.
void UseLogTarget(const LogTarget* target);

void SetLogLevel(int level);
int LogLevel();
// The level a front end set, if any (to hand to a log target that starts later).
std::optional<int> SetLogLevelOf();

// Writes one line (a newline is added) when level is within the log level.
void LogLine(int level, const std::string& line);

// "No such file or directory (-2)" style text for a negative library result.
std::string ErrorText(int errorCode);

} // namespace quarnix
