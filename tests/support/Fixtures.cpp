#include "Fixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quarnix::test {

namespace {

namespace fs = std::filesystem;

// The build tree's fixture folder, given by CMake: private to this checkout, so no other user or checkout
// can put files into it or replace them.
fs::path FixtureDir() {
    const fs::path path(QUARNIX_FIXTURE_DIR);
    std::error_code error;
    fs::create_directories(path, error);
    if (!fs::is_directory(path)) {
        ADD_FAILURE() << "cannot create the fixture folder " << path << ": " << error.message();
    }
    return path;
}

// `name` with a hash of `recipe` before its extension: a changed recipe makes a new fixture.
std::string HashedName(const std::string& name, const std::string& recipe) {
    const std::size_t dot = name.rfind('.');
    std::ostringstream hashed;
    hashed << name.substr(0, dot) << '-' << std::hex << std::hash<std::string>{}(recipe)
           << (dot == std::string::npos ? "" : name.substr(dot));
    return hashed.str();
}

// Makes the fixture `name` once. `make` fills a fresh file of its own, created under a private name in the
// fixture folder and ending like `name` (tools pick the format by the extension); the finished file is then
// published with link(), which never replaces a file: when another test process published it first, its
// copy stays and ours is dropped. A published fixture is therefore complete and never changes while anyone
// reads it. Fails the current test and returns an empty path when `make` fails.
std::string MakeFixture(const std::string& name, const std::function<bool(const fs::path&)>& make) {
    const fs::path target = FixtureDir() / name;
    if (fs::exists(target)) {
        return target.string();
    }
    const std::string suffix = "-" + name;
    std::string pattern = (target.parent_path() / ("partial-XXXXXX" + suffix)).string();
    const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        ADD_FAILURE() << "cannot create a file in " << target.parent_path() << ": " << std::strerror(errno);
        return {};
    }
    // mkstemps makes the file for its owner only; a fixture is readable by every user, as the tools would
    // have made it.
    const int chmodError = fchmod(fd, 0644) == 0 ? 0 : errno;
    close(fd);
    const fs::path partial = pattern;
    if (chmodError != 0) {
        ADD_FAILURE() << "cannot make " << partial << " readable: " << std::strerror(chmodError);
    }
    if (chmodError != 0 || !make(partial)) {
        unlink(partial.c_str());
        return {};
    }
    // link() fails with EEXIST rather than replace; where the file system has no hard links, a rename that
    // refuses to replace does the same.
    int published = link(partial.c_str(), target.c_str()) == 0 ? 0 : errno;
    if (published == EPERM || published == ENOTSUP) {
        published =
            renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
    }
    unlink(partial.c_str());
    if (published != 0 && published != EEXIST) {
        ADD_FAILURE() << "cannot publish fixture " << target << ": " << std::strerror(published);
        return {};
    }
    return target.string();
}

} // namespace

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool HasTool(const char* tool) {
    return RunCommand(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string WithDeadline(const std::string& command) {
    return "timeout -k 5 " + std::to_string(kChildDeadline.count()) + " sh -c " + ShellQuote(command);
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(WithDeadline(command).c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::array<char, 4096> buffer{};
    std::string collected;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        collected.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    if (output != nullptr) {
        *output = collected;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitForChild(pid_t child, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) {
            return status;
        }
        if (ended < 0 && errno != EINTR) {
            ADD_FAILURE() << "cannot wait for process " << child << ": " << std::strerror(errno);
            return -1;
        }
        if (std::chrono::steady_clock::now() >= end) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "process " << child << " did not end within " << deadline.count() << " s";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string MediaFixture(const std::string& name, const std::string& ffmpegArgs) {
    return MakeFixture(HashedName(name, ffmpegArgs), [&](const fs::path& partial) {
        const std::string command =
            "ffmpeg -nostdin -y -v error " + ffmpegArgs + " " + ShellQuote(partial.string()) + " 2>&1";
        std::string log;
        if (RunCommand(command, &log) != 0) {
            ADD_FAILURE() << "ffmpeg could not make fixture " << name << ":\n" << command << "\n" << log;
            return false;
        }
        return true;
    });
}

std::string TextFixture(const std::string& name, const std::string& text) {
    return MakeFixture(HashedName(name, text), [&](const fs::path& partial) {
        FILE* file = std::fopen(partial.c_str(), "wb");
        const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = file != nullptr && std::fclose(file) == 0;
        if (!written || !closed) {
            ADD_FAILURE() << "cannot write fixture " << partial;
            return false;
        }
        return true;
    });
}

ScopedTempDir::ScopedTempDir() {
    std::string pattern = (fs::temp_directory_path() / "quarnix-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    m_path = pattern;
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

} // namespace quarnix::test
