// Test helpers: media fixtures made by the ffmpeg tool (cached in the build tree between test processes),
// temporary folders, and running external readers (exiftool, mediainfo, ffprobe).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace quarnix::test {

// A media file made by `ffmpeg -y -v error <ffmpegArgs> <file>`, where file is named after `name`
// (which carries the extension) and a hash of the arguments. Made once, then reused; parallel test
// processes may both make it, the first one published is kept and never replaced.
// Fails the current test (and returns an empty path) when ffmpeg fails.
std::string MediaFixture(const std::string& name, const std::string& ffmpegArgs);

// A file holding `text`, named after `name` and a hash of the text; made and kept like MediaFixture.
std::string TextFixture(const std::string& name, const std::string& text);

// How long a test waits for a program or child process before it gives up on it: far beyond what any of
// them needs, well below ctest's time limit, so a hang fails the test that caused it with a message.
inline constexpr std::chrono::seconds kChildDeadline{120};

// `command` for `sh -c`, stopped (SIGTERM, then SIGKILL) when it runs past kChildDeadline; it then ends
// with status 124, or 137 when it had to be killed.
std::string WithDeadline(const std::string& command);

// Runs a shell command with WithDeadline; returns its exit status and, when asked, its standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Waits for the child process to end, at most `deadline`; past it, kills the child, fails the current
// test and returns -1. Otherwise returns the wait status.
int WaitForChild(pid_t child, std::chrono::seconds deadline = kChildDeadline);

// The whole content of a file, read as bytes (empty when it cannot be read).
std::string ReadFileBytes(const std::string& path);

// Whether a program of that name is on the PATH (tests of optional readers skip without it).
bool HasTool(const char* tool);

// Single-quotes a string for the shell.
std::string ShellQuote(const std::string& text);

// A fresh folder, removed with everything in it when the object goes.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace quarnix::test
