// quarnix-cli loads the media module (and with it FFmpeg) only for a file that needs it, and a module that
// cannot be loaded fails those files with their reason. The dynamic loader's own account of what it opened
// (LD_DEBUG=files) tells what was loaded.
#include "Fixtures.h"

#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quarnix::test {
namespace {

struct LoaderRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string loaded; // the loader's log of the files it opened
};

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Runs quarnix-cli with the loader's log written into a scratch folder (as log.<pid>).
LoaderRun RunLogged(const std::string& environment, const std::string& arguments) {
    ScopedTempDir scratch;
    LoaderRun run;
    run.exitCode = RunCommand("LD_DEBUG=files LD_DEBUG_OUTPUT=" + ShellQuote(scratch.file("log")) + " " +
                                  environment + " " + ShellQuote(QUARNIX_CLI_PATH) + " " + arguments + " 2>" +
                                  ShellQuote(scratch.file("err")),
                              &run.out);
    run.err = ReadAll(scratch.file("err"));
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        if (entry.path().filename().string().starts_with("log")) {
            run.loaded += ReadAll(entry.path());
        }
    }
    return run;
}

bool Opened(const LoaderRun& run, const std::string& library) {
    return run.loaded.find("file=" + library) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(MediaModule, StartingAndMarkingInPlaceLoadNoMediaLibrary) {
    const LoaderRun version = RunLogged("", "--version");
    EXPECT_EQ(version.exitCode, 0);
    ASSERT_TRUE(Opened(version, "libQt6Core.so.6")) << "the loader log is missing: " << version.loaded;
    EXPECT_FALSE(Opened(version, "libavutil.so"));

    ScopedTempDir dir;
    const LoaderRun batch =
        RunLogged("", "rotate --json --angle 90 --keep-matroska --output " + ShellQuote(dir.path().string()) +
                          " " + ShellQuote(MarkerClip("mp4")) + " " + ShellQuote(MarkerClip("mkv")));
    EXPECT_EQ(batch.exitCode, 0) << batch.out << batch.err;
    EXPECT_EQ(Count(batch.out, "\"method\": \"marked in place\""), 2u) << batch.out;
    for (const char* library : {"libquarnix-media.so", "libavformat.so", "libavcodec.so", "libavutil.so"}) {
        EXPECT_FALSE(Opened(batch, library)) << library;
    }
}

TEST(MediaModule, AFileThatNeedsTheDemuxerLoadsTheModule) {
    ScopedTempDir dir;
    const LoaderRun run =
        RunLogged("", "rotate --json --angle 90 --output " + ShellQuote(dir.path().string()) + " " +
                          ShellQuote(MarkerClip("ts")));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Count(run.out, "\"status\": \"converted\""), 1u) << run.out;
    EXPECT_EQ(Count(run.out, "\"method\": \"remuxed\""), 1u) << run.out;
    EXPECT_TRUE(Opened(run, "libavformat.so"));
    EXPECT_NE(run.loaded.find("libquarnix-media.so"), std::string::npos);
}

// Without the module, files the boxes accept and mark still convert; the others are refused or failed
// with the loader's reason, and nothing crashes.
TEST(MediaModule, AModuleThatCannotBeLoadedFailsOnlyTheFilesThatNeedIt) {
    ScopedTempDir dir;
    const std::string missing = "QUARNIX_MEDIA_MODULE=" + ShellQuote(dir.file("gone/libquarnix-media.so"));
    const std::string reason = "the media libraries could not be loaded: ";

    const LoaderRun probe = RunLogged(missing, "probe --json " + ShellQuote(MarkerClip("ts")));
    EXPECT_EQ(probe.exitCode, 1);
    EXPECT_NE(probe.out.find(reason), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("gone/libquarnix-media.so"), std::string::npos) << probe.out;

    const LoaderRun batch =
        RunLogged(missing, "rotate --json --angle 90 --output " + ShellQuote(dir.path().string()) + " " +
                               ShellQuote(MarkerClip("mp4")) + " " + ShellQuote(MarkerClip("ts")) +
                               " --reencode " + ShellQuote(MarkerClip("mov")));
    EXPECT_EQ(batch.exitCode, 1) << batch.err;
    EXPECT_EQ(Count(batch.out, "\"method\": \"marked in place\""), 1u) << batch.out;
    EXPECT_EQ(Count(batch.out, "\"status\": \"refused\""), 1u) << batch.out;
    EXPECT_EQ(Count(batch.out, "\"status\": \"failed\""), 1u) << batch.out;
    EXPECT_EQ(Count(batch.out, reason), 2u) << batch.out;
    EXPECT_FALSE(Opened(batch, "libavformat.so"));
}

} // namespace
} // namespace quarnix::test
