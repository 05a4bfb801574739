#include "Fixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace quarnix::test {

namespace {

std::filesystem::path FixtureDir() {
    const char* dir = std::getenv("QUARNIX_FIXTURE_DIR");
    std::filesystem::path path = dir != nullptr && *dir != '\0'
                                     ? std::filesystem::path(dir)
                                     : std::filesystem::temp_directory_path() / "quarnix-fixtures";
    std::filesystem::create_directories(path);
    return path;
}

} // namespace

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

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
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

std::string MediaFixture(const std::string& name, const std::string& ffmpegArgs) {
    const std::size_t dot = name.rfind('.');
    std::ostringstream hashed;
    hashed << name.substr(0, dot) << '-' << std::hex << std::hash<std::string>{}(ffmpegArgs)
           << (dot == std::string::npos ? "" : name.substr(dot));
    const std::filesystem::path target = FixtureDir() / hashed.str();
    if (std::filesystem::exists(target)) {
        return target.string();
    }
    // Made under a private name and renamed, so that parallel test processes never see half a file.
    const std::filesystem::path partial =
        target.parent_path() / ("partial-" + std::to_string(getpid()) + "-" + hashed.str());
    const std::string command =
        "ffmpeg -nostdin -y -v error " + ffmpegArgs + " " + ShellQuote(partial.string()) + " 2>&1";
    std::string log;
    if (RunCommand(command, &log) != 0) {
        ADD_FAILURE() << "ffmpeg could not make fixture " << name << ":\n" << command << "\n" << log;
        std::filesystem::remove(partial);
        return {};
    }
    std::filesystem::rename(partial, target);
    return target.string();
}

ScopedTempDir::ScopedTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarnix-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    m_path = pattern;
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace quarnix::test
