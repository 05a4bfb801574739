#include "engine/EngineLog.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>

namespace quarnix {

namespace {

std::atomic<const LogTarget*> g_target{nullptr};
// Until a front end sets one, the library's own default (information).
constexpr int kLevelUnset = -1000;
std::atomic<int> g_level{kLevelUnset};

int StoredLevel() {
    const int level = g_level.load(std::memory_order_relaxed);
    return level == kLevelUnset ? kLogInfo : level;
}

// The largest errno value; a library error code beyond it is one of the libraries' own tags.
constexpr int kLastErrno = 4095;

} // namespace

void UseLogTarget(const LogTarget* target) {
    g_target.store(target, std::memory_order_release);
}

std::optional<int> SetLogLevelOf() {
    const int level = g_level.load(std::memory_order_relaxed);
    return level == kLevelUnset ? std::nullopt : std::optional<int>(level);
}

void SetLogLevel(int level) {
    g_level.store(level, std::memory_order_relaxed);
    if (const LogTarget* target = g_target.load(std::memory_order_acquire)) {
        target->setLevel(level);
    }
}

int LogLevel() {
    const LogTarget* target = g_target.load(std::memory_order_acquire);
    return target != nullptr ? target->level() : StoredLevel();
}

void LogLine(int level, const std::string& line) {
    if (const LogTarget* target = g_target.load(std::memory_order_acquire)) {
        target->write(level, (line + "\n").c_str());
        return;
    }
    if (level <= StoredLevel()) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

std::string ErrorText(int errorCode) {
    if (const LogTarget* target = g_target.load(std::memory_order_acquire)) {
        return target->errorText(errorCode);
    }
    // A system error, as the libraries word it too.
    if (errorCode < 0 && -errorCode <= kLastErrno) {
        return std::string(std::strerror(-errorCode)) + " (" + std::to_string(errorCode) + ")";
    }
    return "Media library error (" + std::to_string(errorCode) + ")";
}

} // namespace quarnix
