// Test helpers: media fixtures made by the ffmpeg tool (cached in the build tree between test processes),
// temporary folders, and running external readers (exiftool, mediainfo, ffprobe).
#pragma once

#include <filesystem>
#include <string>

namespace quarnix::test {

// A media file made by `ffmpeg -y -v error <ffmpegArgs> <file>`, where file is named after `name`
// (which carries the extension) and a hash of the arguments. Made once, then reused; parallel test
// processes may both make it, the first one published is kept and never replaced.
// Fails the current test (and returns an empty path) when ffmpeg fails.
std::string MediaFixture(const std::string& name, const std::string& ffmpegArgs);

// A file holding `text`, named after `name` and a hash of the text; made and kept like MediaFixture.
std::string TextFixture(const std::string& name, const std::string& text);

// Runs a shell command; returns its exit status and, when asked, its standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

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
