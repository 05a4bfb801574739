#include "engine/media/MediaLibraries.h"

#include "engine/EngineLog.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

// Present only where the module's code is linked in (test programs, sanitizer and fuzz builds).
#pragma weak quarnix_media_module

namespace quarnix {

namespace {

using EntryPoint = const MediaModule* (*)(int);

constexpr const char kModuleName[] = "libquarnix-media.so";

// The folder of the running executable; empty when /proc is not there.
std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string executable(path, static_cast<std::size_t>(length));
    const std::size_t slash = executable.rfind('/');
    return slash == std::string::npos ? std::string() : executable.substr(0, slash);
}

std::vector<std::string> Candidates() {
    std::vector<std::string> paths;
    if (const char* chosen = std::getenv("QUARNIX_MEDIA_MODULE"); chosen != nullptr && *chosen != '\0') {
        paths.emplace_back(chosen);
        return paths;
    }
    const std::string folder = ExecutableFolder();
    if (!folder.empty()) {
        paths.push_back(folder + "/" + kModuleName);
        // As a plain path ("/usr/lib/quarnix/...", not "/usr/bin/../lib/..."), for the messages and logs.
        paths.push_back(std::filesystem::path(folder + "/" QUARNIX_MEDIA_MODULE_FROM_BINDIR "/" + kModuleName)
                            .lexically_normal()
                            .string());
    }
    paths.push_back(QUARNIX_MEDIA_MODULE_DIR "/" + std::string(kModuleName));
    return paths;
}

// The module's lines and error texts through its library log; the level follows the front end's.
const MediaModule* g_module = nullptr;
void ForwardLine(int level, const char* line) {
    g_module->Log(level, line);
}
std::string ForwardErrorText(int errorCode) {
    return g_module->ErrorText(errorCode);
}
void ForwardSetLevel(int level) {
    g_module->SetLogLevel(level);
}
int ForwardLevel() {
    return g_module->LogLevel();
}
const LogTarget kForward{&ForwardLine, &ForwardErrorText, &ForwardSetLevel, &ForwardLevel};

MediaLibraries Use(const MediaModule* module, bool pushLevel) {
    g_module = module;
    if (pushLevel) {
        if (const std::optional<int> level = SetLogLevelOf()) {
            module->SetLogLevel(*level);
        }
    }
    UseLogTarget(&kForward);
    return {module, {}};
}

MediaLibraries Load() {
    if (&quarnix_media_module != nullptr) {
        if (const MediaModule* linked = quarnix_media_module(kMediaModuleVersion)) {
            return Use(linked, false);
        }
    }
    std::string firstError;
    for (const std::string& path : Candidates()) {
        // Kept loaded for the rest of the run: the module's code and its entries' records live on.
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = ::dlerror();
            // A module that is there but does not load (a media library missing) says more than the
            // places where there is none.
            const bool present = ::access(path.c_str(), F_OK) == 0;
            if (firstError.empty() || present) {
                firstError = error != nullptr ? error : path;
                if (present) {
                    break;
                }
            }
            continue;
        }
        auto entry = reinterpret_cast<EntryPoint>(::dlsym(handle, "quarnix_media_module"));
        const MediaModule* module = entry != nullptr ? entry(kMediaModuleVersion) : nullptr;
        if (module == nullptr) {
            firstError = path + ": not the media module of this build";
            ::dlclose(handle);
            break;
        }
        return Use(module, true);
    }
    return {nullptr, firstError};
}

} // namespace

const MediaLibraries& LoadMediaLibraries() {
    static const MediaLibraries loaded = Load();
    return loaded;
}

} // namespace quarnix
